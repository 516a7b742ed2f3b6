// Pictures: the preview, choosing a picture with the dialog and by dropping a file.
#include "engine/rules.h"
#include "pictures/painting.h"
#include "pictures/selection.h"
#include "platform/dialogs.h"
#include "platform/picturebox.h"
#include "ufmain.h"
#include "widgets.h"

#include <QFutureWatcher>
#include <QLabel>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace {
constexpr int kBusyPointerDelay = 200; // ms: a shorter load ends before a pointer change could be seen
}

void UFMain::myPic() {
    for (platform::PictureBox* box : Picture1) {
        box->setVisible(false);
    }
    pictures::paintPreview(*Picture2, Picture0);
    Picture2->setVisible(true);
}

void UFMain::showUnreadablePicture(std::function<void()> then) {
    platform::messageBox(this,
                         {QStringLiteral("表示出来ない画像ファイルです。"), QStringLiteral("表示不可通知"),
                          platform::MessageIcon::Stop, platform::MessageButtons::Ok},
                         [then = std::move(then)](platform::MessageAnswer) { then(); });
}

void UFMain::Command1_Click() {
    runInTurn([this] {
        platform::openFileDialog(this, pictures::pictureFilter(), [this](const QString& chosen) {
            for (platform::PictureBox* box : Picture1) {
                box->setVisible(false); // before loading: the tiles are gone while a failure is reported
            }
            takePicture(chosen, [this] {
                myPic();
                m_game.stop();
                Label1->setText(clockCaption(engine::clockText(0)));
                runPending();
            });
        });
    });
}

void UFMain::Form_OLEDragDrop(const QMimeData* data) {
    // The drop's data lives only as long as the drop event: the file name is taken now. The loading waits
    // until the drop has been answered, so that the file manager is not held while the message is open;
    // then it waits, like every command, for a running slide to end.
    const std::optional<QString> path = pictures::firstDroppedFile(data);
    QMetaObject::invokeMethod(
        this, [this, path] { runInTurn([this, path] { loadDroppedPicture(path); }); }, Qt::QueuedConnection);
}

void UFMain::Picture2_OLEDragDrop(const QMimeData* data) {
    Form_OLEDragDrop(data);
}

void UFMain::takePicture(const QString& path, std::function<void()> then) {
    // A big photo decodes on a worker thread, its result handed back here by the event loop: the window
    // keeps painting and ticking meanwhile. Commands wait their turn until the new picture is in place;
    // clicks and keys are dropped, as during a slide.
    m_game.setLoadingPicture(true);
    // A decode that takes more than a moment shows the busy pointer over the window, and only then.
    auto* busy = new QTimer(this);
    busy->setSingleShot(true);
    connect(busy, &QTimer::timeout, this, [this] { setCursor(Qt::BusyCursor); });
    busy->start(kBusyPointerDelay);
    auto* decoding = new QFutureWatcher<platform::Picture>(this);
    connect(decoding, &QFutureWatcherBase::finished, this, [this, busy, decoding, then = std::move(then)] {
        busy->stop();
        busy->deleteLater();
        decoding->deleteLater();
        unsetCursor();
        m_game.setLoadingPicture(false);
        if (myClosed) {
            return; // the program is ending: nothing more is shown
        }
        platform::Picture loaded = decoding->result();
        if (loaded.isEmpty()) {
            showUnreadablePicture(then); // the previous picture stays
            return;
        }
        Picture0 = std::move(loaded);
        then();
    });
    decoding->setFuture(QtConcurrent::run([path, side = pictures::neededLongSide(devicePixelRatioF())] {
        return pictures::loadPicture(path, side);
    }));
}

void UFMain::loadDroppedPicture(const std::optional<QString>& path) {
    const auto shown = [this] {
        myPic();
        runPending();
    };
    if (path) {
        takePicture(*path, shown);
    } else {
        showUnreadablePicture(shown);
    }
}
