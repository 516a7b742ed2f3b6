// Shared test helpers: services driven by hand, and answering the modal dialogs the game opens.
#pragma once

#include "platform/dialogs.h"
#include "platform/services.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace testing {

// A clock the test moves by hand.
class ManualClock : public platform::Clock {
public:
    std::chrono::milliseconds steady() const override { return *m_now; }
    QDate today() const override { return *m_today; }
    void advance(std::chrono::milliseconds by) { *m_now += by; }
    void setToday(QDate date) { *m_today = date; }
    // Shared state, so a test keeps control after handing the clock to a window.
    std::shared_ptr<std::chrono::milliseconds> m_now = std::make_shared<std::chrono::milliseconds>(1'000'000);
    std::shared_ptr<QDate> m_today = std::make_shared<QDate>(2004, 7, 15);
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

// Answers every message box through the seam and keeps what was asked.
class MessageRecorder {
public:
    explicit MessageRecorder(platform::MessageAnswer answer = platform::MessageAnswer::Ok);
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
    const std::vector<platform::MessageRequest>& asked() const { return *m_asked; }
    void setAnswer(platform::MessageAnswer answer) { *m_answer = answer; }
    // Runs while the box would be open, before it is answered.
    void onAsk(std::function<void()> action) { *m_action = std::move(action); }

private:
    std::shared_ptr<std::vector<platform::MessageRequest>> m_asked;
    std::shared_ptr<platform::MessageAnswer> m_answer;
    std::shared_ptr<std::function<void()>> m_action;
};

// Calls action on the next modal widget that opens (a real QMessageBox or QFileDialog), from within its loop.
void whenModalOpens(std::function<void(QWidget*)> action, int timeoutMs = 5000);

} // namespace testing
