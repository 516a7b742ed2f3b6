#include "support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace testing {

platform::Picture rasterPictureFromImage(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    return {image, platform::extentOfPixels(image.size())};
}

struct ManualAlarm;

struct ManualClock::State {
    std::chrono::milliseconds now{1'000'000};
    QDate today{2004, 7, 15};
    std::vector<ManualAlarm*> alarms;
};

struct ManualAlarm : platform::Alarm {
    explicit ManualAlarm(std::shared_ptr<ManualClock::State> state) : state(std::move(state)) {
        this->state->alarms.push_back(this);
    }
    ~ManualAlarm() override { std::erase(state->alarms, this); }
    void wakeAt(std::chrono::milliseconds at, std::function<void()> then) override {
        due = at;
        wake = std::move(then);
    }
    void cancel() override { wake = {}; }

    std::shared_ptr<ManualClock::State> state;
    std::chrono::milliseconds due{0};
    std::function<void()> wake;
};

ManualClock::ManualClock() : m_state(std::make_shared<State>()) {}

std::chrono::milliseconds ManualClock::steady() const {
    return m_state->now;
}

QDate ManualClock::today() const {
    return m_state->today;
}

void ManualClock::setToday(QDate date) {
    m_state->today = date;
}

std::unique_ptr<platform::Alarm> ManualClock::makeAlarm() const {
    return std::make_unique<ManualAlarm>(m_state);
}

void ManualClock::advance(std::chrono::milliseconds by) {
    const std::chrono::milliseconds end = m_state->now + by;
    for (;;) {
        ManualAlarm* next = nullptr;
        for (ManualAlarm* alarm : m_state->alarms) {
            if (alarm->wake && alarm->due <= end && (!next || alarm->due < next->due)) {
                next = alarm;
            }
        }
        if (!next) {
            break;
        }
        m_state->now = std::max(m_state->now, next->due);
        auto wake = std::move(next->wake);
        next->wake = {};
        wake(); // may delete the alarm, or set it again
    }
    m_state->now = end;
}

bool ManualClock::wakeNext() {
    ManualAlarm* next = nullptr;
    for (ManualAlarm* alarm : m_state->alarms) {
        if (alarm->wake && (!next || alarm->due < next->due)) {
            next = alarm;
        }
    }
    if (!next) {
        return false;
    }
    advance(std::max(std::chrono::milliseconds(0), next->due - m_state->now));
    return true;
}

bool ManualClock::anyAlarmSet() const {
    return std::ranges::any_of(m_state->alarms, [](const ManualAlarm* a) { return bool(a->wake); });
}

void TestDialogs::messageBox(QWidget* parent, const platform::MessageRequest& request,
                             platform::MessageThen then) {
    if (!answerMessage) {
        platform::messageBox(parent, request, std::move(then));
        return;
    }
    const platform::MessageAnswer answer = answerMessage(request);
    if (then) {
        then(answer);
    }
}

void TestDialogs::openFileDialog(QWidget* parent, const QString& filter, platform::FileThen then,
                                 platform::FileSeen seen) {
    if (!answerFile) {
        platform::openFileDialog(parent, filter, std::move(then), std::move(seen));
        return;
    }
    then(answerFile(filter));
}

MessageRecorder::MessageRecorder(std::shared_ptr<TestDialogs> dialogs, platform::MessageAnswer answer)
    : m_dialogs(std::move(dialogs)), m_asked(std::make_shared<std::vector<platform::MessageRequest>>()),
      m_answer(std::make_shared<platform::MessageAnswer>(answer)),
      m_action(std::make_shared<std::function<void()>>()) {
    m_dialogs->answerMessage = [asked = m_asked, answer = m_answer,
                                act = m_action](const platform::MessageRequest& r) {
        asked->push_back(r);
        if (*act) {
            (*act)();
        }
        return *answer;
    };
}

MessageRecorder::~MessageRecorder() {
    m_dialogs->answerMessage = {};
}

void whenModalOpens(std::function<void(QWidget*)> action, int timeoutMs) {
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [action, timer, timeoutMs, poll] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            action(modal);
            *poll = nullptr;
            return;
        }
        if (timer->elapsed() < timeoutMs) {
            QTimer::singleShot(10, *poll);
        } else {
            *poll = nullptr;
        }
    };
    QTimer::singleShot(0, *poll);
}

} // namespace testing
