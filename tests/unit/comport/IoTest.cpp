#include "PortFixture.h"

#include "serial/OxExceptionClasses.h"
#include "transfer/TransferPort.h"

#include <array>
#include <string>

namespace vaultix::serial::testing {
namespace {

using Io = PortTest;

TEST_F(Io, BytesMoveBothWaysThroughTheTransferEnginesView) {
    transfer::TTransferPortOf<TOxComPort> engine(*Port);
    Port->SetOpen(true);
    Port->Device()->Feed("data");
    Port->Device()->Pass();
    EXPECT_EQ(engine.InputCount(), 4);

    std::array<char, 5> buffer{};
    EXPECT_THROW(engine.ReadBlock(buffer.data(), 5), EBufferIsEmpty);
    EXPECT_EQ(Port->InputCount(), 4); // nothing was taken
    engine.ReadBlock(buffer.data(), 4);
    EXPECT_EQ(std::string(buffer.data()), "data");

    engine.WriteText("");
    EXPECT_EQ(engine.OutputCount(), 0);
    engine.WriteByte(0x40);
    engine.WriteText("ab");
    EXPECT_EQ(engine.OutputCount(), 3);
    EXPECT_EQ(Port->Device()->TakeSent(), "\x40"
                                          "ab");

    engine.WriteText("zz");
    engine.ClearOutput();
    EXPECT_EQ(engine.OutputCount(), 0);
    Port->Device()->Feed("q");
    Port->Device()->Pass();
    engine.ClearInput();
    EXPECT_EQ(engine.InputCount(), 0);
}

TEST_F(Io, StatusQueriesNeverOpenThePortButOutputDoes) {
    EXPECT_FALSE(Port->CtsOn());
    EXPECT_EQ(Port->InputCount(), 0);
    EXPECT_EQ(Port->OutputCount(), 0);
    EXPECT_EQ(Port->LineError(), 0);
    EXPECT_FALSE(Port->LineBreak());
    EXPECT_EQ(Port->State(), stClosed);
    EXPECT_EQ(Port->Created, 0);

    Port->WriteByte(1); // AutoOpen
    EXPECT_EQ(Port->State(), stOpen);
    EXPECT_EQ(Port->OutputCount(), 1);
    Port->Device()->SetModemLevels(platform::msCtsOn);
    EXPECT_TRUE(Port->CtsOn());
}

TEST_F(Io, WithoutAutoOpenAClosedPortRaisesNotOpen) {
    Port->SetAutoOpen(false);
    EXPECT_THROW(Port->WriteText("x"), ECommNotOpen);
    std::uint8_t byte = 0;
    EXPECT_THROW(Port->ReadBlock(&byte, 1), ECommNotOpen);
    EXPECT_EQ(Port->CurrentDispatcher(), nullptr);
    EXPECT_EQ(Port->State(), stClosed);
}

} // namespace
} // namespace vaultix::serial::testing
