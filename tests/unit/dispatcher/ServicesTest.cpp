// The event type the dispatcher's threads hand work over with, and the in-process notification
// services.

#include "platform/NotifyServices.h"
#include "platform/SyncEvent.h"

#include <gtest/gtest.h>

#include <thread>

namespace vaultix::platform {
namespace {

TEST(SyncEvent, AnAutoResetEventLetsOneWaitThrough) {
    TSyncEvent event(false);
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));
}

TEST(SyncEvent, AManualResetEventStaysSetUntilReset) {
    TSyncEvent event(true);
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(0));
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(1));
}

TEST(SyncEvent, WaitingForSeveralTakesTheFirstSignalledOnly) {
    TSyncEvent queued(false);
    TSyncEvent flush(false);
    EXPECT_EQ(TSyncEvent::WaitAny({&queued, &flush}, 0), -1);
    flush.Set();
    queued.Set();
    EXPECT_EQ(TSyncEvent::WaitAny({&queued, &flush}, 0), 0);
    EXPECT_EQ(TSyncEvent::WaitAny({&queued, &flush}, 0), 1);
    EXPECT_EQ(TSyncEvent::WaitAny({&queued, &flush}, 0), -1);
}

TEST(SyncEvent, ASetFromAnotherThreadWakesAWaiter) {
    TSyncEvent ready(false);
    TSyncEvent done(false);
    std::thread worker([&] {
        ASSERT_TRUE(ready.Wait(WaitInfinite));
        done.Set();
    });
    ready.Set();
    EXPECT_EQ(TSyncEvent::WaitAny({nullptr, &done}, WaitInfinite), 1);
    worker.join();
}

TEST(DirectNotifyServices, SendsRunAtOncePostsWaitForThePump) {
    TDirectNotifyServices services;
    std::vector<std::uint32_t> handled;
    services.SetWindowProc(7, [&](std::uint32_t Msg, std::uintptr_t, std::intptr_t) {
        handled.push_back(Msg);
        return std::intptr_t{0};
    });
    EXPECT_TRUE(services.SendMessageTimeout(7, 1, 0, 0, 3000));
    EXPECT_FALSE(services.SendMessageTimeout(8, 2, 0, 0, 3000)); // no such window
    EXPECT_TRUE(services.PostMessage(7, 3, 0, 0));
    EXPECT_FALSE(services.PostMessage(8, 4, 0, 0));
    EXPECT_EQ(handled, std::vector<std::uint32_t>{1});
    services.ProcessPendingMessages();
    EXPECT_EQ(handled, (std::vector<std::uint32_t>{1, 3}));
    EXPECT_EQ(services.Sent().size(), 2u);
    EXPECT_EQ(services.Posted().size(), 1u);
}

TEST(DirectNotifyServices, TheInstalledServicesAreTheProcesssUntilRemoved) {
    TDirectNotifyServices mine;
    TNotifyServices& builtIn = NotifyServices();
    SetNotifyServices(&mine);
    EXPECT_EQ(&NotifyServices(), &mine);
    EXPECT_TRUE(mine.IsMainThread());
    bool ran = false;
    NotifyServices().RunOnMainThread([&] { ran = true; });
    EXPECT_TRUE(ran);
    SetNotifyServices(nullptr);
    EXPECT_EQ(&NotifyServices(), &builtIn);
}

} // namespace
} // namespace vaultix::platform
