// Faults of the device and of handlers: the threads cope and a close still works.

#include "DeviceLayerFixture.h"

#include "platform/RuntimeExceptions.h"
#include "serial/ThreadExceptionHook.h"

#include <cerrno>
#include <condition_variable>
#include <ctime>
#include <mutex>

using namespace vaultix::serial;
using namespace vaultix::serial::testing;
using namespace vaultix::platform;

namespace {

double ProcessCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A driver that refuses the ring's trailing-edge event in the wait.
class TNoTrailingRingDispatcher : public TTestDispatcher {
public:
    ~TNoTrailingRingDispatcher() override { Shutdown(); }
    std::atomic<int> Refused{0};

protected:
    bool WaitDeviceEvent(std::uint32_t& Mask, void* Overlapped) override {
        if (EventMaskInForce() & evRingTrailing) {
            ++Refused;
            Mask = 0;
            errno = EINVAL;
            return false;
        }
        return TTestDispatcher::WaitDeviceEvent(Mask, Overlapped);
    }
};

} // namespace

TEST(DeviceLayerFaults, FarEndGoneLeavesNoThreadSpinning) {
    TPtyPort port(3);
    TTestDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name()), ecOK);
    // Mid-stream: bytes are arriving and output is queued when the cable goes.
    ASSERT_TRUE(port.Pty.WriteAll(Pattern(4000)));
    const auto out = Pattern(2000);
    ASSERT_EQ(d.WriteBlock(out.data(), 2000), ecOK);
    ASSERT_TRUE(Eventually([&] { return d.InputCount() == 4000; }));
    port.Pty.CloseMaster();
    port.Pty.CloseSlave();

    const auto wallStart = TClock::now();
    const double cpuStart = ProcessCpuSeconds();
    // Output queued after the hang-up is dropped, not retried.
    for (int i = 0; i < 20; ++i) {
        d.WriteBlock(out.data(), 500);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(TClock::now() - wallStart).count();
    EXPECT_LT(cpu, 0.25 * wall) << cpu << " s of CPU in " << wall << " s";
    EXPECT_EQ(d.OutputUsed(), 0u);

    // What had arrived is still there to read, and the close works.
    EXPECT_EQ(ReadFromDispatcher(d, 4000), Pattern(4000));
    d.CloseDevice();
    EXPECT_EQ(d.ThreadCount(), 0);
    EXPECT_FALSE(d.IsOpen());
}

TEST(DeviceLayerFaults, DriverWithoutTrailingRingFallsBackToTheBasicMask) {
    TPtyPort port(3);
    TNoTrailingRingDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name()), ecOK);
    ASSERT_TRUE(port.Pty.WriteAll("after fallback"));
    const auto got = ReadFromDispatcher(d, 14);
    EXPECT_EQ(std::string(got.begin(), got.end()), "after fallback");
    EXPECT_EQ(d.EventMaskInForce(), TOxWin32Dispatcher::BasicEventMask);
    EXPECT_EQ(d.Refused.load(), 1);
    EXPECT_EQ(d.ThreadCount(), 3);
}

TEST(DeviceLayerFaults, HandlerExceptionReachesTheDisplayAndCloseStillWorks) {
    std::mutex lock;
    std::condition_variable shown;
    std::string message;
    SetThreadExceptionHandler([&](std::exception_ptr Error) {
        std::lock_guard guard(lock);
        try {
            std::rethrow_exception(Error);
        } catch (const std::exception& e) {
            message = e.what();
        }
        shown.notify_all();
    });
    TPtyPort port(3);
    TTestDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name()), ecOK);
    d.RegisterNotifyProc([](std::uint32_t Msg, std::uint32_t, std::uint32_t) {
        if (Msg == MsgTriggerAvail) throw Exception("handler failed");
    });
    d.SetAvailThreshold(1);
    ASSERT_TRUE(port.Pty.WriteAll("x"));
    {
        std::unique_lock guard(lock);
        EXPECT_TRUE(
            shown.wait_for(guard, std::chrono::seconds(5), [&] { return !message.empty(); }));
        EXPECT_EQ(message, "handler failed");
    }
    // The dispatch thread left like a normal end; the others go with the close.
    ASSERT_TRUE(Eventually([&] { return d.ThreadCount() == 2; }));
    EXPECT_FALSE(d.IsDelivering());
    d.CloseDevice();
    EXPECT_EQ(d.ThreadCount(), 0);
    EXPECT_FALSE(d.AreThreadsRunning());
    SetThreadExceptionHandler(nullptr);
}
