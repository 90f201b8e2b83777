#include "tests/support/ScriptedDevice.h"

#include "serial/DispatcherRegistry.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>

namespace vaultix::serial::testing {
namespace {

TOxBaseDispatcher* Fake(std::uintptr_t N) {
    return reinterpret_cast<TOxBaseDispatcher*>(N * 16);
}

TEST(Registry, ANewEntryTakesTheFirstEmptySlotAndTrailingEmptySlotsGo) {
    TDispatcherRegistry registry;
    EXPECT_EQ(registry.Add(Fake(1)), 0);
    EXPECT_EQ(registry.Add(Fake(2)), 1);
    EXPECT_EQ(registry.Add(Fake(3)), 2);
    EXPECT_EQ(registry.Add(Fake(4)), 3);

    registry.Remove(1);
    EXPECT_EQ(registry.Count(), 4u);
    EXPECT_EQ(registry.At(1), nullptr);
    registry.Remove(0);
    EXPECT_EQ(registry.Add(Fake(5)), 0);

    registry.Remove(3); // slot 1 is empty too, so both go
    registry.Remove(2);
    EXPECT_EQ(registry.Count(), 1u);
    EXPECT_EQ(registry.At(0), Fake(5));
    EXPECT_EQ(registry.Add(Fake(6)), 1);

    EXPECT_EQ(registry.At(-1), nullptr);
    EXPECT_EQ(registry.At(7), nullptr);
    registry.Remove(7); // out of range: nothing happens
    EXPECT_EQ(registry.Count(), 2u);
}

TEST(Registry, TheHolderMayEnterAgainAndOthersWait) {
    TDispatcherRegistry registry;
    std::unique_lock held(registry);
    EXPECT_EQ(registry.Add(Fake(1)), 0); // takes the lock again
    bool added = false;
    std::thread other([&] {
        std::lock_guard wait(registry);
        added = registry.At(1) != nullptr;
    });
    registry.Add(Fake(2));
    held.unlock();
    other.join();
    EXPECT_TRUE(added);
}

TEST(Registry, EveryDispatcherIsFoundByItsHandleUntilDestroyed) {
    auto first = std::make_unique<TScriptedDevice>();
    auto second = std::make_unique<TScriptedDevice>();
    const std::int32_t firstHandle = first->GetHandle();
    EXPECT_NE(firstHandle, second->GetHandle());
    LockRegistry();
    EXPECT_EQ(DispatcherRegistry().At(second->GetHandle()), second.get());
    UnlockRegistry();

    first.reset();
    EXPECT_EQ(DispatcherRegistry().At(firstHandle), nullptr);
    TScriptedDevice third;
    EXPECT_EQ(third.GetHandle(), firstHandle);
}

} // namespace
} // namespace vaultix::serial::testing
