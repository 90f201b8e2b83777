// The idle driver: when the idle handler runs, and that it never spins.

#include "platform/IdleDriver.h"
#include "platform/ActivitySignal.h"
#include "platform/QtNotifyServices.h"
#include "tests/gui/qtservices/QtTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace vaultix::platform;
using namespace vaultix::qttest;

namespace {

class Idle : public ::testing::Test {
protected:
    Idle() {
        Driver.SetErrorHandler([](std::exception_ptr) { ADD_FAILURE() << "idle handler threw"; });
    }

    TIdleDriver Driver;
    TLoop Loop;
};

} // namespace

TEST_F(Idle, AHandlerThatIsDoneRunsAgainOnlyAfterSomethingHappens) {
    int calls = 0;
    Driver.SetIdleHandler([&](bool& Done) {
        ++calls;
        Done = true;
    });
    Loop.RunFor(100ms);
    // The first call, perhaps one after the timer that ended the wait; no heartbeat.
    EXPECT_GE(calls, 1);
    EXPECT_LE(calls, 2);

    // Trigger runs inside a first call, so nothing older than it can count; the handler must
    // then be called once more.
    auto runsAgainAfter = [&](std::function<void()> Trigger,
                              std::chrono::milliseconds Limit = Deadline) {
        int steps = 0;
        Driver.SetIdleHandler([&](bool& Done) {
            Done = true;
            if (++steps == 1)
                Trigger();
            else
                Loop.Stop();
        });
        const bool ranAgain = Loop.RunUntil([&] { return steps >= 2; }, Limit);
        Driver.SetIdleHandler({}); // it refers to this frame
        return ranAgain;
    };
    std::thread signaller;
    EXPECT_TRUE(runsAgainAfter([&] { signaller = std::thread([] { SignalActivity(); }); }))
        << "a wake from another thread";
    signaller.join();
    EXPECT_TRUE(runsAgainAfter([&] { Driver.Wake(); })) << "a wake on the main thread";
    QWidget window;
    EXPECT_TRUE(runsAgainAfter([&] {
        QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, {}));
    })) << "a key press";
    EXPECT_FALSE(runsAgainAfter([] {}, 200ms)) << "nothing happened";
    // A repaint mostly shows what the handler itself just changed: it must not wake it.
    window.show();
    Loop.RunFor(20ms);
    EXPECT_FALSE(runsAgainAfter([&] { window.repaint(); }, 200ms)) << "a repaint";

    calls = 0;
    Driver.SetIdleHandler([&](bool& Done) {
        ++calls;
        Done = false;
    });
    Driver.SetIdleHandler({});
    Driver.Wake();
    Loop.RunFor(50ms);
    EXPECT_EQ(calls, 0) << "a removed handler";
}

TEST_F(Idle, AHandlerThatIsNeverDoneKeepsRunningOnTheHeartbeatWithoutSpinning) {
    int calls = 0;
    Driver.SetIdleHandler([&](bool& Done) {
        ++calls;
        Done = false;
    });
    Loop.RunFor(1100ms);
    // About 4 heartbeats; a spinning loop makes hundreds of thousands of calls.
    EXPECT_GE(calls, 3);
    EXPECT_LT(calls, 20);
}

TEST_F(Idle, TheHandlerCanReplaceItselfAndFinishesItsStep) {
    std::vector<std::string> log;
    const std::string name = "the first handler, with a name long enough to live on the heap";
    Driver.SetIdleHandler([&, name](bool& Done) {
        Driver.SetIdleHandler([&](bool& Done2) {
            log.push_back("second");
            Done2 = true;
            Loop.Stop();
        });
        log.push_back(name); // its captures are still alive after the replacement
        Done = false;
    });
    ASSERT_TRUE(Loop.RunUntil([&] { return log.size() >= 2; }));
    EXPECT_EQ(log, (std::vector<std::string>{name, "second"}));
}

TEST_F(Idle, SuspensionsNestAndPumpsAndPausesDoNotCallTheHandler) {
    int calls = 0;
    Driver.SetIdleHandler([&](bool& Done) {
        ++calls;
        Done = false;
        Loop.Stop();
    });
    Driver.Suspend();
    Driver.Suspend();
    Loop.RunFor(60ms);
    Driver.Resume();
    Loop.RunFor(60ms);
    EXPECT_EQ(calls, 0);
    Driver.Resume();
    EXPECT_TRUE(Loop.RunUntil([&] { return calls > 0; }));

    TQtNotifyServices services;
    int depth = 0;
    int nested = 0;
    int steps = 0;
    bool timerRan = false;
    Driver.SetIdleHandler([&](bool& Done) {
        Done = false;
        if (depth > 0) ++nested;
        ++depth;
        if (++steps == 1) {
            services.ProcessPendingMessages();
            QTimer::singleShot(10ms, [&] { timerRan = true; });
            Driver.Pause(80ms);
            EXPECT_TRUE(timerRan) << "the pause handles messages";
        }
        --depth;
        if (steps >= 3) Loop.Stop();
    });
    EXPECT_TRUE(Loop.RunUntil([&] { return steps >= 3; }));
    EXPECT_EQ(nested, 0);
}

TEST_F(Idle, AModalMessageBoxKeepsTheHandlerRunningUnlessSuspended) {
    bool boxOpen = false;
    int callsWhileOpen = 0;
    Driver.SetIdleHandler([&](bool& Done) {
        Done = false;
        if (!boxOpen || ++callsWhileOpen != 3) return;
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Ok)->click();
    });
    // Shows the box from the event loop, as a button's handler would.
    auto showBox = [&](bool Suspended) {
        bool closed = false;
        QTimer::singleShot(0, [&] {
            std::optional<TIdleSuspension> suspension;
            if (Suspended) {
                suspension.emplace(Driver);
                // Several heartbeats' worth of an open box.
                QTimer::singleShot(100ms, [] {
                    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                        box->button(QMessageBox::Ok)->click();
                });
            }
            boxOpen = true;
            QMessageBox::information(nullptr, QStringLiteral("Vaultix"), QStringLiteral("Saved."));
            boxOpen = false;
            closed = true;
            Loop.Stop();
        });
        return Loop.RunUntil([&] { return closed; });
    };

    TModalGuard guard;
    EXPECT_TRUE(showBox(false));
    EXPECT_EQ(callsWhileOpen, 3) << "the handler closes the box on its third call";
    callsWhileOpen = 0;
    EXPECT_TRUE(showBox(true));
    EXPECT_EQ(callsWhileOpen, 0);
}

TEST_F(Idle, AnExceptionEndsTheStepAndTheHandlerStays) {
    std::vector<std::string> errors;
    Driver.SetErrorHandler([&](std::exception_ptr Error) {
        try {
            std::rethrow_exception(Error);
        } catch (const std::exception& error) {
            errors.push_back(error.what());
        }
    });
    int calls = 0;
    Driver.SetIdleHandler([&](bool& Done) {
        Done = false; // kept although the step throws
        if (++calls == 1) throw std::runtime_error("line broke");
        Loop.Stop();
    });
    EXPECT_TRUE(Loop.RunUntil([&] { return calls >= 2; }));
    EXPECT_EQ(errors, std::vector<std::string>{"line broke"});
}
