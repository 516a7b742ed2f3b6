#include "support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

namespace testing {

MessageRecorder::MessageRecorder(platform::MessageAnswer answer)
    : m_asked(std::make_shared<std::vector<platform::MessageRequest>>()),
      m_answer(std::make_shared<platform::MessageAnswer>(answer)),
      m_action(std::make_shared<std::function<void()>>()) {
    platform::setMessageHook(
        [asked = m_asked, answer = m_answer, act = m_action](const platform::MessageRequest& r) {
            asked->push_back(r);
            if (*act) {
                (*act)();
            }
            return *answer;
        });
}

MessageRecorder::~MessageRecorder() {
    platform::setMessageHook({});
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
