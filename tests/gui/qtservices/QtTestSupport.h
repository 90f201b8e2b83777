#pragma once
// Event-loop helpers for the Qt glue's tests. Every wait has a deadline, so that a fault shows
// as a failure instead of a hung test.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace vaultix::qttest {

using namespace std::chrono_literals;

inline constexpr std::chrono::milliseconds Deadline = 10s;

// Runs a waiting event loop until Done() holds, checked whenever the loop quits; Stop is what
// code under test calls to have it checked. False when the deadline passed first, also if Done()
// holds by then: what the deadline's own timer set off does not count.
class TLoop {
public:
    bool RunUntil(const std::function<bool()>& Done, std::chrono::milliseconds Limit = Deadline) {
        bool expired = false;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &Loop, [&] {
            expired = true;
            Loop.quit();
        });
        deadline.start(Limit);
        while (!expired && !Done())
            Loop.exec();
        return !expired;
    }
    // Runs the loop for Duration, whatever happens.
    void RunFor(std::chrono::milliseconds Duration) {
        QElapsedTimer clock;
        clock.start();
        for (auto left = Duration; left > 0ms;
             left = Duration - std::chrono::milliseconds(clock.elapsed())) {
            QTimer::singleShot(left, &Loop, &QEventLoop::quit);
            Loop.exec();
        }
    }
    void Stop() { Loop.quit(); }

private:
    QEventLoop Loop;
};

// Polls for the modal dialog the code under test opens and hands it to Answer. When none shows
// before the deadline, or Answer leaves it open, whatever modal dialog is open is rejected, so
// the test fails instead of hanging. Returns at once; the answer comes from the event loop.
inline void AnswerModal(std::function<void(QWidget*)> Answer,
                        std::chrono::milliseconds Limit = Deadline) {
    auto* poll = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(poll, &QTimer::timeout, [poll, clock, Answer, Limit] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool late = std::chrono::milliseconds(clock->elapsed()) > Limit;
        if (modal == nullptr && !late) return;
        poll->stop();
        poll->deleteLater();
        delete clock;
        if (late) ADD_FAILURE() << "no modal dialog was answered in time";
        if (modal != nullptr && !late) Answer(modal);
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            if (late || open == modal) open->reject();
    });
    poll->start(5);
}

// Rejects whatever modal dialog is still open at the deadline, and fails the test, unless the
// guard is gone by then.
class TModalGuard {
public:
    explicit TModalGuard(std::chrono::milliseconds Limit = Deadline) {
        Timer.setSingleShot(true);
        QObject::connect(&Timer, &QTimer::timeout, [] {
            if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "a modal dialog was left open";
                open->reject();
            }
        });
        Timer.start(Limit);
    }

private:
    QTimer Timer;
};

} // namespace vaultix::qttest
