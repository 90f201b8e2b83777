// The built-in notification window factory over the direct services.

#include "platform/NotifyWindows.h"

#include <gtest/gtest.h>

using namespace vaultix::platform;

TEST(NotifyWindows, TheBuiltInFactoryRegistersWindowsWithTheDirectServices) {
    TDirectNotifyServices services;
    SetNotifyServices(&services);
    services.SetWindowProc(1, {}); // a hand-picked handle of a test's own

    int calls = 0;
    auto proc = [&](std::uint32_t, std::uintptr_t, std::intptr_t) {
        ++calls;
        return std::intptr_t{0};
    };
    const TWindowHandle first = NotifyWindowFactory().CreateNotifyWindow(proc);
    const TWindowHandle second = NotifyWindowFactory().CreateNotifyWindow(proc);
    EXPECT_NE(first, 0u);
    EXPECT_GT(second, first);
    EXPECT_NE(first, 1u);

    EXPECT_TRUE(services.SendMessageTimeout(first, 0x7E01, 0, 0, 3000));
    EXPECT_EQ(calls, 1);
    NotifyWindowFactory().DestroyNotifyWindow(first);
    EXPECT_FALSE(services.SendMessageTimeout(first, 0x7E01, 0, 0, 3000));
    EXPECT_TRUE(services.SendMessageTimeout(second, 0x7E01, 0, 0, 3000));
    EXPECT_TRUE(services.SendMessageTimeout(1, 0x7E01, 0, 0, 3000));
    EXPECT_EQ(calls, 2);
    NotifyWindowFactory().DestroyNotifyWindow(0); // ignored
    SetNotifyServices(nullptr);
}
