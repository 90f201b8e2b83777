// Opening, closing and the life of the three threads.

#include "DeviceLayerFixture.h"

#include "platform/RuntimeExceptions.h"

#include <termios.h>
#include <unistd.h>

#include <sys/resource.h>

using namespace vaultix::serial;
using namespace vaultix::serial::testing;
using namespace vaultix::platform;

namespace {

void ExpectReleased(TTestDispatcher& D) {
    EXPECT_FALSE(D.IsOpen());
    EXPECT_EQ(D.ThreadCount(), 0);
    EXPECT_FALSE(D.AreThreadsRunning());
    for (TThreadRole role : {trComm, trDispatch, trOutput})
        EXPECT_FALSE(D.HasThread(role));
    EXPECT_EQ(D.InRingCapacity(), 0u);
    EXPECT_EQ(D.OutRingCapacity(), 0u);
}

} // namespace

TEST(DeviceLayerOpen, TransmitterLineReachesTheKernel) {
    for (const std::uint32_t baud : {4000u, 4800u}) {
        TPtyPort port(3);
        TTestDispatcher d;
        ASSERT_EQ(d.OpenLine(port.Name(), baud), ecOK) << baud;
        const TKernelTermios t = port.Pty.ReadTermios();
        EXPECT_EQ(t.Ospeed, baud);
        EXPECT_EQ(t.Ispeed, baud);
        EXPECT_EQ(t.Cflag & CSIZE, static_cast<std::uint32_t>(CS8));
        EXPECT_TRUE(t.Cflag & CSTOPB);
        EXPECT_EQ(t.Lflag & (ICANON | ECHO | ISIG), 0u);

        std::uint32_t readBaud = 0;
        int parity = -1, dataBits = -1, stopBits = -1;
        EXPECT_EQ(d.ReadLineSettings(readBaud, parity, dataBits, stopBits), ecOK);
        EXPECT_EQ(readBaud, baud);
        EXPECT_EQ(parity, 2);
        EXPECT_EQ(dataBits, 8);
        EXPECT_EQ(stopBits, 2);

        EXPECT_EQ(d.ThreadCount(), 3);
        EXPECT_TRUE(d.AreThreadsRunning());
        // A pseudo-terminal reports the ring's trailing edge like any other line event.
        EXPECT_EQ(d.EventMaskInForce(), TOxWin32Dispatcher::FullEventMask);
        d.CloseDevice();
        ExpectReleased(d);
    }
}

TEST(DeviceLayerOpen, FailedOpensLeaveNothingBehind) {
    TPtyPort port(4);
    TTestDispatcher first;
    ASSERT_EQ(first.OpenLine(port.Name()), ecOK);

    // Held by another dispatcher: already open, also for root.
    TTestDispatcher second;
    EXPECT_EQ(second.OpenLine(port.Name()), ecAlreadyOpen);
    ExpectReleased(second);

    SetPortOverride(5, "/dev/vaultix-no-such-device");
    EXPECT_EQ(second.OpenLine("\\\\.\\COM5"), ecBadId);
    ExpectReleased(second);
    EXPECT_EQ(second.OpenLine("\\\\.\\COM6"), ecBadId); // no device mapped at all
    SetPortOverride(5, "");

    // The first one still works, and once it lets go the port can be had again.
    ASSERT_TRUE(port.Pty.WriteAll("ping"));
    const auto got = ReadFromDispatcher(first, 4);
    EXPECT_EQ(std::string(got.begin(), got.end()), "ping");
    first.CloseDevice();
    EXPECT_EQ(second.OpenLine(port.Name()), ecOK);
}

TEST(DeviceLayerOpen, StartingRunningThreadsAgainIsRefused) {
    TPtyPort port(3);
    TTestDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name()), ecOK);
    try {
        d.StartThreads();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Dispatcher already started");
    }
    EXPECT_EQ(d.ThreadCount(), 3);
    // Reopening after a close starts a fresh set of threads.
    d.CloseDevice();
    ASSERT_EQ(d.OpenLine(port.Name()), ecOK);
    EXPECT_EQ(d.ThreadCount(), 3);
}

TEST(DeviceLayerClose, EndsAllThreadsWhileTheFarEndKeepsSending) {
    TPtyPort port(3);
    auto d = std::make_unique<TTestDispatcher>();
    ASSERT_EQ(d->OpenLine(port.Name()), ecOK);
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        const auto chunk = Pattern(512);
        while (!stop.load())
            port.Pty.WriteAll(chunk.data(), chunk.size(), std::chrono::milliseconds(20));
    });
    ASSERT_TRUE(Eventually([&] { return d->InputCount() > 0; }));
    d->CloseDevice();
    ExpectReleased(*d);
    d.reset(); // the destructor finds nothing left to wait for
    stop = true;
    sender.join();
}

TEST(DeviceLayerClose, EndsAllThreadsWhileAWriteIsPending) {
    TPtyPort port(3);
    TTestDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name(), 4800, 65536), ecOK);
    // The far end reads nothing: the pseudo-terminal fills and the output thread's write
    // stays pending.
    const auto bytes = Pattern(60000);
    ASSERT_EQ(d.WriteBlock(bytes.data(), static_cast<std::uint32_t>(bytes.size())), ecOK);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GT(d.OutputUsed(), 0u);
    d.CloseDevice();
    ExpectReleased(d);
}

TEST(DeviceLayerClose, CloseFromInsideAHandlerIsFinishedByTheDispatchThread) {
    static TTestDispatcher* target = nullptr;
    TPtyPort port(3);
    TTestDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name()), ecOK);
    target = &d;
    d.RegisterNotifyProc([](std::uint32_t Msg, std::uint32_t, std::uint32_t) {
        if (Msg == MsgTriggerAvail) target->CloseDevice();
    });
    d.SetAvailThreshold(1);
    ASSERT_TRUE(port.Pty.WriteAll("x"));
    ASSERT_TRUE(Eventually([&] { return d.ThreadCount() == 0; }));
    ExpectReleased(d);
    target = nullptr;
}

TEST(DeviceLayerThreads, BoostRaisesThePrioritiesWhereAllowed) {
    TPtyPort port(3);
    TTestDispatcher d;
    ASSERT_EQ(d.OpenLine(port.Name()), ecOK);
    auto nice = [&](TThreadRole Role) {
        errno = 0;
        return ::getpriority(PRIO_PROCESS, static_cast<id_t>(d.ThreadId(Role)));
    };
    const int before = nice(trComm);
    d.SetThreadBoost(1);
    // Raising needs privilege; without it the threads keep running as they were.
    const int raised = ::geteuid() == 0 ? -5 : before;
    EXPECT_EQ(nice(trComm), raised);
    EXPECT_EQ(nice(trDispatch), raised);
    EXPECT_EQ(nice(trOutput), raised);
    d.SetThreadBoost(0);
    EXPECT_EQ(nice(trComm), ::geteuid() == 0 ? 0 : before);
    // A reopen keeps the stored boost for the new threads.
    d.SetThreadBoost(1);
    d.CloseDevice();
    ASSERT_EQ(d.OpenLine(port.Name()), ecOK);
    ASSERT_TRUE(Eventually([&] { return d.ThreadId(trOutput) != 0; }));
    EXPECT_EQ(nice(trOutput), raised);
}
