// "All sent" on drivers that report the transmitter's state in different ways, or never: a
// scripted driver on a clock of the test's own, so that a bound can be checked exactly.

#include "platform/OutputDrain.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

using namespace vaultix::platform;
using namespace std::chrono;

namespace {

// 4800 baud, 12 bits a character (8 data bits, even parity, two stop bits): 2.5 ms a byte.
constexpr std::uint32_t Baud = 4800;
constexpr unsigned Bits = 12;

class TScriptedDriver final : public TDrainProbe {
public:
    // Bytes the driver holds; each sleep sends some of them.
    std::size_t Queued = 0;
    // TIOCSERGETLSR: 0 with the state, or the error a driver without it gives.
    int LineStatusError = 0;
    // Sleeps after the queue ran empty before the bit is set; < 0: never.
    int EmptyAfterSleeps = -1;
    // tcdrain's answer, and how long it takes.
    int DrainResult = 0;
    milliseconds DrainTakes{0};
    bool CancelSleep = false;

    int StatusQueries = 0;
    std::vector<int> DrainLimits;
    steady_clock::time_point Clock{};

    int QueuedBytes(std::size_t& Bytes) override {
        Bytes = Queued;
        return 0;
    }
    int TransmitterEmpty(bool& Empty) override {
        ++StatusQueries;
        if (LineStatusError) return LineStatusError;
        Empty = Queued == 0 && EmptyAfterSleeps >= 0 && SleepsSinceEmpty >= EmptyAfterSleeps;
        return 0;
    }
    int DrainDriver(int TimeoutMs) override {
        DrainLimits.push_back(TimeoutMs);
        Clock += std::min(DrainTakes, milliseconds(TimeoutMs));
        if (DrainTakes > milliseconds(TimeoutMs)) return ETIMEDOUT;
        Queued = 0;
        return DrainResult;
    }
    bool Sleep(int Ms) override {
        Clock += milliseconds(Ms);
        const std::size_t sent = static_cast<std::size_t>(Ms) * Baud / Bits / 1000;
        Queued -= std::min(Queued, std::max<std::size_t>(sent, 1));
        if (Queued == 0) ++SleepsSinceEmpty;
        return !CancelSleep;
    }
    steady_clock::time_point Now() override { return Clock; }

private:
    int SleepsSinceEmpty = 0;
};

milliseconds Took(const TScriptedDriver& Driver) {
    return duration_cast<milliseconds>(Driver.Clock - steady_clock::time_point{});
}

} // namespace

TEST(OutputDrain, AUartThatReportsItsTransmitterIsFollowedToTheEnd) {
    TScriptedDriver uart;
    uart.Queued = 4;
    uart.EmptyAfterSleeps = 1;
    TOutputDrain drain;
    EXPECT_EQ(drain.Wait(uart, Baud, Bits), 0);
    EXPECT_EQ(drain.Report(), lrReported);
    EXPECT_TRUE(uart.DrainLimits.empty());
    // Four characters take 10 ms; the last one's stop bits are waited for, not much more.
    EXPECT_GE(Took(uart), milliseconds(10));
    EXPECT_LE(Took(uart), milliseconds(20));
}

TEST(OutputDrain, ADriverThatRefusesOrNeverReportsTheTransmitterFallsBackToTheKernelsWait) {
    // pl2303, ch341, cp210x: the question is refused; the kernel's wait answers at once.
    TScriptedDriver refusing;
    refusing.Queued = 0;
    refusing.LineStatusError = ENOTTY;
    TOutputDrain drain;
    EXPECT_EQ(drain.Wait(refusing, Baud, Bits), 0);
    EXPECT_EQ(drain.Report(), lrNotReported);
    ASSERT_EQ(refusing.DrainLimits.size(), 1u);
    EXPECT_EQ(Took(refusing), milliseconds(0));
    // From then on the question is not asked again.
    refusing.Queued = 100;
    EXPECT_EQ(drain.Wait(refusing, Baud, Bits), 0);
    EXPECT_EQ(refusing.StatusQueries, 1);
    ASSERT_EQ(refusing.DrainLimits.size(), 2u);
    // The kernel's wait is bounded by the line time of what is queued, plus the margin.
    EXPECT_EQ(refusing.DrainLimits[1],
              static_cast<int>(TOutputDrain::LineMs(101, Baud, Bits)) + DrainMarginMs);

    // ftdi_sio on an adapter that never sends "empty": the bit is waited for no longer than
    // the bytes' line time and the margin, then the kernel's wait takes over for good.
    TScriptedDriver silent;
    silent.Queued = 2;
    TOutputDrain second;
    EXPECT_EQ(second.Wait(silent, Baud, Bits), 0);
    EXPECT_EQ(second.Report(), lrNotReported);
    EXPECT_EQ(silent.DrainLimits.size(), 1u);
    EXPECT_GE(Took(silent), milliseconds(DrainMarginMs));
    EXPECT_LE(Took(silent), milliseconds(TOutputDrain::LineMs(3, Baud, Bits) + DrainMarginMs + 5));
    const int asked = silent.StatusQueries;
    silent.Queued = 1;
    EXPECT_EQ(second.Wait(silent, Baud, Bits), 0);
    EXPECT_EQ(silent.StatusQueries, asked);

    // A kernel wait that does not end either (a line held by flow control) ends at the bound;
    // the bytes count as sent, so that nothing waits for ever.
    TScriptedDriver stuck;
    stuck.Queued = 8;
    stuck.LineStatusError = EINVAL;
    stuck.DrainTakes = hours(1);
    TOutputDrain third;
    EXPECT_EQ(third.Wait(stuck, Baud, Bits), 0);
    EXPECT_LE(Took(stuck), milliseconds(TOutputDrain::LineMs(9, Baud, Bits) + DrainMarginMs));

    // A purge or close during the wait ends it at once.
    TScriptedDriver purged;
    purged.Queued = 50;
    purged.CancelSleep = true;
    TOutputDrain fourth;
    EXPECT_EQ(fourth.Wait(purged, Baud, Bits), ECANCELED);
    purged.CancelSleep = false;
    purged.DrainResult = ECANCELED;
    purged.LineStatusError = ENOTTY;
    purged.Queued = 0;
    EXPECT_EQ(fourth.Wait(purged, Baud, Bits), ECANCELED);
}
