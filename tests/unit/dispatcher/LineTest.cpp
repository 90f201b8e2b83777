#include "DispatcherFixture.h"

#include "serial/ResultCodes.h"

namespace vaultix::serial::testing {
namespace {

using namespace vaultix::platform;
using LineSettings = DispatcherTest;

TEST_F(LineSettings, OpeningAppliesTheLine) {
    const TDeviceSettings side = Device->DeviceSide();
    EXPECT_EQ(side.BaudRate, 4800u);
    EXPECT_EQ(side.Parity, 2);
    EXPECT_EQ(side.ByteSize, 8);
    EXPECT_EQ(side.StopBits, 2);
    EXPECT_EQ(side.Flags & dcbDtrControlMask, dcbDtrControlEnable);
    EXPECT_EQ(side.Flags & dcbRtsControlMask, dcbRtsControlEnable);
}

TEST_F(LineSettings, UnchangedValuesNeitherWaitNorTouchTheDevice) {
    EXPECT_EQ(Device->ApplyLineSettings(4800, 2, 8, 2), 0);
    EXPECT_EQ(Device->ApplyLineSettings(0, 5, 9, 3), 0);
    const auto calls = Device->Calls();
    EXPECT_EQ(calls.SettingsWrites, 0);
    EXPECT_TRUE(calls.Escapes.empty());
    EXPECT_EQ(calls.StatusReads, 0); // the drain wait polls the output count
}

TEST_F(LineSettings, KeepValuesKeepOnlyTheirOwnSetting) {
    ASSERT_EQ(Device->ApplyLineSettings(9600, 5, 9, 3), 0);
    TDeviceSettings side = Device->DeviceSide();
    EXPECT_EQ(side.BaudRate, 9600u);
    EXPECT_EQ(side.Parity, 2);
    EXPECT_EQ(side.ByteSize, 8);
    EXPECT_EQ(side.StopBits, 2);

    ASSERT_EQ(Device->ApplyLineSettings(0, 0, 7, 0), 0); // stop bits 0 count as one
    side = Device->DeviceSide();
    EXPECT_EQ(side.BaudRate, 9600u);
    EXPECT_EQ(side.Parity, 0);
    EXPECT_EQ(side.ByteSize, 7);
    EXPECT_EQ(side.StopBits, 0);

    ASSERT_EQ(Device->ApplyLineSettings(0, 5, 9, 7), 0); // clamped to two
    EXPECT_EQ(Device->DeviceSide().StopBits, 2);
}

TEST_F(LineSettings, FiveDataBitsAlwaysGetOneAndAHalfStopBits) {
    ASSERT_EQ(Device->ApplyLineSettings(0, 5, 5, 2), 0);
    EXPECT_EQ(Device->DeviceSide().StopBits, 1);
    ASSERT_EQ(Device->ApplyLineSettings(0, 5, 9, 1), 0);
    EXPECT_EQ(Device->DeviceSide().StopBits, 1);
    Device->ClearCalls();
    EXPECT_EQ(Device->ApplyLineSettings(0, 5, 5, 3), 0);
    EXPECT_EQ(Device->Calls().SettingsWrites, 0);
}

TEST_F(LineSettings, ReadingBackDecodesIndexedRates) {
    TDeviceSettings side = Device->DeviceSide();
    side.BaudRate = 0xFF15;
    side.StopBits = 1;
    Device->SetDeviceSide(side);
    std::uint32_t baud = 0;
    int parity = 0, dataBits = 0, stopBits = 0;
    EXPECT_EQ(Device->ReadLineSettings(baud, parity, dataBits, stopBits), 0);
    EXPECT_EQ(baud, 4800u);
    EXPECT_EQ(parity, 2);
    EXPECT_EQ(dataBits, 8);
    EXPECT_EQ(stopBits, 2); // one and a half reads as two

    EXPECT_EQ(TOxBaseDispatcher::DecodeBaud(0xFEFF), 115200u);
    EXPECT_EQ(TOxBaseDispatcher::DecodeBaud(0xFF10), 110u);
    EXPECT_EQ(TOxBaseDispatcher::DecodeBaud(0xFF27), 256000u);
    EXPECT_EQ(TOxBaseDispatcher::DecodeBaud(0xFF19), 0xFF19u); // a gap in the table
    EXPECT_EQ(TOxBaseDispatcher::DecodeBaud(0xFF28), 0xFF28u);
    EXPECT_EQ(TOxBaseDispatcher::DecodeBaud(4000), 4000u);
}

TEST(LineOpen, ModemLinesUnderFlowControlAreLeftToTheDriver) {
    TScriptedDevice device;
    ASSERT_EQ(device.OpenStandard(10240, ooDtrOn | ooRtsFlow), 0);
    device.ClearCalls();
    EXPECT_EQ(device.SetRtsState(false), 1);
    EXPECT_EQ(device.SetDtrState(false), 0);
    EXPECT_EQ(device.Calls().Escapes, std::vector<int>{escClrDtr});
    device.EscapeResult = -1;
    EXPECT_EQ(device.SetDtrState(true), ecBadArgument);
}

// ---- Flow control -------------------------------------------------------------------------

using FlowControl = DispatcherTest;

TEST_F(FlowControl, HardwareFlowSetsTheLimitsFromTheDriverQueue) {
    ASSERT_EQ(Device->ConfigureHardwareFlow(51000, 409, hfoUseRts | hfoRequireCts), 0);
    const TDeviceSettings side = Device->DeviceSide();
    EXPECT_EQ(side.XoffLim, 200);
    EXPECT_EQ(side.XonLim, 409);
    EXPECT_EQ(side.Flags & dcbRtsControlMask, dcbRtsControlHandshake);
    EXPECT_EQ(side.Flags & dcbDtrControlMask, dcbDtrControlEnable);
    EXPECT_TRUE(side.Flags & dcbOutxCtsFlow);
    EXPECT_FALSE(side.Flags & dcbOutxDsrFlow);
    EXPECT_EQ(Device->SetRtsState(false), 1);

    std::uint32_t hw = 0, sw = 0;
    char on = 0, off = 0;
    EXPECT_EQ(Device->ReadFlowSettings(hw, sw, on, off), 0);
    EXPECT_EQ(hw, hfoUseRts | hfoRequireCts);

    // Configuring again without RTS hands the line back to the dispatcher.
    ASSERT_EQ(Device->ConfigureHardwareFlow(51000, 409, hfoUseDtr), 0);
    EXPECT_EQ(Device->DeviceSide().Flags & dcbRtsControlMask, dcbRtsControlEnable);
    EXPECT_EQ(Device->SetRtsState(true), 0);
    EXPECT_EQ(Device->SetDtrState(true), 1);
}

TEST_F(FlowControl, ThresholdsOutsideTheDriverQueueAreRejected) {
    EXPECT_EQ(Device->ConfigureHardwareFlow(51201, 409, hfoUseRts), ecBadArgument);
    EXPECT_EQ(Device->ConfigureHardwareFlow(400, 409, hfoUseRts), ecBadArgument);
    EXPECT_EQ(Device->ConfigureSoftwareFlow(51201, 0, sfoReceive), ecBadArgument);
    EXPECT_EQ(Device->Calls().SettingsWrites, 0);
    EXPECT_EQ(Device->ConfigureHardwareFlow(51200, 51200, 0), 0);
}

TEST_F(FlowControl, Rs485UsesTheRtsToggle) {
    Device->SetRs485Mode(true);
    ASSERT_EQ(Device->ConfigureHardwareFlow(51000, 409, 0), 0);
    EXPECT_EQ(Device->DeviceSide().Flags & dcbRtsControlMask, dcbRtsControlToggle);
    EXPECT_EQ(Device->SetRtsState(true), 1);
}

TEST_F(FlowControl, SoftwareFlowAddsAndDisableRemovesBothDirections) {
    ASSERT_EQ(Device->ConfigureSoftwareFlow(3072, 1024, sfoReceive), 0);
    TDeviceSettings side = Device->DeviceSide();
    EXPECT_TRUE(side.Flags & dcbInX);
    EXPECT_FALSE(side.Flags & dcbOutX);
    EXPECT_EQ(side.XoffLim, 51200 - 3072);
    EXPECT_EQ(side.XonLim, 1024);

    ASSERT_EQ(Device->ConfigureSoftwareFlow(3072, 1024, sfoTransmit), 0);
    ASSERT_EQ(Device->SetFlowChars('a', 'b'), 0);
    std::uint32_t hw = 0, sw = 0;
    char on = 0, off = 0;
    Device->ReadFlowSettings(hw, sw, on, off);
    EXPECT_EQ(sw, sfoTransmit | sfoReceive); // the first call's setting stays
    EXPECT_EQ(on, 'a');
    EXPECT_EQ(off, 'b');

    ASSERT_EQ(Device->DisableSoftwareFlow(), 0);
    side = Device->DeviceSide();
    EXPECT_FALSE(side.Flags & (dcbInX | dcbOutX));
}

// ---- Modem status and line errors ---------------------------------------------------------

using LineStatus = DispatcherTest;

TEST_F(LineStatus, ChangedLinesSetTheirChangeFlags) {
    Device->SetModemLevels(msCtsOn | msDcdOn);
    Device->MergeModemDeltas();
    EXPECT_EQ(Device->ModemBits, msCtsOn | msDcdOn | msDeltaCts | msDeltaDcd);

    Device->SetModemLevels(msDcdOn);
    Device->RingSeen = true;
    EXPECT_EQ(Device->RefreshModemStatus(0xF0), msDcdOn | msDeltaCts | msDeltaDcd | msTrailingRi);
    EXPECT_EQ(Device->ModemBits, msDcdOn);
    EXPECT_FALSE(Device->RingSeen.load());
}

TEST_F(LineStatus, CtsQueryClearsOnlyTheCtsChangeFlag) {
    Device->SetModemLevels(msCtsOn | msDsrOn);
    Device->MergeModemDeltas();
    EXPECT_TRUE(Device->IsCtsOn());
    EXPECT_EQ(Device->ModemBits, msCtsOn | msDsrOn | msDeltaDsr);
    Device->SetModemLevels(0);
    EXPECT_FALSE(Device->IsCtsOn());
}

TEST_F(LineStatus, AnErrorIsTakenOnceAndABreakStaysForItsOwnQuery) {
    Device->RaiseErrors(ceOverrun | ceBreak);
    Device->RefreshLineErrors();
    EXPECT_EQ(Device->TakeLineError(), 2);
    EXPECT_EQ(Device->TakeLineError(), 9);
    EXPECT_TRUE(Device->TakeBreakReceived());
    EXPECT_FALSE(Device->TakeBreakReceived());
    EXPECT_EQ(Device->TakeLineError(), 0);

    Device->RaiseErrors(ceRxParity | ceFrame);
    Device->RefreshLineErrors();
    EXPECT_EQ(Device->TakeLineError(), 3);
    EXPECT_EQ(Device->TakeLineError(), 0); // the framing error was cleared with it

    Device->RaiseErrors(ceRxOver | ceOverrun);
    Device->RefreshLineErrors();
    EXPECT_EQ(Device->TakeLineError(), 1);
}

TEST_F(LineStatus, AWriteDoesNotLoseAnErrorNotYetTaken) {
    Device->RaiseErrors(ceOverrun);
    Device->FillInputRing(); // the dispatch thread notices the error
    Device->WriteByte(1);    // the next status read reports no error
    EXPECT_EQ(Device->TakeLineError(), 2);
}

} // namespace
} // namespace vaultix::serial::testing
