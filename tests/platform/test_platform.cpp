// The platform layer: picture boxes and their backing images, picture regions, keys, the paced loop, dialogs,
// the sound.
#include "platform/colours.h"
#include "platform/dialogs.h"
#include "platform/keys.h"
#include "platform/picturebox.h"
#include "platform/services.h"
#include "platform/timedsteps.h"
#include "platform/twips.h"
#include "support/support.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fcntl.h>
#include <numeric>
#include <unistd.h>

using platform::Picture;
using platform::PictureBox;

namespace {
// A picture whose left half is red and right half blue, 100 x 50 pixels.
Picture halves() {
    QImage image(100, 50, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    for (int y = 0; y < 50; ++y) {
        for (int x = 50; x < 100; ++x) {
            image.setPixelColor(x, y, Qt::blue);
        }
    }
    return testing::rasterPictureFromImage(image);
}
QColor at(const QImage& image, double xPx, double yPx) {
    const qreal dpr = image.devicePixelRatio();
    return image.pixelColor(int(xPx * dpr), int(yPx * dpr));
}

// Sets an environment variable for as long as it lives, and puts back what was there.
class EnvironmentFor {
public:
    EnvironmentFor(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_was(qgetenv(name)) {
        qputenv(name, value);
    }
    ~EnvironmentFor() { m_had ? qputenv(m_name, m_was) : qunsetenv(m_name); }
    EnvironmentFor(const EnvironmentFor&) = delete;
    EnvironmentFor& operator=(const EnvironmentFor&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_was;
};

// Whatever the process writes to its standard error while it lives, from any library, kept instead.
class StandardErrorCapture {
public:
    StandardErrorCapture() {
        std::fflush(stderr);
        if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
            m_saved = ::dup(STDERR_FILENO);
            ::dup2(m_pipe[1], STDERR_FILENO);
        }
    }
    ~StandardErrorCapture() { restore(); }
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;
    // What was written so far; the standard error is the process's own again from here on.
    QByteArray taken() {
        restore();
        QByteArray written;
        char buffer[4096];
        ssize_t got = 0;
        while (m_pipe[0] >= 0 && (got = ::read(m_pipe[0], buffer, sizeof buffer)) > 0) {
            written.append(buffer, got);
        }
        return written;
    }

private:
    void restore() {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
            ::close(m_pipe[1]);
            m_saved = -1;
        }
    }
    int m_pipe[2] = {-1, -1};
    int m_saved = -1;
};
} // namespace

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void twipsConversions() {
        QCOMPARE(platform::twipsToPixelsRounded(6015), 401);
        QCOMPARE(platform::twipsToPixelsRounded(-500), -33);
        QCOMPARE(platform::twipsRect(240, 240, 6015, 6015), QRect(16, 16, 401, 401));
        QCOMPARE(platform::twipsToPixels(15), 1.0);
    }

    void extentIsHiMetricAt96Dpi() {
        const Picture p = halves();
        QCOMPARE(p.width(), 100 * 2540.0 / 96);
        QCOMPARE(p.height(), 50 * 2540.0 / 96);
        // 1440 twips of the picture's own extent are one inch: 96 pixels.
        const QRectF src = p.sourcePixels(QRectF(0, 0, 1440, 720));
        QCOMPARE(src.width(), 96.0);
        QCOMPARE(src.height(), 48.0);
    }

    void borderAndInnerArea() {
        QWidget host;
        PictureBox flat(&host, PictureBox::Border::FlatSingle, Qt::white);
        flat.setGeometryTwips(0, 0, 1500, 1500); // 100 px
        PictureBox sunken(&host, PictureBox::Border::Sunken3D, Qt::white);
        sunken.setGeometryTwips(0, 0, 6015, 6015);
        flat.clear();
        sunken.clear();
        QCOMPARE(flat.backing().deviceIndependentSize().toSize(), QSize(98, 98));
        QCOMPARE(sunken.backing().deviceIndependentSize().toSize(), QSize(397, 397));
    }

    void stretchDrawClipsPastThePicture() {
        QWidget host;
        PictureBox box(&host, PictureBox::Border::None, Qt::white);
        box.setGeometryTwips(0, 0, 3000, 3000); // 200 x 200 px
        const Picture p = halves();
        box.clear();
        // The whole picture is 1500 x 750 twips of extent; ask for a 1500-twip square of it into the box.
        box.paintPicture(p, QRectF(0, 0, 3000, 3000), QRectF(0, 0, 1500, 1500));
        const QImage& img = box.backing();
        QCOMPARE(at(img, 20, 20), QColor(Qt::red));
        QCOMPARE(at(img, 180, 20), QColor(Qt::blue));
        // Below the picture's bottom edge the target shrank: cleared, not smeared.
        QCOMPARE(at(img, 20, 150), QColor(Qt::white));
        QCOMPARE(at(img, 180, 190), QColor(Qt::white));
    }

    void clearAndEmptyPicture() {
        QWidget host;
        PictureBox box(&host, PictureBox::Border::None, QColor(10, 20, 30));
        box.setGeometryTwips(0, 0, 300, 300);
        box.paintPicture(halves(), QRectF(0, 0, 300, 300), QRectF(0, 0, 1500, 750));
        QCOMPARE(at(box.backing(), 2, 2), QColor(Qt::red));
        box.clear();
        QCOMPARE(at(box.backing(), 2, 2), QColor(10, 20, 30));
        box.paintPicture(Picture(), QRectF(0, 0, 300, 300), QRectF(0, 0, 10, 10));
        QCOMPARE(at(box.backing(), 2, 2), QColor(10, 20, 30));
    }

    void printPutsTextBelowAndRightOfThePosition() {
        QWidget host;
        PictureBox box(&host, PictureBox::Border::None, Qt::white);
        box.setGeometryTwips(0, 0, 1500, 1500);
        box.clear();
        box.setForeColor(Qt::black);
        box.setFontSize(12);
        box.setCurrentX(300);
        box.setCurrentY(300); // 20 px
        box.print(QStringLiteral("8"));
        const QImage& img = box.backing();
        int inkTop = -1;
        int inkLeft = 1000;
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 100; ++x) {
                if (at(img, x, y).lightness() < 128) {
                    inkTop = inkTop < 0 ? y : inkTop;
                    inkLeft = std::min(inkLeft, x);
                }
            }
        }
        QVERIFY2(inkTop >= 20 && inkTop < 40, qPrintable(QString::number(inkTop)));
        QVERIFY2(inkLeft >= 20 && inkLeft < 32, qPrintable(QString::number(inkLeft)));
    }

    void growingKeepsWhatWasDrawn() {
        QWidget host;
        PictureBox box(&host, PictureBox::Border::None, Qt::white);
        box.setGeometryTwips(0, 0, 300, 300);
        box.clear();
        box.paintPicture(halves(), QRectF(0, 0, 300, 300), QRectF(0, 0, 1500, 750));
        box.setGeometryTwips(0, 0, 900, 900);
        QCOMPARE(box.backing().deviceIndependentSize().toSize(), QSize(60, 60));
        QCOMPARE(at(box.backing(), 2, 2), QColor(Qt::red));
        QCOMPARE(at(box.backing(), 50, 50), QColor(Qt::white));
    }

    void twipsPositionsAreKept() {
        QWidget host;
        PictureBox box(&host, PictureBox::Border::FlatSingle, Qt::white);
        box.setGeometryTwips(240, 240, 1985, 1985);
        box.setLeftTwips(250);
        box.setTopTwips(247);
        QCOMPARE(box.leftTwips(), 250);
        QCOMPARE(box.topTwips(), 247);
        QCOMPARE(box.pos(), QPoint(17, 16));
    }

    void clickNeedsPressAndReleaseInside() {
        QWidget host;
        host.resize(200, 200);
        PictureBox box(&host, PictureBox::Border::FlatSingle, Qt::white);
        box.setGeometryTwips(0, 0, 1500, 1500);
        host.show();
        QSignalSpy clicks(&box, &PictureBox::clicked);
        QTest::mouseClick(&box, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QTest::mouseClick(&box, Qt::RightButton);
        QCOMPARE(clicks.count(), 1);
    }

    // Events as the platforms deliver them: X11 and Wayland carry the XKB keycode (evdev + 8) as the scan
    // code and the produced symbol as the key, so Shift+2 arrives as "@" on a US layout.
    // A missing move.wav is silence: the real player returns from each play and reports nothing, whether no
    // sound server answers or a sound backend is there to play.
    void missingSoundFileIsSilence_data() {
        QTest::addColumn<QByteArray>("driver");
        QTest::newRow("no sound server") << QByteArray("pulse");
        QTest::newRow("a backend that plays") << QByteArray("alsa");
    }
    void missingSoundFileIsSilence() {
        QFETCH(QByteArray, driver);
        const QTemporaryDir folder;
        QVERIFY(folder.isValid());
        // libcanberra's own choice of backend; the sound server is one that is not there, never one that
        // would be started for the test.
        const EnvironmentFor canberra("CANBERRA_DRIVER", driver);
        const EnvironmentFor server("PULSE_SERVER", "unix:" + QFile::encodeName(folder.filePath("none")));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        StandardErrorCapture errors;
        {
            const std::unique_ptr<platform::SoundPlayer> sound = platform::makeSystemSound();
            for (int move = 0; move < 3; ++move) {
                sound->play(folder.filePath(QStringLiteral("move.wav")));
            }
        }
        QCOMPARE(errors.taken(), QByteArray());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    void virtualKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<quint32>("scanCode");
        QTest::addColumn<quint32>("keysym");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");
        const int shift = Qt::ShiftModifier;
        const int keypad = Qt::KeypadModifier;
        QTest::newRow("left") << int(Qt::Key_Left) << 0 << 113u << 0xff51u << "" << 37;
        QTest::newRow("down") << int(Qt::Key_Down) << 0 << 116u << 0xff54u << "" << 40;
        QTest::newRow("shift+up") << int(Qt::Key_Up) << shift << 111u << 0xff52u << "" << 38;
        QTest::newRow("top-row 8") << int(Qt::Key_8) << 0 << 17u << 0x38u << "8" << 56;
        QTest::newRow("top-row 0") << int(Qt::Key_0) << 0 << 19u << 0x30u << "0" << 48;
        QTest::newRow("shift+2, US layout") << int(Qt::Key_At) << shift << 11u << 0x40u << "@" << 50;
        QTest::newRow("shift+4, US layout") << int(Qt::Key_Dollar) << shift << 13u << 0x24u << "$" << 52;
        QTest::newRow("shift+6, US layout") << int(Qt::Key_AsciiCircum) << shift << 15u << 0x5eu << "^" << 54;
        QTest::newRow("shift+8, US layout") << int(Qt::Key_Asterisk) << shift << 17u << 0x2au << "*" << 56;
        QTest::newRow("shift+2, Japanese layout")
            << int(Qt::Key_QuoteDbl) << shift << 11u << 0x22u << "\"" << 50;
        QTest::newRow("2 on a French layout") << int(Qt::Key_Eacute) << 0 << 11u << 0xe9u << "\u00e9" << 50;
        QTest::newRow("keypad 4, NumLock on") << int(Qt::Key_4) << keypad << 83u << 0xffb4u << "4" << 100;
        QTest::newRow("keypad 4, NumLock off") << int(Qt::Key_Left) << keypad << 83u << 0xff96u << "" << 37;
        QTest::newRow("shift+keypad 8, NumLock on")
            << int(Qt::Key_Up) << keypad << 80u << 0xff97u << "" << 38;
        QTest::newRow("letter") << int(Qt::Key_Q) << 0 << 24u << 0x71u << "q" << 81;
        QTest::newRow("minus beside the digits") << int(Qt::Key_Minus) << 0 << 20u << 0x2du << "-" << 0;
        QTest::newRow("other") << int(Qt::Key_Escape) << 0 << 9u << 0xff1bu << "" << 0;
        // Synthetic events, and the offscreen platform, carry no scan code: the key decides.
        QTest::newRow("synthetic top-row 8") << int(Qt::Key_8) << 0 << 0u << 0u << "8" << 56;
        QTest::newRow("synthetic keypad 2") << int(Qt::Key_2) << keypad << 0u << 0u << "2" << 98;
    }
    void virtualKeys() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(quint32, scanCode);
        QFETCH(quint32, keysym);
        QFETCH(QString, text);
        QFETCH(int, code);
        const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), scanCode, keysym,
                              modifiers & Qt::ShiftModifier ? 1u : 0u, text);
        QCOMPARE(platform::virtualKeyCode(event), code);
    }

    // The contrast that decides whether text keeps the scheme's colour on a fixed fill.
    void textOnFixedColours() {
        QCOMPARE(qRound(platform::contrastRatio(Qt::black, Qt::white) * 100), 2100);
        const QColor lightGreen(192, 255, 192);
        QCOMPARE(qRound(platform::contrastRatio(Qt::white, lightGreen) * 100), 115); // a dark scheme's text
        QCOMPARE(platform::textColourOn(lightGreen, Qt::white), QColor(Qt::black));
        const QColor breezeText(0x23, 0x26, 0x29);
        QCOMPARE(platform::textColourOn(lightGreen, breezeText), breezeText); // a light scheme keeps its own
    }

    // Steps run in order, each once its share of the run's time has passed on the clock, never inside the
    // call that starts the run; the end is reported once, when the whole time has passed.
    void timedStepsFollowTheClock() {
        testing::ManualClock clock;
        platform::TimedSteps steps(clock);
        std::vector<int> seen;
        int done = 0;
        steps.start(
            50, std::chrono::milliseconds(100), [&](int i) { seen.push_back(i); }, [&] { ++done; });
        QVERIFY(seen.empty());
        QVERIFY(steps.running());
        clock.advance(std::chrono::milliseconds(0));
        QCOMPARE(seen, std::vector<int>{0});
        clock.advance(std::chrono::milliseconds(49));
        QCOMPARE(int(seen.size()), 25); // steps 0 .. 24 are due by 49 ms: step k at 2k ms
        clock.advance(std::chrono::milliseconds(50));
        QCOMPARE(int(seen.size()), 50);
        QCOMPARE(done, 0); // the last step is due at 98 ms, the end at 100 ms
        QVERIFY(steps.running());
        clock.advance(std::chrono::milliseconds(1));
        QCOMPARE(done, 1);
        QVERIFY(!steps.running());
        std::vector<int> expected(50);
        std::iota(expected.begin(), expected.end(), 0);
        QCOMPARE(seen, expected);
        clock.advance(std::chrono::seconds(1));
        QCOMPARE(done, 1);
        QVERIFY(!clock.anyAlarmSet());
    }

    // The same on the system clock: the event loop's timer runs the steps and the end, after the start has
    // returned.
    void timedStepsRunFromTheEventLoop() {
        const platform::SystemClock clock;
        platform::TimedSteps steps(clock);
        std::vector<int> seen;
        int done = 0;
        steps.start(
            5, std::chrono::milliseconds(10), [&](int i) { seen.push_back(i); }, [&] { ++done; });
        QVERIFY(seen.empty());
        QTRY_COMPARE(done, 1);
        QCOMPARE(seen, (std::vector<int>{0, 1, 2, 3, 4}));
    }

    // A run stopped, replaced or deleted calls nothing more of what it was given; a step that stops its own
    // run ends it there.
    void timedStepsEndedEarly() {
        testing::ManualClock clock;
        platform::TimedSteps steps(clock);
        int seen = 0;
        int done = 0;
        steps.start(
            1000, std::chrono::milliseconds(2000), [&](int) { ++seen; }, [&] { ++done; });
        clock.advance(std::chrono::milliseconds(10));
        QCOMPARE(seen, 6);
        steps.stop();
        clock.advance(std::chrono::seconds(5));
        QCOMPARE(seen, 6);
        QCOMPARE(done, 0);

        int replaced = 0;
        steps.start(
            10, std::chrono::milliseconds(100), [&](int) { ++replaced; }, [&] { ++done; });
        clock.advance(std::chrono::milliseconds(25));
        steps.start(
            10, std::chrono::milliseconds(100), [&](int) { ++seen; }, [&] { done += 10; });
        clock.advance(std::chrono::seconds(1));
        QCOMPARE(replaced, 3);
        QCOMPARE(seen, 16);
        QCOMPARE(done, 10);

        steps.start(
            10, std::chrono::milliseconds(100),
            [&](int i) {
                ++seen;
                if (i == 2) {
                    steps.stop();
                }
            },
            [&] { ++done; });
        clock.advance(std::chrono::seconds(1));
        QCOMPARE(seen, 19);
        QCOMPARE(done, 10);

        auto doomed = std::make_unique<platform::TimedSteps>(clock);
        doomed->start(
            10, std::chrono::milliseconds(100), [&](int) { ++seen; }, [&] { ++done; });
        doomed.reset();
        clock.advance(std::chrono::seconds(1));
        QCOMPARE(seen, 19);
        QCOMPARE(done, 10);
    }

    // The real box answers through the function it was given, after the call has returned; a box whose
    // parent is deleted meanwhile goes with it and answers nothing.
    void realMessageBoxAnswers() {
        QWidget parent;
        QString title;
        testing::whenModalOpens([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            title = box->windowTitle();
            QCOMPARE(box->icon(), QMessageBox::Question);
            box->button(QMessageBox::Yes)->click();
        });
        std::optional<platform::MessageAnswer> answer;
        platform::messageBox(&parent,
                             {QStringLiteral("本当？"), QStringLiteral("確認"),
                              platform::MessageIcon::Question, platform::MessageButtons::YesNo},
                             [&](platform::MessageAnswer a) { answer = a; });
        QVERIFY(!answer);
        QTRY_COMPARE(answer, std::optional(platform::MessageAnswer::Yes));
        QCOMPARE(title, QStringLiteral("確認"));
        testing::whenModalOpens([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        answer.reset();
        platform::messageBox(&parent,
                             {QStringLiteral("?"), QStringLiteral("t"), platform::MessageIcon::Question,
                              platform::MessageButtons::YesNo},
                             [&](platform::MessageAnswer a) { answer = a; });
        QTRY_COMPARE(answer, std::optional(platform::MessageAnswer::No));

        auto doomed = std::make_unique<QWidget>();
        doomed->show();
        QVERIFY(QTest::qWaitForWindowExposed(doomed.get()));
        bool answered = false;
        bool gone = false;
        testing::whenModalOpens([&](QWidget*) {
            doomed.reset();
            gone = true;
        });
        platform::messageBox(doomed.get(), {QStringLiteral("?"), QStringLiteral("t")},
                             [&](platform::MessageAnswer) { answered = true; });
        QTRY_VERIFY(gone);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(!answered);
    }
};

QTEST_MAIN(TestPlatform)
#include "test_platform.moc"
