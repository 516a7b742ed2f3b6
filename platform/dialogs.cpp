// Message boxes and the open-file dialog behind one seam.
#include "dialogs.h"

#include "filedialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>

namespace platform {

namespace {
class SystemDialogs : public Dialogs {
public:
    void messageBox(QWidget* parent, const MessageRequest& request, MessageThen then) override {
        platform::messageBox(parent, request, std::move(then));
    }
    void openFileDialog(QWidget* parent, const QString& filter, FileThen then, FileSeen seen) override {
        platform::openFileDialog(parent, filter, std::move(then), std::move(seen));
    }
};

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

std::shared_ptr<Dialogs> systemDialogs() {
    static const std::shared_ptr<Dialogs> dialogs = std::make_shared<SystemDialogs>();
    return dialogs;
}

void takeBackActivation(QWidget* window) {
    if (window && window->isVisible()) {
        window->window()->activateWindow();
    }
}

void messageBox(QWidget* parent, const MessageRequest& request, MessageThen then) {
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
    QObject::connect(box, &QDialog::finished, box, [parent, yesNo, then = std::move(then)](int result) {
        takeBackActivation(parent);
        if (then) {
            then(!yesNo                       ? MessageAnswer::Ok
                 : result == QMessageBox::Yes ? MessageAnswer::Yes
                                              : MessageAnswer::No);
        }
    });
    box->show();
}

void openFileDialog(QWidget* parent, const QString& filter, FileThen then, FileSeen seen) {
    QFileDialog* dialog = makeOpenFileDialog(parent, filter);
    if (seen) {
        QObject::connect(dialog, &QFileDialog::currentChanged, dialog, [seen](const QString& path) {
            if (!path.isEmpty()) {
                seen(path);
            }
        });
        // A name typed into the file name box is gone to as well, once it names a file: the list's
        // selection follows what is typed without making that file the current one.
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            QObject::connect(name, &QLineEdit::textEdited, dialog, [dialog, seen](const QString& text) {
                const QString path = QDir::cleanPath(dialog->directory().absoluteFilePath(text));
                if (!text.isEmpty() && QFileInfo(path).isFile()) {
                    seen(path);
                }
            });
        }
    }
    QObject::connect(
        dialog, &QDialog::finished, dialog, [parent, dialog, then = std::move(then)](int result) {
            takeBackActivation(parent);
            const bool chosen = result == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
            then(chosen ? std::optional(dialog->selectedFiles().first()) : std::nullopt);
        });
    dialog->show();
}

} // namespace platform
