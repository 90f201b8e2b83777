// Saving all models block by block: markers, acknowledgements after the 700 ms pause, the
// block label, and user actions that arrive while a pause waits.

#include "TransferFakes.h"

namespace vaultix::transfer::test {
namespace {

const TBytes BlockMarker = {0x80, 0xAA};
const TBytes EndMarker = {0x80, 0xFF};
const TBytes Ack = {0x40, 0xAA};

class BlockProtocol : public ::testing::Test, public TEngineRig {
protected:
    void StartSaveAll(int Row = 2) {
        Window.TxBox = Row;
        Target = Dir / "club.a22";
        Engine.PrepareReceive(Target, TxTypes[Row].ModelSize, true);
        Engine.Start();
    }
    // Each acknowledgement sent, with the fake time it went out.
    std::vector<std::uint64_t> AckTimes() const {
        std::vector<std::uint64_t> Times;
        for (std::size_t i = 0; i + 1 < Port.Sent.size(); i += 2) {
            EXPECT_EQ(Port.Sent[i], 0x40);
            EXPECT_EQ(Port.Sent[i + 1], 0xAA);
            Times.push_back(Port.SentAt[i]);
        }
        EXPECT_EQ(Port.Sent.size() % 2, 0u);
        return Times;
    }
    std::filesystem::path Target;
};

TEST_F(BlockProtocol, ThreeModelsThenEndMarker) {
    StartSaveAll();
    const TBytes A = ModelMemory(2, "ONE", 1, 3), B = ModelMemory(2, "TWO", 2, 4),
                 C = ModelMemory(2, "THREE", 3, 5);
    std::vector<std::uint64_t> Arrived;
    for (const TBytes* Block : {&A, &B, &C}) {
        Port.Receive(*Block);
        Arrived.push_back(Clock.Now);
        Step(); // header: the block's first two bytes
        Step(); // the rest, then the acknowledgement
        Clock.Now += 50;
    }
    Port.Receive(EndMarker);
    Arrived.push_back(Clock.Now);
    RunTransfer();

    EXPECT_FALSE(Engine.Running());
    EXPECT_EQ(ReadAll(Target), Concat({A, B, C}));
    EXPECT_EQ(Engine.BlockNo, 3);
    const std::vector<std::uint64_t> Acks = AckTimes();
    ASSERT_EQ(Acks.size(), 4u) << "one per block and one after the end marker";
    for (std::size_t i = 0; i < Acks.size(); ++i)
        EXPECT_EQ(Acks[i], Arrived[i] + 700);
    ASSERT_EQ(Window.Messages.size(), 1u);
    EXPECT_EQ(Window.Messages[0], "Transfer successfully completed.");
    EXPECT_EQ(Window.Page(), npButtons);
}

TEST_F(BlockProtocol, EndMarkerFirstKeepsTheEarlierBackupWithoutAcknowledgement) {
    WriteAll(Dir / "club.a22", ModelMemory(2, "OLD", 1));
    StartSaveAll();
    Port.Receive(EndMarker);
    EXPECT_THROW(RunTransfer(), platform::Exception);
    EXPECT_FALSE(Engine.Running());
    EXPECT_EQ(Engine.Outcome(), toFailed);
    EXPECT_EQ(ReadAll(Target), ModelMemory(2, "OLD", 1));
    EXPECT_TRUE(Port.Sent.empty());
    EXPECT_EQ(Window.TimerStarts, 0);
    EXPECT_TRUE(Window.Messages.empty());
}

TEST_F(BlockProtocol, MarkedBlockMayBeginWithTheMarkerByte) {
    StartSaveAll();
    TBytes Block = ModelMemory(2, "MARK", 4);
    Block[0] = 0x80;
    Block[1] = 0xFF; // would read as the end marker if taken as a header
    Port.Receive(Concat({BlockMarker, Block}));
    Step();
    EXPECT_FALSE(Engine.AwaitHeader);
    EXPECT_EQ(Engine.Count, 0);
    Step();
    EXPECT_EQ(ReadAll(Engine.DataFile.TemporaryName()), Block);
    EXPECT_EQ(Engine.BlockNo, 0) << "a marked block does not count as an unmarked one";
    EXPECT_EQ(AckTimes().size(), 1u);
    EXPECT_TRUE(Engine.AwaitHeader);
    EXPECT_TRUE(Engine.Running());
}

TEST_F(BlockProtocol, UnknownMarkerAfterABlockRepeatsTheAcknowledgement) {
    StartSaveAll();
    const TBytes Block = ModelMemory(2, "ONE", 1);
    Port.Receive(Block);
    Step();
    Step();
    ASSERT_EQ(AckTimes().size(), 1u);

    Port.Receive({0x80, 0x55});
    Step();
    EXPECT_EQ(AckTimes().size(), 2u);
    EXPECT_EQ(ReadAll(Engine.DataFile.TemporaryName()), Block) << "nothing more written";
    EXPECT_TRUE(Engine.AwaitHeader);

    // At the start of a transfer the same marker leads to waiting for a whole block.
    Engine.AbortBtnClick();
    StartSaveAll();
    Port.Receive({0x80, 0x55});
    Step();
    EXPECT_FALSE(Engine.AwaitHeader);
    EXPECT_EQ(Engine.Count, 0);
    EXPECT_EQ(Window.TimerStarts, 2);
}

TEST_F(BlockProtocol, LabelShowsBlockNumberAndBytesOfTheCurrentBlock) {
    StartSaveAll();
    Port.Receive(ModelMemory(2, "ONE", 1));
    Step();
    EXPECT_EQ(Window.Label(), "Block 1:  1024 bytes of 1024 transferred.");
    Step();
    const TBytes Second = ModelMemory(2, "TWO", 2);
    Port.Receive(TBytes(Second.begin(), Second.begin() + 100));
    Step(); // header taken: Count 2, 98 waiting
    EXPECT_EQ(Window.Label(), "Block 2:  100 bytes of 1024 transferred.");
    Port.Receive(TBytes(Second.begin() + 100, Second.end()));
    Step();
    // A block announced by its marker counts as well.
    Port.Receive(BlockMarker);
    Port.Receive(TBytes(100, 7));
    Step();
    EXPECT_EQ(Window.Label(), "Block 3:  100 bytes of 1024 transferred.");
}

TEST_F(BlockProtocol, Mc24RevealsTheStopButtonAtItsFirstBlock) {
    StartSaveAll(2);
    Port.Receive(ModelMemory(2, "ONE", 1));
    RunTransfer(3);
    EXPECT_FALSE(Window.AnhaltenVisible);
    Engine.AbortBtnClick();

    StartSaveAll(3);
    Port.Input.clear();
    Port.Receive({0x80, 0xAA});
    Step();
    EXPECT_FALSE(Window.AnhaltenVisible) << "a marker is no block";
    Port.Receive({0x01, 0x02});
    Step();
    EXPECT_FALSE(Window.AnhaltenVisible) << "the bytes belong to the marked block";
    Engine.AbortBtnClick();

    StartSaveAll(3);
    Port.Input.clear();
    Port.Receive({0x01, 0x02});
    Step();
    EXPECT_TRUE(Window.AnhaltenVisible);
}

TEST_F(BlockProtocol, CancelDuringThePauseSendsNoAcknowledgement) {
    WriteAll(Dir / "club.a22", ModelMemory(2, "OLD", 1));
    StartSaveAll();
    Port.Receive(ModelMemory(2, "ONE", 1));
    Step();
    Window.DuringPause.push_back([this] { Engine.AbortBtnClick(); });
    Step(); // completes the block, pauses, Cancel arrives inside
    EXPECT_TRUE(Port.Sent.empty());
    EXPECT_FALSE(Engine.Running());
    EXPECT_FALSE(Window.TimerEnabled);
    EXPECT_FALSE(Engine.Waiting);
    EXPECT_EQ(Window.Messages,
              std::vector<std::string>{
                  "Transfer interrupted by user!\rIncomplete data file has been deleted."});
    EXPECT_EQ(ReadAll(Target), ModelMemory(2, "OLD", 1));
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"club.a22"});
    // Nothing of the ended transfer happens on later idle calls either.
    Step();
    EXPECT_TRUE(Port.Sent.empty());
    EXPECT_EQ(Window.Messages.size(), 1u);
}

TEST_F(BlockProtocol, StopDuringThePauseKeepsTheBlockAndSendsNothing) {
    StartSaveAll();
    const TBytes Block = ModelMemory(2, "ONE", 1);
    Port.Receive(Block);
    Step();
    const TBytes Early = {0x80, 0xAA, 0x11};
    Window.DuringPause.push_back([&] {
        Port.Receive(Early);
        Engine.anhaltenClick();
    });
    Step();
    EXPECT_TRUE(Port.Sent.empty());
    EXPECT_EQ(Engine.Outcome(), toStopped);
    EXPECT_EQ(ReadAll(Target), Concat({Block, Early})) << "every byte that arrived is kept";
    EXPECT_EQ(Window.Messages.size(), 1u);
}

TEST_F(BlockProtocol, Send40aaGoesOutAtOnceWithoutChangingTheCount) {
    StartSaveAll();
    Port.Receive({0x01, 0x02, 0x03});
    Step();
    const std::uint16_t Before = Engine.Count;
    Engine.Send40aaClick();
    EXPECT_EQ(Port.Sent, Ack);
    EXPECT_EQ(Engine.Count, Before);
    EXPECT_EQ(Engine.BlockNo, 1);
    EXPECT_TRUE(Engine.Running());
}

} // namespace
} // namespace vaultix::transfer::test
