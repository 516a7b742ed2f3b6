// Choosing a picture in the main window: the real open-file dialog and real drop events on every kind of
// control, and what the window holds and shows after each way of choosing, including each failure.
#include "app/mainwindow_fixture.h"
#include "metafiles.h"
#include "pictures/decoderhelper.h"
#include "pictures/selection.h"
#include "platform/filedialog.h"
#include "platform/picturebox.h"
#include "ranking/module1.h"
#include "support/support.h"
#include "ufmain.h"

#include <QBuffer>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace {
const QString kClockZero = QStringLiteral("経過時間　00:00");

// A square picture, red on its left half and blue on its right, of a given side in pixels.
QByteArray halvesPng(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side / 2; ++x) {
            image.setPixelColor(x, y, Qt::red);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Waits until the window has done what a choice started: no dialog or message open, no picture decoding.
bool settled(QWidget* window) {
    auto* main = qobject_cast<UFMain*>(window);
    QCoreApplication::processEvents(); // a drop's load is queued behind the drop's answer
    return QTest::qWaitFor(
        [main] { return !QApplication::activeModalWidget() && main->phase() == UFMain::Phase::Idle; }, 60000);
}

struct Drop {
    bool entered = false;
    bool moved = false;
    bool dropped = false;
};

// A drag as the platform hands it to the window (which picks the widget under the pointer), in steps. Points
// are in the client area's coordinates.
constexpr Qt::DropActions kDragActions = Qt::CopyAction | Qt::LinkAction;
QPoint inWindow(const QWidget* form, QPoint at) {
    return form->mapTo(form->window(), at);
}
// The enter where the drag comes in; whether the window took the drag.
bool enterWith(QWidget* form, QPoint at, const QMimeData* data) {
    QDragEnterEvent enter(inWindow(form, at), kDragActions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form->window()->windowHandle(), &enter);
    return enter.isAccepted();
}
// A move at every point of the path, then the drop where the button is released, at its last point.
Drop moveAndDrop(QWidget* form, const QList<QPoint>& path, const QMimeData* data) {
    QWindow* window = form->window()->windowHandle();
    Drop result;
    for (const QPoint& at : path) {
        QDragMoveEvent move(inWindow(form, at), kDragActions, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
        result.moved = move.isAccepted();
    }
    QDropEvent drop(QPointF(inWindow(form, path.back())), kDragActions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    result.dropped = drop.isAccepted();
    return result;
}
// The drag goes away without a drop.
void leaveFrom(QWidget* form) {
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(form->window()->windowHandle(), &leave);
}

// The sequence a file manager's drag produces: the enter where the drag comes in, then a move there and at
// every further point of its path, then the drop where the button is released.
Drop dragAndDrop(QWidget* form, const QList<QPoint>& path, const QMimeData* data, bool settle = true) {
    const bool entered = enterWith(form, path.front(), data);
    Drop result = moveAndDrop(form, path, data);
    result.entered = entered;
    if (settle) {
        (void)settled(form->window()); // the window loads once the drop has been answered
    }
    return result;
}
Drop dragAndDrop(QWidget* form, QPoint at, const QMimeData* data, bool settle = true) {
    return dragAndDrop(form, QList<QPoint>{at}, data, settle);
}

// The widget Qt's window hands a drag at this point to: the first one up from the deepest child that
// takes drops at all.
QWidget* dropReceiver(QWidget* form, QPoint at) {
    QWidget* w = form->childAt(at);
    if (w == nullptr) {
        w = form;
    }
    while (w != nullptr && !w->isWindow() && !w->acceptDrops()) {
        w = w->parentWidget();
    }
    return w;
}

std::unique_ptr<QMimeData> filesData(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& p : paths) {
        urls.append(QUrl::fromLocalFile(p));
    }
    data->setUrls(urls);
    return data;
}

QColor previewColourAt(const platform::PictureBox* preview, double fx, double fy) {
    const QImage& b = preview->backing();
    return b.pixelColor(int(b.width() * fx), int(b.height() * fy));
}
} // namespace

class PictureSelection : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_halves; // a picture, 300 x 300
    QString m_wide;   // another one, 600 x 300
    QString m_text;   // not a picture
    testing::ManualClock m_clock;
    std::shared_ptr<testing::TestDialogs> m_dialogs = std::make_shared<testing::TestDialogs>();
    ranking::Module1 m_ranking{m_dir.path()};
    std::unique_ptr<UFMain> m_window;

    UFMain& w() { return *m_window; }
    QWidget* form() { return m_window->findChild<QWidget*>(QStringLiteral("Form")); }
    template <typename T = QWidget> T* child(const QString& name) { return m_window->findChild<T*>(name); }
    platform::PictureBox* preview() { return child<platform::PictureBox>(QStringLiteral("Picture2")); }
    QString label() { return child<QLabel>(QStringLiteral("Label1"))->text(); }
    QPoint centreOf(const QString& name) {
        QWidget* c = child(name);
        return c->mapTo(form(), c->rect().center());
    }

    QString write(const QString& name, const QByteArray& bytes) {
        QFile f(m_dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly)) {
            qFatal("cannot write %s", qPrintable(name));
        }
        f.write(bytes);
        return f.fileName();
    }

    bool tilesHidden() {
        for (int i = 0; i < 100; ++i) {
            if (!w().tile(i)->isHidden()) {
                return false;
            }
        }
        return true;
    }

    // A plain green picture held but not yet painted, so a repaint from it shows.
    void holdGreenPicture() {
        QImage green(200, 200, QImage::Format_ARGB32_Premultiplied);
        green.fill(QColor(0, 160, 0));
        w().setCurrentPicture(testing::rasterPictureFromImage(green));
    }

    // A running game whose clock shows 01:05.
    void startGameAtOneMinute() {
        w().Command2_Click();
        QVERIFY(w().isPlaying());
        m_clock.advance(std::chrono::seconds(65));
        w().Timer1_Timer();
        QCOMPARE(label(), QStringLiteral("経過時間　01:05"));
    }

    // A window of its own, shown, whose picture loads end when the test lets them; null if it never appeared.
    std::unique_ptr<UFMain> gatedWindow(const testing::GatedLoader& gate) {
        UFMain::Services services;
        services.clock = std::make_unique<testing::ManualClock>(m_clock);
        services.sound = std::make_unique<testing::RecordingSound>();
        services.loadPicture = gate.loader();
        services.dialogs = m_dialogs;
        auto window = std::make_unique<UFMain>(m_ranking, std::move(services));
        window->show();
        return QTest::qWaitForWindowExposed(window.get()) ? std::move(window) : nullptr;
    }

    // Opens the picture dialog, and waits until its answer has had its effect.
    void chooseInDialog() {
        w().Command1_Click();
        QVERIFY(settled(m_window.get()));
    }

    // Answers the next open-file dialog by typing into its file name box and pressing Return.
    void typeIntoNextDialog(const QString& text) {
        testing::whenModalOpens([text](QWidget* modal) {
            auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit != nullptr);
            edit->setText(text);
            QTest::keyClick(edit, Qt::Key_Return);
        });
    }
    void cancelNextDialog() {
        testing::whenModalOpens([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_halves = write(QStringLiteral("halves.png"), halvesPng(300));
        QImage wide(600, 300, QImage::Format_RGB32);
        wide.fill(Qt::yellow);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        wide.save(&buffer, "BMP");
        m_wide = write(QStringLiteral("wide.bmp"), bytes);
        m_text = write(QStringLiteral("notes.jpg"), "not a picture\n");
    }

    void init() {
        UFMain::Services services;
        services.random = std::make_unique<platform::ClockSeededSource>(42);
        services.clock = std::make_unique<testing::ManualClock>(m_clock);
        services.sound = std::make_unique<testing::RecordingSound>();
        services.slideDuration = std::chrono::milliseconds(1);
        services.dialogs = m_dialogs;
        m_window = std::make_unique<UFMain>(m_ranking, std::move(services));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    // The six entries, shown as written, the first selected, and each listing what it should whatever
    // the letter case of the names.
    void dialogFilterEntries() {
        QTemporaryDir folder;
        for (const char* name : {"PHOTO.JPG", "holiday.jpeg", "anim.Gif", "paint.BMP", "icon.ICO",
                                 "drawing.wmf", "chart.Emf", "notes.txt", "photo.png"}) {
            QFile f(folder.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QList<QStringList> expected = {
            {"PHOTO.JPG", "anim.Gif", "chart.Emf", "drawing.wmf", "icon.ICO", "paint.BMP"},
            {"PHOTO.JPG", "holiday.jpeg"},
            {"anim.Gif"},
            {"paint.BMP"},
            {"icon.ICO"},
            {"chart.Emf", "drawing.wmf"}};
        const QStringList descriptions = {"読込可能全画像種類", "JPEG (*.jpg;*.jpeg)",
                                          "GIF (*.GIF)",        "ビットマップ (*.bmp)",
                                          "アイコン (*.ico)",   "メタファイル (*.WMF;*.EMF)"};
        bool inspected = false;
        testing::whenModalOpens([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog != nullptr);
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            QVERIFY(types != nullptr);
            QStringList shown;
            for (int i = 0; i < types->count(); ++i) {
                shown.append(types->itemText(i));
            }
            QCOMPARE(shown, descriptions);
            QCOMPARE(types->currentIndex(), 0);
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            edit->setText(folder.path()); // a folder typed in is opened, as a player would
            QTest::keyClick(edit, Qt::Key_Return);
            auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
            for (int entry = 0; entry < 6; ++entry) {
                dialog->selectNameFilter(dialog->nameFilters().at(entry));
                auto listed = [list] {
                    QStringList names;
                    const QModelIndex root = list->rootIndex();
                    for (int r = 0; r < list->model()->rowCount(root); ++r) {
                        names.append(list->model()->index(r, 0, root).data().toString());
                    }
                    names.sort();
                    return names;
                };
                QTRY_COMPARE_WITH_TIMEOUT(listed(), expected.at(entry), 5000);
            }
            inspected = true;
            dialog->reject();
        });
        std::optional<std::optional<QString>> answer;
        platform::openFileDialog(nullptr, pictures::pictureFilter(),
                                 [&](const std::optional<QString>& chosen) { answer = chosen; });
        QTRY_VERIFY(inspected);
        QTRY_COMPARE(QApplication::activeModalWidget(), nullptr);
        QTRY_VERIFY(answer);
        QCOMPARE(*answer, std::nullopt); // cancelled
    }

    // Cancel leaves everything as it was, before and after a picture was chosen once, game running or not.
    void dialogCancel() {
        const QSizeF builtin(w().currentPicture().width(), w().currentPicture().height());
        cancelNextDialog();
        chooseInDialog();
        QCOMPARE(QSizeF(w().currentPicture().width(), w().currentPicture().height()), builtin);

        typeIntoNextDialog(m_halves);
        chooseInDialog();
        const double chosenWidth = w().currentPicture().width();
        QVERIFY(chosenWidth != builtin.width());
        startGameAtOneMinute();
        const QImage tileFace = w().tile(0)->backing();
        cancelNextDialog();
        chooseInDialog();
        QCOMPARE(w().currentPicture().width(), chosenWidth);
        QVERIFY(w().isPlaying());
        QCOMPARE(label(), QStringLiteral("経過時間　01:05"));
        QVERIFY(!w().tile(0)->isHidden());
        QVERIFY(preview()->isHidden());
        QCOMPARE(w().tile(0)->backing(), tileFace);
    }

    // A picture chosen during a game ends it: tiles hidden, the new picture in the preview, clock reset.
    void dialogChoosesPicture() {
        startGameAtOneMinute();
        const engine::Board before = w().board();
        typeIntoNextDialog(m_halves);
        chooseInDialog();
        QVERIFY(tilesHidden());
        QVERIFY(!preview()->isHidden());
        QVERIFY(!w().isPlaying());
        QCOMPARE(label(), kClockZero);
        QCOMPARE(w().currentPicture().width(), 300 * 2540.0 / 96.0);
        QCOMPARE(previewColourAt(preview(), 0.25, 0.5), QColor(Qt::red));
        QCOMPARE(previewColourAt(preview(), 0.75, 0.5), QColor(Qt::blue));
        w().Text1_KeyDown(Qt::Key_Up, Qt::NoModifier); // the arrow keys no longer move anything
        w().Text1_KeyDown(38, Qt::NoModifier);
        QCOMPARE(w().board().myBlankX, before.myBlankX);
        QCOMPARE(w().board().myBlankY, before.myBlankY);
    }

    void dialogMetafile() {
        const QString path = write(QStringLiteral("DRAWING.EMF"), fixtures::emf());
        typeIntoNextDialog(path);
        chooseInDialog();
        QCOMPARE(w().currentPicture().width(), 2540.0);
        QCOMPARE(w().currentPicture().height(), 1270.0);
        QCOMPARE(previewColourAt(preview(), 0.25, 0.3), QColor(Qt::red));
    }

    // The failure row of the dialog: the message, the previous picture repainted, the game stopped.
    void dialogUnreadable() {
        startGameAtOneMinute();
        holdGreenPicture();
        testing::MessageRecorder messages(m_dialogs);
        typeIntoNextDialog(m_text);
        chooseInDialog();
        QCOMPARE(messages.asked().size(), std::size_t(1));
        QCOMPARE(messages.asked()[0].text, QStringLiteral("表示出来ない画像ファイルです。"));
        QCOMPARE(messages.asked()[0].title, QStringLiteral("表示不可通知"));
        QCOMPARE(messages.asked()[0].icon, platform::MessageIcon::Stop);
        QCOMPARE(messages.asked()[0].buttons, platform::MessageButtons::Ok);
        QCOMPARE(w().currentPicture().width(), 200 * 2540.0 / 96.0);
        QCOMPARE(previewColourAt(preview(), 0.3, 0.3), QColor(0, 160, 0));
        QVERIFY(tilesHidden());
        QVERIFY(!preview()->isHidden());
        QVERIFY(!w().isPlaying());
        QCOMPARE(label(), kClockZero);
    }

    // The real message box the player sees: a stop icon, the title, one OK button.
    void unreadableMessageBox() {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
        testing::whenModalOpens([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box != nullptr);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = int(box->buttons().size());
            box->accept();
        });
        auto data = std::make_unique<QMimeData>();
        data->setText(QStringLiteral("some text"));
        dragAndDrop(form(), centreOf(QStringLiteral("Picture2")), data.get());
        QCOMPARE(title, QStringLiteral("表示不可通知"));
        QCOMPARE(text, QStringLiteral("表示出来ない画像ファイルです。"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, 1);
    }

    // Every kind of place on the window: the background, the clock label and the preview take a file;
    // tiles, buttons, the size box, the check box and the frame refuse it, cursor and all.
    void dropTargets_data() {
        QTest::addColumn<QString>("target"); // a control's name, or "panel" / "empty cell"
        QTest::addColumn<bool>("duringGame");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("preview") << "Picture2" << false << true;
        QTest::newRow("clock label") << "Label1" << false << true;
        QTest::newRow("coloured panel") << "panel" << false << true;
        QTest::newRow("empty cell of a game") << "empty cell" << true << true;
        QTest::newRow("tile") << "tile" << true << false;
        for (const char* button : {"Command1", "Command2", "Command3", "Command4"}) {
            QTest::newRow(button) << button << false << false;
        }
        QTest::newRow("size box") << "Combo1" << false << false;
        QTest::newRow("check box") << "Check1" << false << false;
        QTest::newRow("frame") << "Frame1" << false << false;
    }
    void dropTargets() {
        QFETCH(QString, target);
        QFETCH(bool, duringGame);
        QFETCH(bool, accepted);
        if (duringGame) {
            w().Command2_Click();
        }
        QPoint at;
        if (target == QLatin1String("panel")) {
            at = QPoint(6560 / 15, 5480 / 15); // the pink panel, left of its button
        } else if (target == QLatin1String("empty cell")) {
            const engine::Board& b = w().board();
            const int centre = engine::kBoardOrigin + b.myTileSize / 2;
            at = QPoint((centre + b.myBlankX * b.myTileSize) / 15, (centre + b.myBlankY * b.myTileSize) / 15);
        } else if (target == QLatin1String("tile")) {
            at = w().tile(0)->mapTo(form(), w().tile(0)->rect().center());
        } else if (target == QLatin1String("Frame1")) {
            at = child(target)->mapTo(form(), QPoint(4, child(target)->height() - 4));
        } else {
            at = centreOf(target);
        }
        QCOMPARE(dropReceiver(form(), at), form()); // Qt offers every drop here to the client area
        testing::MessageRecorder messages(m_dialogs);
        const auto data = filesData({m_halves});
        const Drop drop = dragAndDrop(form(), at, data.get());
        QVERIFY(drop.entered); // a drag is taken wherever it comes in; where it may land is told as it moves
        QCOMPARE(drop.moved, accepted);
        QCOMPARE(drop.dropped, accepted);
        QCOMPARE(w().currentPicture().width() == 300 * 2540.0 / 96.0, accepted);
        QVERIFY(messages.asked().empty());
        QCOMPARE(w().isPlaying(), duringGame);
    }

    // The drop is judged where the button is released, whatever the drag crossed on its way: in over the
    // tiles and out over a panel loads the picture; in over a panel and out over a tile loads nothing.
    void dropJudgedWhereReleased() {
        w().Command2_Click();
        const QPoint tile = w().tile(0)->mapTo(form(), w().tile(0)->rect().center());
        const QPoint otherTile = w().tile(6)->mapTo(form(), w().tile(6)->rect().center());
        const QPoint panel(6560 / 15, 2600 / 15); // the green panel, left of Start
        const auto data = filesData({m_halves});
        testing::MessageRecorder messages(m_dialogs);

        const Drop refused = dragAndDrop(form(), {panel, tile, otherTile}, data.get());
        QVERIFY(!refused.moved);
        QVERIFY(!refused.dropped);
        QVERIFY(w().currentPicture().width() != 300 * 2540.0 / 96.0);

        const Drop loaded = dragAndDrop(form(), {tile, otherTile, panel}, data.get());
        QCOMPARE(w().currentPicture().width(), 300 * 2540.0 / 96.0);
        QVERIFY(loaded.entered);
        QVERIFY(loaded.moved);
        QVERIFY(loaded.dropped);
        QVERIFY(messages.asked().empty());
        QVERIFY(w().isPlaying());
    }

    // A drop during a game shows the new picture and leaves the game running behind the preview.
    void dropDuringGame() {
        startGameAtOneMinute();
        const auto data = filesData({m_halves});
        QVERIFY(dragAndDrop(form(), centreOf(QStringLiteral("Label1")), data.get()).dropped);
        QCOMPARE(w().currentPicture().width(), 300 * 2540.0 / 96.0);
        QVERIFY(tilesHidden());
        QVERIFY(!preview()->isHidden());
        QCOMPARE(previewColourAt(preview(), 0.25, 0.5), QColor(Qt::red));
        QVERIFY(w().isPlaying());
        QCOMPARE(label(), QStringLiteral("経過時間　01:05"));
        m_clock.advance(std::chrono::seconds(10));
        w().Timer1_Timer();
        QCOMPARE(label(), QStringLiteral("経過時間　01:15"));
    }

    // A square picture shows its top-left 127/144 in the preview, stretched over the whole box: its quarters,
    // which meet at half its side, meet 72/127 of the way across, and the band past 127/144 is not shown.
    void squarePicturePreviewShowsItsTopLeftStretched() {
        constexpr int kSide = 288; // 127/144 of it is 254 pixels
        QImage square(kSide, kSide, QImage::Format_RGB32);
        square.fill(Qt::black);
        const std::array<QColor, 4> quarters{QColor(Qt::red), QColor(Qt::blue), QColor(Qt::green),
                                             QColor(Qt::yellow)};
        for (int y = 0; y < 254; ++y) {
            for (int x = 0; x < 254; ++x) {
                square.setPixelColor(x, y, quarters[std::size_t((y >= kSide / 2) * 2 + (x >= kSide / 2))]);
            }
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        square.save(&buffer, "PNG");
        const auto data = filesData({write(QStringLiteral("square.png"), bytes)});
        QVERIFY(dragAndDrop(form(), centreOf(QStringLiteral("Picture2")), data.get()).dropped);
        QCOMPARE(w().currentPicture().width(), kSide * 2540.0 / 96.0);

        const double meet = 72.0 / 127; // 0.567
        for (const double y : {0.03, meet - 0.03}) {
            QCOMPARE(previewColourAt(preview(), 0.03, y), QColor(Qt::red));
            QCOMPARE(previewColourAt(preview(), meet - 0.03, y), QColor(Qt::red));
            QCOMPARE(previewColourAt(preview(), meet + 0.03, y), QColor(Qt::blue));
            QCOMPARE(previewColourAt(preview(), 0.97, y), QColor(Qt::blue));
        }
        for (const double y : {meet + 0.03, 0.97}) {
            QCOMPARE(previewColourAt(preview(), 0.03, y), QColor(Qt::green));
            QCOMPARE(previewColourAt(preview(), meet - 0.03, y), QColor(Qt::green));
            QCOMPARE(previewColourAt(preview(), meet + 0.03, y), QColor(Qt::yellow));
            QCOMPARE(previewColourAt(preview(), 0.97, y), QColor(Qt::yellow));
        }
    }

    // The drop is answered before the file is read, so a slow picture or the message never holds the
    // file manager that sent it.
    void dropAnsweredBeforeLoading() {
        holdGreenPicture();
        const auto data = filesData({m_halves});
        QVERIFY(dragAndDrop(form(), centreOf(QStringLiteral("Picture2")), data.get(), false).dropped);
        QCOMPARE(w().currentPicture().width(), 200 * 2540.0 / 96.0);
        QVERIFY(settled(&w()));
        QCOMPARE(w().currentPicture().width(), 300 * 2540.0 / 96.0);
    }

    // A decode that lasts shows the busy pointer over the window until it ends; a quick one never does.
    void busyPointerWhileDecoding() {
        testing::GatedLoader gate;
        const std::unique_ptr<UFMain> own = gatedWindow(gate);
        QVERIFY(own);
        UFMain& gated = *own;
        testing::MessageRecorder messages(m_dialogs);
        const auto data = filesData({m_halves});
        auto* surface = gated.findChild<QWidget*>(QStringLiteral("Form"));
        dragAndDrop(surface, surface->rect().center(), data.get(), false);
        QTRY_COMPARE(gated.phase(), UFMain::Phase::Loading); // the drop's turn has come
        QCOMPARE(gate.waiting(), 1);
        m_clock.advance(std::chrono::milliseconds(199));
        QCOMPARE(gated.cursor().shape(), Qt::ArrowCursor);
        m_clock.advance(std::chrono::milliseconds(1));
        QCOMPARE(gated.cursor().shape(), Qt::BusyCursor);
        gate.release(platform::Picture()); // the file could not be shown
        QTRY_COMPARE(messages.asked().size(), std::size_t(1));
        QCOMPARE(gated.cursor().shape(), Qt::ArrowCursor);

        dragAndDrop(surface, surface->rect().center(), data.get(), false);
        QTRY_COMPARE(gated.phase(), UFMain::Phase::Loading); // the drop's turn has come
        QCOMPARE(gate.waiting(), 1);
        m_clock.advance(std::chrono::milliseconds(150));
        gate.release();
        QTRY_COMPARE(gated.currentPicture().width(), 300 * 2540.0 / 96.0);
        m_clock.advance(std::chrono::seconds(1));
        QCOMPARE(gated.cursor().shape(), Qt::ArrowCursor);
    }

    // A drag's file is decoded from the moment the drag comes over the window, and its drop takes that
    // picture: unless the file was written in between, when the drop loads it anew. A drag that leaves lets
    // its picture go; while its decode still runs, another drag starts none of its own.
    void dragDecodesAheadOfItsDrop() {
        testing::GatedLoader gate;
        const std::unique_ptr<UFMain> own = gatedWindow(gate);
        QVERIFY(own);
        UFMain& gated = *own;
        auto* surface = gated.findChild<QWidget*>(QStringLiteral("Form"));
        const QPoint at = surface->rect().center();
        const auto enter = [&](const QMimeData& data) { enterWith(surface, at, &data); };
        const auto dropThere = [&](const QMimeData& data) { moveAndDrop(surface, {at}, &data); };
        const auto leave = [&] { leaveFrom(surface); };
        const double shown = gated.currentPicture().width();
        const QString file = write(QStringLiteral("ahead.png"), halvesPng(300));
        const auto data = filesData({file});

        enter(*data);
        QCOMPARE(gate.waiting(), 1);
        QCOMPARE(gate.nextPath(), file);
        gate.release();
        QCoreApplication::processEvents();
        QCOMPARE(gated.currentPicture().width(), shown); // nothing is shown before the drop
        dropThere(*data);
        QVERIFY(settled(&gated));
        QCOMPARE(gate.waiting(), 0);
        QCOMPARE(gated.currentPicture().width(), 300 * 2540.0 / 96.0);

        enter(*data);
        write(QStringLiteral("ahead.png"), halvesPng(120));
        dropThere(*data);
        QTRY_COMPARE(gate.waiting(), 2);
        QImage stale(50, 50, QImage::Format_ARGB32_Premultiplied);
        stale.fill(Qt::black);
        gate.release(testing::rasterPictureFromImage(stale)); // what the file held as the drag came
        gate.release();
        QVERIFY(settled(&gated));
        QCOMPARE(gated.currentPicture().width(), 120 * 2540.0 / 96.0);

        enter(*data);
        leave();
        const auto other = filesData({m_wide});
        enter(*other);
        leave();
        QCOMPARE(gate.waiting(), 1);
        gate.release();
        QCoreApplication::processEvents();
        enter(*other);
        QCOMPARE(gate.waiting(), 1);
        QCOMPARE(gate.nextPath(), m_wide);
        leave();
        gate.release();
        QCoreApplication::processEvents();
        QCOMPARE(gated.currentPicture().width(), 120 * 2540.0 / 96.0);
        QVERIFY(gated.phase() == UFMain::Phase::Idle);
    }

    // Of several files only the first, in the drop's order, is loaded.
    void dropSeveralFiles() {
        auto data = filesData({m_wide, m_halves});
        dragAndDrop(form(), centreOf(QStringLiteral("Picture2")), data.get());
        QCOMPARE(w().currentPicture().width(), 600 * 2540.0 / 96.0);
        testing::MessageRecorder messages(m_dialogs);
        data = filesData({m_text, m_halves});
        dragAndDrop(form(), centreOf(QStringLiteral("Picture2")), data.get());
        QCOMPARE(messages.asked().size(), std::size_t(1));
        QCOMPARE(w().currentPicture().width(), 600 * 2540.0 / 96.0);
    }

    // The drop's failure row: the message, the previous picture repainted, tiles hidden, game untouched.
    void dropFailures_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text, no file") << "text";
        QTest::newRow("not a picture") << "file";
        QTest::newRow("remote address") << "remote";
        QTest::newRow("a folder") << "folder";
        QTest::newRow("vanished file") << "vanished";
        QTest::newRow("metafile of nonsense") << "nonsense";
    }
    void dropFailures() {
        QFETCH(QString, kind);
        startGameAtOneMinute();
        holdGreenPicture();
        auto data = std::make_unique<QMimeData>();
        if (kind == QLatin1String("text")) {
            data->setText(m_halves);
        } else if (kind == QLatin1String("file")) {
            data = filesData({m_text});
        } else if (kind == QLatin1String("remote")) {
            data->setUrls({QUrl(QStringLiteral("https://example.com/picture.jpg"))});
        } else if (kind == QLatin1String("folder")) {
            data = filesData({m_dir.path()});
        } else if (kind == QLatin1String("vanished")) {
            data = filesData({m_dir.filePath(QStringLiteral("gone.jpg"))});
        } else {
            data = filesData(
                {write(QStringLiteral("nonsense.wmf"), fixtures::wmf().left(40) + QByteArray(300, '\xFF'))});
        }
        testing::MessageRecorder messages(m_dialogs);
        const Drop drop = dragAndDrop(form(), centreOf(QStringLiteral("Label1")), data.get());
        QVERIFY(drop.dropped);
        QCOMPARE(messages.asked().size(), std::size_t(1));
        QCOMPARE(messages.asked()[0].text, QStringLiteral("表示出来ない画像ファイルです。"));
        QCOMPARE(messages.asked()[0].title, QStringLiteral("表示不可通知"));
        QCOMPARE(messages.asked()[0].icon, platform::MessageIcon::Stop);
        QCOMPARE(w().currentPicture().width(), 200 * 2540.0 / 96.0);
        QCOMPARE(previewColourAt(preview(), 0.3, 0.3), QColor(0, 160, 0));
        QVERIFY(tilesHidden());
        QVERIFY(!preview()->isHidden());
        QVERIFY(w().isPlaying());
        QCOMPARE(label(), QStringLiteral("経過時間　01:05"));
    }

    // A drop while a tile slides waits for the slide's end, then loads: the board stays whole.
    void dropDuringSlide() {
        w().Command2_Click();
        const engine::Board& b = w().board();
        int tileNextToBlank = -1;
        if (b.myBlankY > 0) {
            tileNextToBlank = b.myBoard[b.myBlankX][b.myBlankY - 1];
        } else {
            tileNextToBlank = b.myBoard[b.myBlankX][b.myBlankY + 1];
        }
        const auto data = filesData({m_halves});
        w().Picture1_Click(tileNextToBlank);
        QCOMPARE(w().phase(), UFMain::Phase::Sliding);
        dragAndDrop(form(), centreOf(QStringLiteral("Label1")), data.get(), false);
        QCoreApplication::processEvents();
        QCOMPARE(w().phase(), UFMain::Phase::Sliding); // the load waits
        m_clock.advance(std::chrono::milliseconds(1));
        QVERIFY(settled(&w()));
        QCOMPARE(w().currentPicture().width(), 300 * 2540.0 / 96.0);
        QVERIFY(tilesHidden());
        QVERIFY(!preview()->isHidden());
    }
};

QTEST_MAIN(PictureSelection)
#include "test_picture_selection.moc"
