#include "tests/support/ScriptedDevice.h"

#include "serial/ResultCodes.h"
#include "serial/SystemErrorCodes.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace vaultix::serial::testing {
namespace {

TEST(Open, ASuccessfulOpenAllocatesTheRingsAndStartsTheThreads) {
    TScriptedDevice device;
    ASSERT_EQ(device.OpenStandard(10240, ooDtrOn), 0);
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(device.InRing.size(), InRingSize);
    EXPECT_EQ(device.OutRing.size(), 10240u);
    EXPECT_NE(device.CommEventReady, nullptr);
    const auto calls = device.Calls();
    EXPECT_EQ(calls.StartThreads, 1);
    EXPECT_EQ(calls.Escapes.front(), platform::escSetDtr);
    EXPECT_EQ(calls.Escapes[1], platform::escClrRts);
    EXPECT_EQ(device.OutputFree(), 10240u);
}

TEST(Open, AFailedOpenLeavesNothingAllocated) {
    struct TCase {
        std::int32_t OpenResult;
        int Errno;
        bool SetupOk;
        std::int32_t Expected;
    };
    const TCase cases[] = {
        {-8, ENOENT, true, -8},      // out of memory stays as it is
        {-1, ENOENT, true, ecBadId}, // the platform's error, in the port's words for an open
        {-1, EBUSY, true, ecAlreadyOpen},
        {-1, EACCES, true, LineErrorCode(EACCES)},
        {3, 0, false, LineErrorCode(EINVAL)}, // the queues could not be set up
    };
    for (const TCase& c : cases) {
        TScriptedDevice device;
        device.OpenResult = c.OpenResult;
        device.OpenErrno = c.Errno;
        device.SetupQueuesOk = c.SetupOk;
        EXPECT_EQ(device.OpenStandard(), c.Expected) << c.OpenResult << " " << c.Errno;
        EXPECT_FALSE(device.IsOpen());
        EXPECT_TRUE(device.InRing.empty());
        EXPECT_TRUE(device.OutRing.empty());
        EXPECT_EQ(device.CommEventReady, nullptr);
        EXPECT_EQ(device.Calls().StartThreads, 0);
        EXPECT_EQ(device.Calls().CloseHandle, c.OpenResult >= 0 ? 1 : 0);
    }
}

TEST(Close, ClosingPurgesBothSidesAndFreesTheRings) {
    TScriptedDevice device;
    ASSERT_EQ(device.OpenStandard(), 0);
    device.Feed("abc");
    device.FillInputRing();
    device.WriteByte(1);
    device.ClearCalls();
    device.CloseDevice();
    const auto calls = device.Calls();
    EXPECT_EQ(calls.Purges, (std::vector<bool>{false, true}));
    EXPECT_EQ(calls.CloseHandle, 1);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_TRUE(device.InRing.empty());
    EXPECT_EQ(device.InputCount(), 0u);
    EXPECT_EQ(device.OutputFree(), 0u);
    std::uint8_t byte = 0;
    EXPECT_EQ(device.ReadBlock(&byte, 1), ecBufferIsEmpty);
    EXPECT_EQ(device.WriteByte(1), ecOutputBufferTooSmall);

    device.CloseDevice(); // a second close does nothing more
    EXPECT_EQ(device.Calls().CloseHandle, 1);
}

} // namespace
} // namespace vaultix::serial::testing
