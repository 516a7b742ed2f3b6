// Shared test helpers: services driven by hand, and answering the modal dialogs the game opens.
#pragma once

#include "platform/dialogs.h"
#include "platform/picture.h"
#include "platform/services.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace testing {

// A picture held as if loaded from a file of the image's pixels: its extent at 96 dpi.
platform::Picture rasterPictureFromImage(const QImage& image);

// A clock the test moves by hand, and with it everything timed on it: its alarms wake only inside advance().
// Copies share one time, so a test keeps control after handing a copy to a window.
class ManualClock : public platform::Clock {
public:
    ManualClock();
    std::chrono::milliseconds steady() const override;
    QDate today() const override;
    std::unique_ptr<platform::Alarm> makeAlarm() const override;
    // Moves the time on by `by`; every alarm due on the way wakes at its own moment, earliest first, and an
    // alarm set by a wake-up wakes too if it falls due before the end.
    void advance(std::chrono::milliseconds by);
    // Moves the time on to the earliest alarm set and wakes it alone; false when none is set.
    bool wakeNext();
    void setToday(QDate date);
    // Whether an alarm on this clock is set.
    bool anyAlarmSet() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

// Plays the given values in turn, then repeats the last.
class ScriptedSource : public platform::UniformSource {
public:
    explicit ScriptedSource(std::vector<double> values) : m_values(std::move(values)) {}
    double next() override {
        const double v = m_values.empty() ? 0.0 : m_values[std::min(m_index, m_values.size() - 1)];
        ++m_index;
        return v;
    }

private:
    std::vector<double> m_values;
    std::size_t m_index = 0;
};

// Records what would have been played.
class RecordingSound : public platform::SoundPlayer {
public:
    void play(const QString& path) override { m_played->append(path); }
    std::shared_ptr<QStringList> m_played = std::make_shared<QStringList>();
};

// The dialogs a test hands to the windows it builds: message boxes and the file dialog answered at once by
// the functions set here, the real ones where none is set.
class TestDialogs : public platform::Dialogs {
public:
    void messageBox(QWidget* parent, const platform::MessageRequest& request,
                    platform::MessageThen then) override;
    void openFileDialog(QWidget* parent, const QString& filter, platform::FileThen then,
                        platform::FileSeen seen) override;

    std::function<platform::MessageAnswer(const platform::MessageRequest&)> answerMessage;
    std::function<std::optional<QString>(const QString& filter)> answerFile;
};

// Answers every message box of the given dialogs while it lives, and keeps what was asked.
class MessageRecorder {
public:
    explicit MessageRecorder(std::shared_ptr<TestDialogs> dialogs,
                             platform::MessageAnswer answer = platform::MessageAnswer::Ok);
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
    const std::vector<platform::MessageRequest>& asked() const { return *m_asked; }
    void setAnswer(platform::MessageAnswer answer) { *m_answer = answer; }
    // Runs while the box would be open, before it is answered.
    void onAsk(std::function<void()> action) { *m_action = std::move(action); }

private:
    std::shared_ptr<TestDialogs> m_dialogs;
    std::shared_ptr<std::vector<platform::MessageRequest>> m_asked;
    std::shared_ptr<platform::MessageAnswer> m_answer;
    std::shared_ptr<std::function<void()>> m_action;
};

// Calls action on the next modal widget that opens (a real QMessageBox or QFileDialog), from within its loop.
void whenModalOpens(std::function<void(QWidget*)> action, int timeoutMs = 5000);

} // namespace testing
