#include "PortFixture.h"

#include "serial/OxExceptionClasses.h"

namespace vaultix::serial::testing {
namespace {

using Flow = PortTest;
using namespace vaultix::platform;

TEST_F(Flow, FlowControlFillsUnsetThresholdsFromTheInputSize) {
    Port->SetHWFlowOptions({hwfUseDTR});
    EXPECT_EQ(Port->BufferFull(), 3686);
    EXPECT_EQ(Port->BufferResume(), 409);

    TTestPort other;
    other.SetSWFlowOptions(swfBoth);
    EXPECT_EQ(other.BufferFull(), 3072);
    EXPECT_EQ(other.BufferResume(), 1024);

    // The stored configuration of the main window needs no adjustment.
    TTestPort window;
    window.SetInSize(51200);
    window.SetBufferFull(51000);
    window.SetBufferResume(409);
    EXPECT_EQ(window.BufferFull(), 51000);
    EXPECT_EQ(window.BufferResume(), 409);
}

TEST_F(Flow, ThresholdsAboveTheirLimitAreCut) {
    Port->SetBufferFull(5000); // 90 % of the value itself
    EXPECT_EQ(Port->BufferFull(), 4500);
    Port->SetBufferResume(4600); // above BufferFull: 10 % of that
    EXPECT_EQ(Port->BufferResume(), 450);

    Port->SetHWFlowOptions({hwfUseRTS});
    EXPECT_EQ(Port->BufferFull(), 3686);
    Port->SetBufferFull(5000); // with flow control on, the re-run brings it under InSize
    EXPECT_EQ(Port->BufferFull(), 3686);
}

TEST_F(Flow, FlowOptionsReachTheDeviceWithTheDispatchersCodes) {
    Port->SetOpen(true);
    Port->SetHWFlowOptions({hwfUseDTR, hwfRequireCTS});
    const TDeviceSettings hw = Port->Device()->Settings();
    EXPECT_EQ(hw.Flags & dcbDtrControlMask, dcbDtrControlHandshake);
    EXPECT_NE(hw.Flags & dcbOutxCtsFlow, 0u);
    EXPECT_EQ(hw.XoffLim, 4096 - 3686);

    // DTR is the driver's now: the property keeps its value.
    Port->SetDTR(false);
    EXPECT_TRUE(Port->DTR());

    Port->SetSWFlowOptions(swfReceive);
    EXPECT_EQ(Port->Device()->Settings().Flags & (dcbInX | dcbOutX), dcbInX);
    Port->SetSWFlowOptions(swfTransmit);
    EXPECT_EQ(Port->Device()->Settings().Flags & dcbOutX, dcbOutX);
    Port->SetSWFlowOptions(swfNone);
    EXPECT_EQ(Port->Device()->Settings().Flags & (dcbInX | dcbOutX), 0u);

    // The driver keeps the queue it was opened with, so thresholds above it are refused; a
    // refused set is not stored.
    Port->SetInSize(8000);
    EXPECT_THROW(Port->SetBufferFull(5000), EBadArgument);
    EXPECT_EQ(Port->BufferFull(), 5000);
    EXPECT_THROW(Port->SetHWFlowOptions({hwfUseRTS}), EBadArgument);
    EXPECT_EQ(Port->HWFlowOptions(), (THWFlowOptionSet{hwfUseDTR, hwfRequireCTS}));
}

TEST_F(Flow, Rs485ModeTakesRtsFromFlowControlOpenOrClosed) {
    for (const bool open : {false, true}) {
        SCOPED_TRACE(open);
        TTestPort port;
        port.SetComNumber(1);
        port.SetHWFlowOptions({hwfUseDTR, hwfUseRTS, hwfRequireCTS});
        port.SetOpen(open);
        port.SetRS485Mode(true);
        EXPECT_TRUE(port.RS485Mode());
        EXPECT_EQ(port.HWFlowOptions(), THWFlowOptionSet{hwfUseDTR});
        EXPECT_FALSE(port.RTS());
        if (open) {
            EXPECT_TRUE(port.Device()->Rs485On());
            EXPECT_EQ(port.Device()->Settings().Flags & dcbRtsControlMask, dcbRtsControlToggle);
        }
        // Handing RTS back to flow control ends the mode.
        port.SetHWFlowOptions({hwfUseRTS});
        EXPECT_FALSE(port.RS485Mode());
    }
}

TEST_F(Flow, ClosedPortSettingsOnlyStore) {
    Port->SetDeviceLayer(dlWinsock);
    EXPECT_EQ(Port->DeviceLayer(), dlWin32);
    Port->SetBaud(4800);
    Port->SetParity(pEven);
    Port->SetStopBits(2);
    Port->SetOpen(true);
    const TDeviceSettings line = Port->Device()->Settings();
    EXPECT_EQ(line.BaudRate, 4800u);
    EXPECT_EQ(line.Parity, 2);
    Port->SetBaud(4000); // open: applied at once
    EXPECT_EQ(Port->Device()->Settings().BaudRate, 4000u);
}

} // namespace
} // namespace vaultix::serial::testing
