// The port component over the real device layer, with a pseudo-terminal pair as the cable
// and COM1 mapped onto its device side.

#include "platform/ComPortMap.h"
#include "platform/QtNotifyServices.h"
#include "serial/ComPort.h"
#include "serial/OxExceptionClasses.h"
#include "tests/support/PtyPair.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <termios.h>
#include <thread>
#include <vector>

namespace vaultix::serial {
namespace {

using testsupport::TPtyPair;
using Clock = std::chrono::steady_clock;

class PortOnPty : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) App = new QCoreApplication(argc, argv);
    }

    void SetUp() override {
        platform::SetScanDirectory("");
        platform::SetPortOverride(1, Pty.SlavePath());
        Services.Install();
        Port.SetComNumber(1);
        Port.SetBaud(4800);
        Port.SetParity(pEven);
        Port.SetStopBits(2);
    }

    void TearDown() override {
        // The tests' handlers refer to their own locals, gone by now.
        Port.SetOnTriggerAvail({});
        Port.SetOnPortClose({});
        Port.SetOpen(false);
        platform::ClearPortOverrides();
        platform::SetScanDirectory("/dev");
    }

    // Runs the event loop until Done holds; false when five seconds pass first, so that a
    // fault fails the test instead of hanging it.
    template <typename TDone> bool PumpUntil(TDone Done) {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!Done()) {
            if (Clock::now() > deadline) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    static inline QCoreApplication* App = nullptr;
    TPtyPair Pty;
    platform::TQtNotifyServices Services;
    TOxComPort Port;
};

TEST_F(PortOnPty, OpensAtTheTransmittersLineAndMovesBytesBothWays) {
    Port.SetOpen(true);
    const platform::TKernelTermios line = Pty.ReadTermios();
    EXPECT_EQ(line.Ospeed, 4800u);
    EXPECT_EQ(line.Cflag & CSIZE, static_cast<std::uint32_t>(CS8));
    EXPECT_NE(line.Cflag & CSTOPB, 0u);

    ASSERT_TRUE(Pty.WriteAll(std::string("\x80\xAA model", 8)));
    ASSERT_TRUE(PumpUntil([&] { return Port.InputCount() == 8; }));
    std::string got(8, '\0');
    Port.ReadBlock(got.data(), 8);
    EXPECT_EQ(got, std::string("\x80\xAA model", 8));
    EXPECT_EQ(Port.InputCount(), 0);

    Port.WriteText("@\xAA");
    Port.WriteByte(0x40);
    const std::vector<std::uint8_t> sent = Pty.ReadExactly(3);
    EXPECT_EQ(sent, (std::vector<std::uint8_t>{0x40, 0xAA, 0x40}));
    EXPECT_TRUE(PumpUntil([&] { return Port.OutputCount() == 0; }));
}

TEST_F(PortOnPty, ASecondComponentFindsThePortInUse) {
    Port.SetOpen(true);
    TOxComPort second;
    second.SetComNumber(1);
    try {
        second.SetOpen(true);
        ADD_FAILURE() << "opened twice";
    } catch (const EAlreadyOpen& e) {
        EXPECT_EQ(e.ResultCode(), -2008);
    }
    EXPECT_EQ(second.State(), stClosed);
    EXPECT_TRUE(Port.Open());
}

TEST_F(PortOnPty, APortThatDoesNotExistIsABadId) {
    Port.SetComNumber(7);
    EXPECT_THROW(Port.SetOpen(true), EBadId);
}

TEST_F(PortOnPty, EventsArriveOnTheMainThreadInOrder) {
    const std::thread::id mainThread = std::this_thread::get_id();
    std::string received;
    bool offMain = false;
    Port.SetOnTriggerAvail([&](TOxCustomComPort& P, std::uint16_t Count) {
        offMain |= std::this_thread::get_id() != mainThread;
        std::string chunk(Count, '\0');
        P.ReadBlock(chunk.data(), Count);
        received += chunk;
    });
    Port.SetOpen(true);
    std::string expected;
    for (const std::string part : {"first ", "second ", "third"}) {
        expected += part;
        ASSERT_TRUE(Pty.WriteAll(part));
        ASSERT_TRUE(PumpUntil([&] { return received.size() >= expected.size(); }));
    }
    EXPECT_EQ(received, expected);
    EXPECT_FALSE(offMain);
}

TEST_F(PortOnPty, AHandlerThatClosesThePortDefersTheClose) {
    int closes = 0;
    Port.SetOnPortClose([&](TOxCustomComPort&) { ++closes; });
    Port.SetOnTriggerAvail([&](TOxCustomComPort& P, std::uint16_t) { P.SetOpen(false); });
    Port.SetOpen(true);
    ASSERT_TRUE(Pty.WriteAll("x"));
    ASSERT_TRUE(PumpUntil([&] { return Port.State() == stClosed; }));
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(Port.Open());
    Port.SetOpen(true); // the device was released
    EXPECT_EQ(Port.State(), stOpen);
}

} // namespace
} // namespace vaultix::serial
