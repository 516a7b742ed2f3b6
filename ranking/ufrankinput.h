// UFRankInput: the name entry for a finished game that earned a place, shown beside the main window.
#pragma once

#include "module1.h"
#include "platform/dialogs.h"

#include <QDate>
#include <QWidget>
#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ranking {

class UFRankInput : public QWidget {
    Q_OBJECT
public:
    // What the dialog enters, fixed when it opens: the main window may change, finish another game, clear the
    // ranking or close before OK is pressed.
    struct Entry {
        int size = 0;         // a listed grid size
        QString time;         // "mm:ss"
        int place = kNoPlace; // 1..5, the place the time earned when the game was finished; kNoPlace when
                              // the ranking could not be read then, and the place is found at OK
    };
    using Today = std::function<QDate()>;

    // shown: the ranking as read when the game was finished; the dialog shows it with the entry inserted.
    // A top-level window that deletes itself when closed, so it outlives the main window if need be; the
    // ranking is the application's and outlives every window.
    // It asks the player through dialogs (shared: it may outlive whoever made it).
    UFRankInput(
        Entry entry, const Tables& shown, Module1& ranking, Today today = [] { return QDate::currentDate(); },
        std::shared_ptr<platform::Dialogs> dialogs = platform::systemDialogs());

    const Entry& entry() const { return m_entry; }
    // Shows the dialog centred over owner (or the screen when there is none), without blocking owner.
    void showOver(const QWidget* owner);

    void Text1_KeyPress(int index, int keyAscii);
    void Command1_Click();

private:
    void createControls();
    void showRows(const Tables& shown);
    void report(const QString& text, const QString& title, platform::MessageIcon icon,
                platform::MessageThen then = {});
    // The row of the new entry: its place, or the first row while the place is not known.
    int shownPlace() const { return m_entry.place == kNoPlace ? 1 : m_entry.place; }
    QLineEdit* newNameBox() const { return Text1[static_cast<std::size_t>(shownPlace() - 1)]; }

    Entry m_entry;
    Module1& m_ranking;
    std::shared_ptr<platform::Dialogs> m_dialogs;
    Today m_today;
    bool m_done = false;

    QLabel* Label1 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* LCombo1 = nullptr;
    std::array<QLabel*, kPlaces> Label2{};
    std::array<QLabel*, kPlaces> Label4{};
    std::array<QLineEdit*, kPlaces> Text1{};
    QPushButton* Command1 = nullptr;
};

} // namespace ranking
