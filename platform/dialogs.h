// The one place where the game asks the player something: message boxes and the open-file dialog. The
// windows reach them through a Dialogs object they are given, so that tests can answer in their stead.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
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
// nothing when the player cancels; seen, if given, each file the player goes to before choosing (a click
// on it, the arrow keys), while the dialog is open.
using FileThen = std::function<void(const std::optional<QString>&)>;
using FileSeen = std::function<void(const QString&)>;
void openFileDialog(QWidget* parent, const QString& filter, FileThen then, FileSeen seen = {});

// Gives the keyboard back to window once a dialog over it has closed: not every window manager hands the
// activation back to the window beneath a closed dialog. A window not shown is left alone.
void takeBackActivation(QWidget* window);

// The dialogs as a window is given them: the real ones above, or a test's.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void messageBox(QWidget* parent, const MessageRequest& request, MessageThen then = {}) = 0;
    virtual void openFileDialog(QWidget* parent, const QString& filter, FileThen then, FileSeen seen) = 0;
};

// The real message boxes and open-file dialog, shared by every window that is given nothing else.
std::shared_ptr<Dialogs> systemDialogs();

} // namespace platform
