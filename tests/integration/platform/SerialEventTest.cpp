// The event wait: what wakes it, what releases it, and that it never spins.

#include "platform/SerialDevice.h"
#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <sys/ioctl.h>
#include <time.h>

using namespace vaultix::platform;
using vaultix::testsupport::TPtyPair;
using namespace std::chrono_literals;

namespace {

// Far more than any wake-up takes; only there so that a broken release fails instead of hanging.
constexpr auto Patience = 10s;

struct TWaitResult {
    int Result = -1;
    std::uint32_t Events = 0;
};

// A WaitEvent on another thread. Should the test fail while it still waits, it is released on
// the way out instead of hanging the test.
class TBackgroundWait {
public:
    explicit TBackgroundWait(TSerialDevice& Device)
        : Device(Device), Future(std::async(std::launch::async, [&Device] {
              TWaitResult r;
              r.Result = Device.WaitEvent(r.Events);
              return r;
          })) {}

    ~TBackgroundWait() {
        if (!Future.valid() || Future.wait_for(0s) == std::future_status::ready) return;
        Device.CancelWait();
        // Should even that not work, closing the device ends every call.
        if (Future.wait_for(1s) != std::future_status::ready) Device.Close();
    }

    bool ReturnsWithin(std::chrono::milliseconds Time) {
        return Future.wait_for(Time) == std::future_status::ready;
    }

    // The result once it returned; a failure and an invalid result if it does not.
    TWaitResult Result() {
        if (!ReturnsWithin(Patience)) {
            ADD_FAILURE() << "the wait did not return";
            return {};
        }
        return Future.get();
    }

private:
    TSerialDevice& Device;
    std::future<TWaitResult> Future;
};

TWaitResult WaitNow(TSerialDevice& Device) {
    return TBackgroundWait(Device).Result();
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

class SerialEvents : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(TSerialDevice::Open(Pty.SlavePath(), Device), 0);
        ASSERT_EQ(Device->SetEventMask(evDefaultMask), 0);
    }

    // Makes it likely that a background wait is inside poll rather than before it; the tests
    // hold either way.
    static void LetItBlock() { std::this_thread::sleep_for(20ms); }

    TPtyPair Pty;
    std::unique_ptr<TSerialDevice> Device;
};

} // namespace

TEST_F(SerialEvents, ArrivingBytesWakeTheWait) {
    TBackgroundWait wait(*Device);
    LetItBlock();
    ASSERT_TRUE(Pty.WriteAll("x"));
    const auto r = wait.Result();
    EXPECT_EQ(r.Result, 0);
    EXPECT_EQ(r.Events, evRxChar);
}

TEST_F(SerialEvents, BytesThatArrivedBeforeTheWaitAreReportedAtOnce) {
    ASSERT_TRUE(Pty.WriteAll("early"));
    std::this_thread::sleep_for(10ms);
    const auto r = WaitNow(*Device);
    EXPECT_EQ(r.Result, 0);
    EXPECT_EQ(r.Events, evRxChar);
}

TEST_F(SerialEvents, UnreadBytesAreReportedOnceButNewOnesAgain) {
    ASSERT_TRUE(Pty.WriteAll("abc"));
    ASSERT_EQ(WaitNow(*Device).Events, evRxChar);

    // Nothing read: the next wait must not return for the same bytes...
    TBackgroundWait wait(*Device);
    EXPECT_FALSE(wait.ReturnsWithin(100ms));
    // ...but does for more.
    ASSERT_TRUE(Pty.WriteAll("d"));
    EXPECT_EQ(wait.Result().Events, evRxChar);

    // Once read, bytes that come next count as new even if fewer than before.
    std::uint8_t buffer[16];
    std::size_t got = 0;
    ASSERT_EQ(Device->Read(buffer, sizeof buffer, got), 0);
    ASSERT_EQ(got, 4u);
    ASSERT_TRUE(Pty.WriteAll("e"));
    EXPECT_EQ(WaitNow(*Device).Events, evRxChar);
}

TEST_F(SerialEvents, MaskChangeAndCancelReleaseAPendingWait) {
    for (int how = 0; how < 3; ++how) {
        TBackgroundWait wait(*Device);
        LetItBlock();
        if (how == 0) Device->SetEventMask(0);
        if (how == 1) Device->SetEventMask(evRxChar | evCts);
        if (how == 2) Device->CancelWait();
        const auto r = wait.Result();
        EXPECT_EQ(r.Result, 0) << how;
        EXPECT_EQ(r.Events, 0u) << how;
        Device->SetEventMask(evDefaultMask);
    }
}

TEST_F(SerialEvents, ReleaseBeforeTheWaitIsNotLost) {
    // A stop that clears the mask just before the waiter arrives must still let it go.
    Device->SetEventMask(0);
    auto r = WaitNow(*Device);
    EXPECT_EQ(r.Result, 0);
    EXPECT_EQ(r.Events, 0u);

    Device->SetEventMask(evDefaultMask);
    Device->CancelWait();
    r = WaitNow(*Device);
    EXPECT_EQ(r.Result, 0);
    EXPECT_EQ(r.Events, 0u);

    // A non-zero mask set while nobody waits releases nothing: the wait sees the data.
    Device->SetEventMask(evDefaultMask);
    ASSERT_TRUE(Pty.WriteAll("z"));
    EXPECT_EQ(WaitNow(*Device).Events, evRxChar);
}

TEST_F(SerialEvents, OnlyOneWaiterAtATime) {
    // Of two waits, whichever a loaded machine starts second is turned away; the first waits on.
    TBackgroundWait one(*Device), other(*Device);
    for (int i = 0; i < 5000 && !one.ReturnsWithin(1ms) && !other.ReturnsWithin(1ms); ++i)
        continue;
    TBackgroundWait& second = one.ReturnsWithin(0ms) ? one : other;
    TBackgroundWait& first = &second == &one ? other : one;
    EXPECT_EQ(second.Result().Result, EBUSY);
    EXPECT_FALSE(first.ReturnsWithin(20ms)) << "the first wait must go on";
    Device->CancelWait();
    EXPECT_EQ(first.Result().Result, 0);
}

TEST_F(SerialEvents, CloseEndsAPendingWait) {
    TBackgroundWait wait(*Device);
    LetItBlock();
    EXPECT_EQ(Device->Close(), 0);
    EXPECT_EQ(wait.Result().Result, EBADF);
}

TEST_F(SerialEvents, HangUpIsReportedOnceAndThenDoesNotSpin) {
    {
        TBackgroundWait wait(*Device);
        LetItBlock();
        Pty.CloseMaster();
        EXPECT_EQ(wait.Result().Result, EIO);
    }
    EXPECT_TRUE(Device->IsHungUp());

    // A caller that ignores the failure and keeps waiting gets a few returns a second, not a
    // busy loop. Loose bounds: the machine is shared.
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    int returns = 0;
    while (std::chrono::steady_clock::now() - start < 1s && returns < 1000) {
        std::uint32_t events = 0;
        EXPECT_EQ(Device->WaitEvent(events), EIO);
        ++returns;
    }
    EXPECT_LT(returns, 50);
    EXPECT_LT(ProcessCpuSeconds() - cpuStart, 0.5);

    // Still releasable and closable.
    TBackgroundWait late(*Device);
    Device->CancelWait();
    EXPECT_TRUE(late.ReturnsWithin(Patience));
    EXPECT_EQ(Device->Close(), 0);
}

TEST_F(SerialEvents, ALineChangeReachesTheWaitThroughTheSampleOfTheDispatchPass) {
    // A pseudo-terminal has no lines: a scripted CTS stands in for a UART's.
    std::atomic<int> lines{0};
    TSerialDevice::SetModemLineSource([&lines](int, int& Bits) {
        Bits = lines.load();
        return true;
    });
    struct TRestore {
        ~TRestore() { TSerialDevice::SetModemLineSource({}); }
    } restore;
    ASSERT_EQ(Device->SetEventMask(evCts | evRxChar), 0);
    TBackgroundWait wait(*Device);
    LetItBlock();
    lines.store(TIOCM_CTS);
    // The wait itself does not sample: only the pass does, and then wakes it.
    EXPECT_FALSE(wait.ReturnsWithin(100ms)) << "the waiting thread woke to sample the lines";
    Device->SampleLines();
    const auto r = wait.Result();
    EXPECT_EQ(r.Result, 0);
    EXPECT_EQ(r.Events, evCts);
    std::uint32_t status = 0;
    ASSERT_EQ(Device->GetModemStatus(status), 0);
    EXPECT_EQ(status & msCtsOn, msCtsOn);
}
