// The one place where the game asks the player something: message boxes and the open-file dialog.
// Tests either answer the real dialogs (they are ordinary modal widgets) or install a hook.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

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

// The dialogs are modal over the whole program, but nothing waits for them: each call returns at once, and
// what follows the answer is handed over as a function. It runs once the player has answered; a dialog
// belongs to its parent, so a parent deleted meanwhile takes the dialog and its answer with it.

// A message box over parent; then receives the button pressed (closing a Yes/No box counts as No).
using MessageThen = std::function<void(MessageAnswer)>;
void messageBox(QWidget* parent, const MessageRequest& request, MessageThen then = {});

// The open-file dialog. The filter is given as "description|patterns|description|patterns…", patterns
// separated by ";"; they match file names whatever their letter case. then receives the file chosen, or
// nothing when the player cancels.
using FileThen = std::function<void(const std::optional<QString>&)>;
void openFileDialog(QWidget* parent, const QString& filter, FileThen then);

// Gives the keyboard back to window once a dialog over it has closed: not every window manager hands the
// activation back to the window beneath a closed dialog. A window not shown is left alone.
void takeBackActivation(QWidget* window);

using MessageHook = std::function<MessageAnswer(const MessageRequest&)>;
using FileDialogHook = std::function<std::optional<QString>(const QString& filter)>;
// Replace the real dialogs (an empty function restores them): a hook answers at once, and what follows the
// answer runs before the call returns. For tests and the benchmark program.
void setMessageHook(MessageHook hook);
void setFileDialogHook(FileDialogHook hook);

} // namespace platform
