// Message boxes and the open-file dialog behind one seam.
#include "dialogs.h"

#include "filedialog.h"

#include <QFileDialog>
#include <QMessageBox>

namespace platform {

namespace {
MessageHook& messageHook() {
    static MessageHook hook;
    return hook;
}
FileDialogHook& fileDialogHook() {
    static FileDialogHook hook;
    return hook;
}

QMessageBox::Icon toQt(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Stop:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    default:
        return QMessageBox::Information;
    }
}
} // namespace

void setMessageHook(MessageHook hook) {
    messageHook() = std::move(hook);
}
void setFileDialogHook(FileDialogHook hook) {
    fileDialogHook() = std::move(hook);
}

DialogOwner::DialogOwner(QWidget* parent)
    : m_parent(parent), m_wasShown(parent && parent->window()->isVisible()) {}

bool DialogOwner::stillThere() const {
    return !m_parent.isNull() && (!m_wasShown || m_parent->window()->isVisible());
}

void DialogOwner::takeBackActivation() const {
    if (m_wasShown && stillThere()) {
        m_parent->window()->activateWindow();
    }
}

void messageBox(QWidget* parent, const MessageRequest& request, MessageThen then) {
    const DialogOwner owner(parent);
    if (messageHook()) {
        const MessageAnswer answer = messageHook()(request);
        if (then && owner.stillThere()) {
            then(answer);
        }
        return;
    }
    const bool yesNo = request.buttons == MessageButtons::YesNo;
    // Owned by parent while open, so that a window deleted meanwhile takes its box with it.
    auto* box = new QMessageBox(toQt(request.icon), request.title, request.text,
                                yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("messageBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    if (yesNo) {
        box->setEscapeButton(QMessageBox::No);
    }
    QObject::connect(box, &QDialog::finished, box, [owner, yesNo, then = std::move(then)](int result) {
        owner.takeBackActivation();
        if (then && owner.stillThere()) {
            then(!yesNo                       ? MessageAnswer::Ok
                 : result == QMessageBox::Yes ? MessageAnswer::Yes
                                              : MessageAnswer::No);
        }
    });
    box->show();
}

void openFileDialog(QWidget* parent, const QString& filter, FileThen then) {
    const DialogOwner owner(parent);
    if (fileDialogHook()) {
        const std::optional<QString> chosen = fileDialogHook()(filter);
        if (chosen && owner.stillThere()) {
            then(*chosen);
        }
        return;
    }
    QFileDialog* dialog = makeOpenFileDialog(parent, filter);
    QObject::connect(dialog, &QDialog::finished, dialog, [owner, dialog, then = std::move(then)](int result) {
        owner.takeBackActivation();
        if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty() && owner.stillThere()) {
            then(dialog->selectedFiles().first());
        }
    });
    dialog->show();
}

} // namespace platform
