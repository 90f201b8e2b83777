// The hint a silent transfer shows: when it appears, how it counts, when it goes, and what a
// block-protocol receive that lost its step says.

#include "transfer/TransferWatch.h"
#include "TransferFakes.h"

namespace vaultix::transfer::test {
namespace {

using namespace std::chrono_literals;

TEST(TransferWatch, SpeaksUpOnlyAfterSilenceAndCountsTheSeconds) {
    TTransferWatch Watch;
    const auto T0 = TTransferWatch::TClock::now();
    Watch.Start(false, "COM1 (/dev/ttyUSB0)", T0);
    EXPECT_EQ(Watch.Hint(0, false, T0 + 9900ms), "");
    EXPECT_EQ(Watch.Hint(0, false, T0 + 10s),
              "Nothing received for 10 s. Start the sending at your transmitter, and check that "
              "the cable is plugged into COM1 (/dev/ttyUSB0).");
    EXPECT_EQ(Watch.Hint(0, false, T0 + 11500ms).substr(0, 25), "Nothing received for 11 s");
    EXPECT_EQ(Watch.Hint(300, false, T0 + 12s), "") << "gone as soon as bytes arrive";
    EXPECT_EQ(Watch.Hint(300, false, T0 + 16s), "");
    EXPECT_EQ(Watch.Hint(300, false, T0 + 17s),
              "Nothing received for 5 s after 300 bytes. Check the cable and the transmitter.");
    EXPECT_EQ(Watch.Hint(300, true, T0 + 18s),
              "Nothing received for 6 s after 300 bytes. The transfer may be out of step: click "
              "Cancel, and a new save will start clean.");

    Watch.Start(true, "COM2 (/dev/ttyS1)", T0);
    EXPECT_EQ(Watch.Hint(0, false, T0 + 2s), "");
    EXPECT_EQ(Watch.Hint(0, false, T0 + 3s),
              "Nothing sent for 3 s: COM2 (/dev/ttyS1) takes no data. Check the cable, and that "
              "the transmitter is waiting for data.");
}

class WatchedEngine : public ::testing::Test, public TEngineRig {};

// What the engine waits for, and what it has moved: the window wakes for the one and tells of
// the other.
TEST_F(WatchedEngine, AStrayByteBeforeTheFirstHeaderPutsTheBlocksOutOfStep) {
    Window.TxBox = 2;
    Engine.PrepareReceive(Dir / "club.a22", 1024, true);
    Engine.Start();
    TBytes Stream = {0x80, 0xAA};
    const TBytes Model = ModelMemory(2, "ONE", 1, 3);
    Stream.insert(Stream.end(), Model.begin(), Model.end());
    Port.Receive({0x55});
    Port.Receive(Stream);
    EXPECT_EQ(Engine.BytesMoved(), 1027u) << "waiting bytes count as moved";
    EXPECT_EQ(Engine.InputWanted(), 2u) << "a header";
    Step();
    EXPECT_TRUE(Engine.OutOfStep());
    EXPECT_EQ(Engine.InputWanted(), 1022u) << "the rest of the block";
    Step();
    EXPECT_EQ(Engine.BytesMoved(), 1027u) << "taken or waiting, every byte counts once";
}

} // namespace
} // namespace vaultix::transfer::test
