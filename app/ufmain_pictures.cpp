// Pictures: the preview, choosing a picture with the dialog and by dropping a file.
#include "engine/rules.h"
#include "pictures/painting.h"
#include "pictures/selection.h"
#include "platform/background.h"
#include "platform/dialogs.h"
#include "platform/picturebox.h"
#include "ufmain.h"
#include "widgets.h"

#include <QLabel>
#include <QTimer>

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

void UFMain::showUnreadablePicture() {
    platform::messageBox(this,
                         {QStringLiteral("表示出来ない画像ファイルです。"), QStringLiteral("表示不可通知"),
                          platform::MessageIcon::Stop, platform::MessageButtons::Ok});
}

void UFMain::Command1_Click() {
    runInTurn(engine::Command::Other, [this] {
        QPointer<UFMain> alive(this);
        const std::optional<QString> chosen = platform::openFileDialog(this, pictures::pictureFilter());
        if (alive.isNull() || myClosed || !chosen) {
            return;
        }
        for (platform::PictureBox* box : Picture1) {
            box->setVisible(false); // before loading: the tiles are gone while a failure is reported
        }
        if (!takePicture(chosen)) {
            return;
        }
        myPic();
        m_game.stop();
        Label1->setText(clockCaption(engine::clockText(0)));
        runPending();
    });
}

void UFMain::Form_OLEDragDrop(const QMimeData* data) {
    // The drop's data lives only as long as the drop event: the file name is taken now. The loading waits
    // until the drop has been answered, so that the file manager is not held while a picture decodes or
    // the message is open; then it waits, like every command, for a running slide to end.
    const std::optional<QString> path = pictures::firstDroppedFile(data);
    QMetaObject::invokeMethod(
        this, [this, path] { runInTurn(engine::Command::Other, [this, path] { loadDroppedPicture(path); }); },
        Qt::QueuedConnection);
}

void UFMain::Picture2_OLEDragDrop(const QMimeData* data) {
    Form_OLEDragDrop(data);
}

bool UFMain::takePicture(const std::optional<QString>& path) {
    QPointer<UFMain> alive(this);
    platform::Picture loaded;
    if (path) {
        // A big photo decodes on a worker thread: the window keeps painting and ticking meanwhile. Commands
        // wait their turn until the new picture is in place; clicks and keys are dropped, as during a slide.
        m_game.setLoadingPicture(true);
        // A decode that takes more than a moment shows the busy pointer over the window, and only then.
        QTimer busy;
        busy.setSingleShot(true);
        connect(&busy, &QTimer::timeout, this, [this] { setCursor(Qt::BusyCursor); });
        busy.start(kBusyPointerDelay);
        loaded =
            platform::runServingEvents([file = *path, side = pictures::neededLongSide(devicePixelRatioF())] {
                return pictures::loadPicture(file, side);
            });
        if (alive.isNull()) {
            return false;
        }
        busy.stop();
        unsetCursor();
        m_game.setLoadingPicture(false);
    }
    if (!loaded.isEmpty()) {
        Picture0 = std::move(loaded);
        return !myClosed;
    }
    showUnreadablePicture(); // the previous picture stays
    return !alive.isNull() && !myClosed;
}

void UFMain::loadDroppedPicture(const std::optional<QString>& path) {
    if (takePicture(path)) {
        myPic();
        runPending();
    }
}
