// Sending one unit to the transmitter: pacing on the output buffer, completion only once it
// drained, the chooser's return, units larger than the buffer, files cut short.

#include "TransferFakes.h"

#include "platform/RuntimeExceptions.h"

namespace vaultix::transfer::test {
namespace {

class Send : public ::testing::Test, public TEngineRig {};

TEST_F(Send, KeepsAFewBytesAheadOfTheLineAndCompletesOnlyWhenDrained) {
    const TBytes Model = ModelMemory(2, "GLIDER", 12);
    const auto File = Dir / "glider.m22";
    WriteAll(File, Model);
    Engine.PrepareSend(File, 1024, false, false);
    Engine.Start();

    Step();
    Step(); // nothing has left yet: nothing more goes out
    ASSERT_EQ(Port.Sent.size(), TTransferEngine::SendLead);
    EXPECT_EQ(Port.WriteTextCalls, 1) << "the lead goes to the port in one piece";
    // As bytes leave the line, each step tops the queue up to the lead and never beyond it.
    for (std::uint16_t Left = 1; Port.Sent.size() < Model.size(); Left = Left % 7 + 1) {
        Port.Pending -= std::min(Port.Pending, Left);
        const std::size_t Expected = std::min<std::size_t>(
            TTransferEngine::SendLead, Port.Pending + Model.size() - Port.Sent.size());
        Step();
        ASSERT_EQ(Port.Pending, Expected);
    }
    EXPECT_EQ(Port.Sent, Model);
    EXPECT_LT(Port.WriteTextCalls, 1024 / 2);
    EXPECT_EQ(Window.Label(), "1024 bytes of 1024 transferred.");
    EXPECT_TRUE(Engine.Running()) << "the last byte still waits in the output buffer";
    EXPECT_TRUE(Window.Messages.empty());

    Port.Drain();
    Step();
    EXPECT_FALSE(Engine.Running());
    EXPECT_EQ(Window.Messages,
              std::vector<std::string>{"Model \"GLIDER\" successfully transferred."});
    EXPECT_EQ(Window.Page(), npButtons);
    EXPECT_EQ(Window.Idle, ihMonitorIdle);
    EXPECT_FALSE(Engine.DataFile.IsOpen());
    EXPECT_EQ(ReadAll(File), Model);
}

TEST_F(Send, ModelPickedInTheChooserReturnsToTheChooser) {
    const TBytes A = ModelMemory(2, "ONE", 1, 1), B = ModelMemory(2, "TWO", 2, 2),
                 C = ModelMemory(2, "THREE", 3, 3);
    const auto File = Dir / "club.a22";
    WriteAll(File, Concat({A, B, C}));
    Port.AutoDrain = true;
    Engine.PrepareSend(File, 1024, true, true, 2);
    Engine.Start();
    RunTransfer();
    EXPECT_EQ(Port.Sent, C);
    EXPECT_EQ(Window.Messages, std::vector<std::string>{"Transfer successfully completed."});
    EXPECT_EQ(Window.Page(), npChooseModel);
}

TEST_F(Send, WholeMemoryOfAnMc18NamesNoModel) {
    const auto File = Dir / "all.a18";
    WriteAll(File, TBytes(2050, 0x33));
    Window.TxBox = 0;
    Port.AutoDrain = true;
    Engine.PrepareSend(File, 2050, false, false);
    Engine.Start();
    RunTransfer();
    EXPECT_EQ(Port.Sent.size(), 2050u);
    EXPECT_EQ(Window.Messages, std::vector<std::string>{"Transfer successfully completed."});
}

TEST_F(Send, UnitLargerThanTheBufferIsSentWhole) {
    TBytes Unit(65535);
    for (std::size_t i = 0; i < Unit.size(); ++i)
        Unit[i] = static_cast<std::uint8_t>(i * 13);
    const auto File = Dir / "count.tst";
    WriteAll(File, Concat({Unit, TBytes(65535, 0xEE)}));
    Window.TxBox = TestTypeRow;
    Port.AutoDrain = true;
    Engine.PrepareSend(File, 65535, false, false);
    Engine.Start();
    RunTransfer();
    EXPECT_FALSE(Engine.Running());
    EXPECT_EQ(Port.Sent, Unit);
}

TEST_F(Send, FileWithoutTheChosenUnitIsRefusedBeforeAnythingIsSent) {
    const auto File = Dir / "club.a22";
    WriteAll(File, TBytes(2048 + 100, 1));
    try {
        Engine.PrepareSend(File, 1024, true, true, 2);
        ADD_FAILURE() << "accepted a unit cut short";
    } catch (const platform::EInOutError& Error) {
        EXPECT_EQ(Error.ErrorCode(), 100);
        EXPECT_EQ(Error.Message(), "Attempt to read beyond end of file");
    }
    EXPECT_FALSE(Engine.DataFile.IsOpen());
    EXPECT_THROW(Engine.PrepareSend(File, 1024, true, true, 3), platform::EInOutError)
        << "skipping past the end fails";
    EXPECT_NO_THROW(Engine.PrepareSend(File, 1024, true, true, 1));
}

TEST_F(Send, FileShrinkingUnderAnOpenTransferHaltsIt) {
    const auto File = Dir / "glider.m22";
    WriteAll(File, ModelMemory(2, "GLIDER", 12));
    Engine.PrepareSend(File, 1024, false, false);
    Engine.Start();
    std::filesystem::resize_file(File, 10);
    EXPECT_THROW(Step(), platform::EInOutError);
    EXPECT_TRUE(Port.Sent.empty()) << "no byte of a broken unit goes out";
    EXPECT_TRUE(Engine.Halted());
}

} // namespace
} // namespace vaultix::transfer::test

namespace vaultix::transfer::test {
namespace {

// The port component's members reach the engine through the adapter unchanged.
struct TComponentLike {
    int InputCount() { return 70; }
    int OutputCount() { return 3; }
    void ReadBlock(void* Buffer, std::uint16_t Count) { std::memset(Buffer, 'r', Count); }
    void WriteByte(std::uint8_t Value) { Written.push_back(static_cast<char>(Value)); }
    void WriteText(const std::string& Text) { Written += Text; }
    void ClearInput() { ++Clears; }
    void ClearOutput() { Clears += 10; }
    std::string Written;
    int Clears = 0;
};

TEST(TransferPortOf, ForwardsEveryOperation) {
    TComponentLike Component;
    TTransferPortOf<TComponentLike> Port(Component);
    TTransferPort& AsPort = Port;
    EXPECT_EQ(AsPort.InputCount(), 70);
    EXPECT_EQ(AsPort.OutputCount(), 3);
    char Buffer[4] = {};
    AsPort.ReadBlock(Buffer, 3);
    EXPECT_STREQ(Buffer, "rrr");
    AsPort.WriteByte('@');
    AsPort.WriteText("ab");
    EXPECT_EQ(Component.Written, "@ab");
    AsPort.ClearInput();
    AsPort.ClearOutput();
    EXPECT_EQ(Component.Clears, 11);
}

} // namespace
} // namespace vaultix::transfer::test
