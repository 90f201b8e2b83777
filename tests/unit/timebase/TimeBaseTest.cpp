#include "platform/TimeBase.h"

#include <gtest/gtest.h>

using namespace vaultix::platform;

TEST(TimeBase, TicksFollowMilliseconds) {
    const std::uint32_t ms = NowMs();
    const std::uint32_t t = Ticks();
    EXPECT_LE(ms / 55, t);
    EXPECT_LE(t - ms / 55, 2u);
}

TEST(TickTimer, ExpiresOnlyAfterItsDuration) {
    TickTimer timer;
    SetTickTimerAt(timer, 36, 1000);
    EXPECT_FALSE(TickTimerExpiredAt(timer, 1000));
    EXPECT_FALSE(TickTimerExpiredAt(timer, 1036));
    EXPECT_TRUE(TickTimerExpiredAt(timer, 1037));
}

TEST(TickTimer, SetJustBeforeTheWrapExpiresAfterIt) {
    const std::uint32_t last = TickPeriod - 1; // highest tick before the count wraps to 0
    TickTimer timer;
    SetTickTimerAt(timer, 36, last - 5);
    EXPECT_FALSE(TickTimerExpiredAt(timer, last));
    EXPECT_FALSE(TickTimerExpiredAt(timer, 0));
    EXPECT_FALSE(TickTimerExpiredAt(timer, 30));
    EXPECT_TRUE(TickTimerExpiredAt(timer, 31));
    EXPECT_TRUE(TickTimerExpiredAt(timer, 1000));
}

TEST(TickTimer, DurationIsCappedAtHalfThePeriod) {
    TickTimer timer;
    SetTickTimerAt(timer, 0xFFFFFFFFu, 0);
    EXPECT_FALSE(TickTimerExpiredAt(timer, MaxTimerTicks));
    EXPECT_TRUE(TickTimerExpiredAt(timer, MaxTimerTicks + 1));
}
