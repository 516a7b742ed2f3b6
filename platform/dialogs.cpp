// Message boxes and the open-file dialog behind one seam.
#include "dialogs.h"

#include "filedialog.h"

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

MessageAnswer messageBox(QWidget* parent, const MessageRequest& request) {
    if (messageHook()) {
        return messageHook()(request);
    }
    const bool yesNo = request.buttons == MessageButtons::YesNo;
    QMessageBox box(toQt(request.icon), request.title, request.text,
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    if (yesNo) {
        box.setEscapeButton(QMessageBox::No);
    }
    const int answer = box.exec();
    if (!yesNo) {
        return MessageAnswer::Ok;
    }
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

std::optional<QString> openFileDialog(QWidget* parent, const QString& filter) {
    if (fileDialogHook()) {
        return fileDialogHook()(filter);
    }
    return runOpenFileDialog(parent, filter);
}

} // namespace platform
