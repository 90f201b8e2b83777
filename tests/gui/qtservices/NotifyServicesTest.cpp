// Window messages, posts and main-thread calls on Qt's event loop.

#include "platform/QtNotifyServices.h"
#include "serial/DispatchTypes.h"
#include "tests/gui/qtservices/QtTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace vaultix::platform;
using namespace vaultix::qttest;
using vaultix::serial::MsgDeferredClose;
using vaultix::serial::MsgTriggerAvail;

namespace {

struct TReceived {
    std::thread::id Thread;
    std::uint32_t Msg;
    std::uintptr_t WParam;
    std::intptr_t LParam;
};

class QtNotify : public ::testing::Test {
protected:
    // A window that records every message it gets (on the main thread only).
    TWindowHandle RecordingWindow(std::size_t StopAt = 0) {
        return Services.CreateNotifyWindow(
            [this, StopAt](std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam) {
                Received.push_back({std::this_thread::get_id(), Msg, WParam, LParam});
                if (Received.size() == StopAt) Loop.Stop();
                return std::intptr_t{0};
            });
    }

    // Sends from another thread while this thread does not handle events.
    bool SendFromThread(TWindowHandle Window, std::uint32_t TimeoutMs,
                        std::chrono::steady_clock::duration* Took = nullptr) {
        auto sent = std::async(std::launch::async, [&] {
            const auto start = std::chrono::steady_clock::now();
            const bool ok = Services.SendMessageTimeout(Window, MsgTriggerAvail, 7, 8, TimeoutMs);
            if (Took != nullptr) *Took = std::chrono::steady_clock::now() - start;
            return ok;
        });
        if (sent.wait_for(Deadline) != std::future_status::ready) {
            ADD_FAILURE() << "the send never returned";
            Services.ProcessPendingMessages();
        }
        return sent.get();
    }

    TQtNotifyServices Services;
    TLoop Loop;
    std::vector<TReceived> Received;
    const std::thread::id MainThread = std::this_thread::get_id();
};

} // namespace

TEST_F(QtNotify, MessagesFromThreadsReachTheMainThreadInTheOrderSent) {
    constexpr int senders = 3;
    constexpr int perSender = 40;
    const TWindowHandle window = RecordingWindow(senders * perSender);
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int s = 0; s < senders; ++s)
        threads.emplace_back([&, s] {
            // Posts and sends interleaved: both go through the one queue.
            for (int i = 0; i < perSender; ++i) {
                const bool ok =
                    i % 2 == 0
                        ? Services.PostMessage(window, MsgTriggerAvail + s, i, s)
                        : Services.SendMessageTimeout(window, MsgTriggerAvail + s, i, s, 3000);
                if (!ok) ++refused;
            }
        });
    EXPECT_TRUE(Loop.RunUntil([&] { return Received.size() == senders * perSender; }));
    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ(refused.load(), 0);
    for (int s = 0; s < senders; ++s) {
        std::vector<std::uintptr_t> sequence;
        for (const TReceived& r : Received) {
            if (r.LParam != s) continue;
            EXPECT_EQ(r.Thread, MainThread);
            EXPECT_EQ(r.Msg, MsgTriggerAvail + s);
            sequence.push_back(r.WParam);
        }
        ASSERT_EQ(sequence.size(), std::size_t{perSender}) << "sender " << s;
        for (int i = 0; i < perSender; ++i)
            EXPECT_EQ(sequence[i], std::uintptr_t(i)) << "sender " << s;
    }
}

TEST_F(QtNotify, OnTheMainThreadASendRunsAtOnceAndAPostWaitsForThePump) {
    const TWindowHandle window = RecordingWindow();
    EXPECT_TRUE(Services.PostMessage(window, MsgTriggerAvail, 1, 0));
    EXPECT_TRUE(Services.SendMessageTimeout(window, MsgTriggerAvail, 2, 0, 3000));
    ASSERT_EQ(Received.size(), 1u);
    EXPECT_EQ(Received[0].WParam, 2u);
    Services.ProcessPendingMessages();
    ASSERT_EQ(Received.size(), 2u);
    EXPECT_EQ(Received[1].WParam, 1u);

    // A window made without a handler takes everything and does nothing.
    const TWindowHandle silent = Services.CreateNotifyWindow({});
    EXPECT_TRUE(Services.SendMessageTimeout(silent, MsgTriggerAvail, 0, 0, 3000));
    EXPECT_TRUE(Services.PostMessage(silent, MsgTriggerAvail, 0, 0));
    EXPECT_FALSE(Services.SendMessageTimeout(0, MsgTriggerAvail, 0, 0, 3000));
    EXPECT_FALSE(Services.PostMessage(0, MsgTriggerAvail, 0, 0));
}

TEST_F(QtNotify, ASendTimesOutWhileTheMainThreadIsBusyAndItsMessageStillArrivesLater) {
    const TWindowHandle window = RecordingWindow();
    std::chrono::steady_clock::duration took{};
    EXPECT_FALSE(SendFromThread(window, 50, &took));
    EXPECT_GE(took, std::chrono::milliseconds(50));
    EXPECT_TRUE(Received.empty());

    // Its waiter is gone; the handler runs all the same, on this thread, with its parameters.
    Services.ProcessPendingMessages();
    ASSERT_EQ(Received.size(), 1u);
    EXPECT_EQ(Received[0].Thread, MainThread);
    EXPECT_EQ(Received[0].WParam, 7u);
    EXPECT_EQ(Received[0].LParam, 8);
}

TEST_F(QtNotify, ADestroyedWindowReceivesNothing) {
    const TWindowHandle window = RecordingWindow();
    EXPECT_FALSE(SendFromThread(window, 20)); // queued, timed out
    EXPECT_TRUE(Services.PostMessage(window, MsgTriggerAvail, 1, 0));
    Services.DestroyNotifyWindow(window);
    Services.ProcessPendingMessages();
    EXPECT_TRUE(Received.empty());

    EXPECT_FALSE(Services.PostMessage(window, MsgTriggerAvail, 2, 0));
    EXPECT_FALSE(Services.SendMessageTimeout(window, MsgTriggerAvail, 3, 0, 3000));
    EXPECT_FALSE(SendFromThread(window, 3000));
    Services.DestroyNotifyWindow(window); // a second time is harmless

    // Handles are not handed out again, so nothing late can reach a newer window.
    const TWindowHandle next = RecordingWindow();
    EXPECT_NE(next, window);
    Services.ProcessPendingMessages();
    EXPECT_TRUE(Received.empty());
}

TEST_F(QtNotify, AWindowDestroyedByItsOwnHandlerGetsNoMoreOfItsQueue) {
    int calls = 0;
    TWindowHandle window = 0;
    window = Services.CreateNotifyWindow([&](std::uint32_t, std::uintptr_t, std::intptr_t) {
        ++calls;
        Services.DestroyNotifyWindow(window);
        return std::intptr_t{0};
    });
    EXPECT_TRUE(Services.PostMessage(window, MsgTriggerAvail, 1, 0));
    EXPECT_TRUE(Services.PostMessage(window, MsgTriggerAvail, 2, 0));
    Services.ProcessPendingMessages();
    Services.ProcessPendingMessages();
    EXPECT_EQ(calls, 1);
}

TEST_F(QtNotify, ADeferredCloseThatPostsItselfAgainIsServedOncePerPump) {
    int calls = 0;
    TWindowHandle window = 0;
    window = Services.CreateNotifyWindow([&](std::uint32_t Msg, std::uintptr_t, std::intptr_t) {
        if (Msg != MsgDeferredClose) return std::intptr_t{0};
        if (++calls < 5)
            EXPECT_TRUE(Services.PostMessage(window, MsgDeferredClose, 0, 0));
        else
            Loop.Stop();
        return std::intptr_t{0};
    });
    ASSERT_TRUE(Services.PostMessage(window, MsgDeferredClose, 0, 0));
    Services.ProcessPendingMessages();
    EXPECT_EQ(calls, 1);
    Services.ProcessPendingMessages();
    EXPECT_EQ(calls, 2);
    // The running loop follows the chain to its end.
    EXPECT_TRUE(Loop.RunUntil([&] { return calls == 5; }));
}

TEST_F(QtNotify, RunOnMainThreadRunsThereAndTheCallerSeesItsEffects) {
    std::thread::id ranOn;
    int value = 0;
    auto caller = std::async(std::launch::async, [&] {
        Services.RunOnMainThread([&] {
            ranOn = std::this_thread::get_id();
            value = 42;
            Loop.Stop();
        });
        return value;
    });
    EXPECT_TRUE(Loop.RunUntil([&] { return ranOn != std::thread::id(); }));
    EXPECT_EQ(caller.get(), 42);
    EXPECT_EQ(ranOn, MainThread);

    // An exception thrown on the main thread reaches the caller.
    bool threw = false;
    auto thrower = std::async(std::launch::async, [&] {
        try {
            Services.RunOnMainThread([&] {
                threw = true;
                Loop.Stop();
                throw std::runtime_error("handler failed");
            });
        } catch (const std::runtime_error& error) {
            return std::string(error.what());
        }
        return std::string();
    });
    EXPECT_TRUE(Loop.RunUntil([&] { return threw; }));
    EXPECT_EQ(thrower.get(), "handler failed");

    // On the main thread itself the call runs at once.
    bool direct = false;
    Services.RunOnMainThread([&] { direct = true; });
    EXPECT_TRUE(direct);
}

TEST_F(QtNotify, APumpHoldsBackAQuitAndTheLoopStillQuits) {
    QWidget window;
    window.show();
    bool pumped = false;
    bool openAfterPump = false;
    QTimer::singleShot(0, [&] {
        QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
        Services.ProcessPendingMessages();
        // Acting on the quit here would have closed the window under the code that pumped.
        openAfterPump = window.isVisible();
        pumped = true;
    });
    bool expired = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        expired = true;
        QCoreApplication::exit(1);
    });
    deadline.start(Deadline);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(expired);
    EXPECT_TRUE(pumped);
    EXPECT_TRUE(openAfterPump);
}

TEST_F(QtNotify, InstalledServicesServeTheProcessUntilDestroyed) {
    TNotifyServices& builtInServices = NotifyServices();
    TNotifyWindowFactory& builtInFactory = NotifyWindowFactory();
    {
        TQtNotifyServices installed;
        installed.Install();
        EXPECT_EQ(&NotifyServices(), &installed);
        EXPECT_EQ(&NotifyWindowFactory(), &installed);
        EXPECT_TRUE(NotifyServices().IsMainThread());
        bool onMain = true;
        std::thread([&] { onMain = NotifyServices().IsMainThread(); }).join();
        EXPECT_FALSE(onMain);

        int calls = 0;
        const TWindowHandle window = NotifyWindowFactory().CreateNotifyWindow(
            [&](std::uint32_t, std::uintptr_t, std::intptr_t) {
                ++calls;
                return std::intptr_t{0};
            });
        EXPECT_TRUE(NotifyServices().PostMessage(window, MsgTriggerAvail, 0, 0));
        NotifyServices().ProcessPendingMessages();
        EXPECT_EQ(calls, 1);
    }
    EXPECT_EQ(&NotifyServices(), &builtInServices);
    EXPECT_EQ(&NotifyWindowFactory(), &builtInFactory);
}
