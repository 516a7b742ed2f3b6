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

namespace {
// A shorter load ends before a pointer change could be seen.
constexpr std::chrono::milliseconds kBusyPointerDelay{200};
} // namespace

void UFMain::myPic() {
    for (platform::PictureBox* box : Picture1) {
        box->setVisible(false);
    }
    pictures::paintPreview(*Picture2, Picture0);
    Picture2->setVisible(true);
}

void UFMain::showUnreadablePicture(std::function<void()> then) {
    m_phase = Phase::Dialog;
    m_dialogs->messageBox(this,
                          {QStringLiteral("表示出来ない画像ファイルです。"), QStringLiteral("表示不可通知"),
                           platform::MessageIcon::Stop, platform::MessageButtons::Ok},
                          afterDialog([this, then = std::move(then)](platform::MessageAnswer) {
                              then();
                              becomeIdle();
                          }));
}

void UFMain::Command1_Click() {
    runInTurn([this] {
        m_phase = Phase::Dialog;
        m_prepareLoad();
        m_dialogs->openFileDialog(
            this, pictures::pictureFilter(), afterDialog([this](const std::optional<QString>& chosen) {
                if (!chosen) {
                    m_loadAhead->abandon();
                    m_endPreparedLoad();
                    becomeIdle();
                    return;
                }
                for (platform::PictureBox* box : Picture1) {
                    box->setVisible(false); // before loading: the tiles are gone while a failure is reported
                }
                takePicture(*chosen, [this] {
                    myPic();
                    m_game.stop();
                    Label1->setText(clockCaption(engine::clockText(0)));
                });
            }),
            // The file the player goes to decodes before it is chosen; once it has, a helper is got ready
            // again for the file the player may choose instead.
            afterDialog([this](const QString& seen) {
                m_loadAhead->start(seen, pictures::neededLongSide(devicePixelRatioF()), m_prepareLoad);
            }));
    });
}

void UFMain::Form_OLEDragDrop(const QMimeData* data) {
    // The drop's data lives only as long as the drop event: the file name is taken now. The loading waits
    // until the drop has been answered, so that the file manager is not held while the message is open;
    // then it waits, like every command, for its turn.
    const std::optional<QString> path = pictures::firstDroppedFile(data);
    QMetaObject::invokeMethod(
        this, [this, path] { runInTurn([this, path] { loadDroppedPicture(path); }); }, Qt::QueuedConnection);
}

void UFMain::Picture2_OLEDragDrop(const QMimeData* data) {
    Form_OLEDragDrop(data);
}

void UFMain::takePicture(const QString& path, std::function<void()> then) {
    // A big photo decodes away from this thread, its result handed back here by the event loop: the window
    // keeps painting and ticking meanwhile. Commands wait their turn until the new picture is in place;
    // clicks and keys are dropped, as during a slide.
    m_phase = Phase::Loading;
    // A decode that takes more than a moment shows the busy pointer over the window, and only then.
    m_busyPointer->wakeAt(m_clock->steady() + kBusyPointerDelay, [this] { setCursor(Qt::BusyCursor); });
    m_loading = new QFutureWatcher<platform::Picture>(this);
    connect(m_loading, &QFutureWatcherBase::finished, this, [this, then = std::move(then)] {
        platform::Picture loaded = m_loading->result();
        m_loading->deleteLater();
        m_loading = nullptr;
        m_busyPointer->cancel();
        unsetCursor();
        m_endPreparedLoad(); // one got ready in the dialog after a file decoded ahead, and never used
        if (loaded.isEmpty()) {
            showUnreadablePicture(then); // the previous picture stays
            return;
        }
        Picture0 = std::move(loaded);
        then();
        becomeIdle();
    });
    m_loading->setFuture(m_loadAhead->take(path, pictures::neededLongSide(devicePixelRatioF())));
}

void UFMain::loadDroppedPicture(const std::optional<QString>& path) {
    if (path) {
        takePicture(*path, [this] { myPic(); });
    } else {
        showUnreadablePicture([this] { myPic(); });
    }
}
