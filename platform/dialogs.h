// The one place where the game asks the player something: message boxes and the open-file dialog.
// Tests either answer the real dialogs (they are ordinary modal widgets) or install a hook.
#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace platform {

enum class MessageIcon { Stop, Question, Information };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct MessageRequest {
    QString text;
    QString title;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
};

// A modal message box over parent; returns the button pressed (closing a Yes/No box counts as No).
MessageAnswer messageBox(QWidget* parent, const MessageRequest& request);

// The open-file dialog. The filter is given as "description|patterns|description|patterns…", patterns
// separated by ";"; they match file names whatever their letter case. Empty when the player cancels.
std::optional<QString> openFileDialog(QWidget* parent, const QString& filter);

using MessageHook = std::function<MessageAnswer(const MessageRequest&)>;
using FileDialogHook = std::function<std::optional<QString>(const QString& filter)>;
// Replace the real dialogs (an empty function restores them). For tests and the benchmark program.
void setMessageHook(MessageHook hook);
void setFileDialogHook(FileDialogHook hook);

} // namespace platform
