// The simulator sending all models with the block protocol, against a reader that plays the
// PC side by hand: markers, acknowledgements and their timing.

#include "SlaveEnd.h"

namespace vaultix::simulator::testing {
namespace {

constexpr int Mc22 = 2, Mc18 = 0;
const TBytes BlockHeader = {0x80, 0xAA};
const TBytes EndMarker = {0x80, 0xFF};

// Block protocol with a short minimum delay, so that a patient reader is quick.
TSimOptions BlockOptions(std::size_t Models) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smSendAll);
    options.Models = Models;
    options.MinAckDelay = 50ms;
    options.AckTimeout = 3s;
    return options;
}

std::vector<TAckKind> KindsOf(const TSimResult& Result) {
    std::vector<TAckKind> kinds;
    for (const auto& ack : Result.Acks)
        kinds.push_back(ack.Kind);
    return kinds;
}

TEST(SimulatorBlocks, EachBlockFollowsOnlyTheAcknowledgementOfTheLast) {
    TTxSimulator sim(BlockOptions(3));
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    for (std::size_t block = 0; block < 3; ++block) {
        EXPECT_EQ(slave.Read(2), BlockHeader) << "block " << block;
        EXPECT_EQ(slave.Read(1024), Slice(sim.Image(), block * 1024, 1024));
        // Longer than the minimum delay: nothing may come before the acknowledgement.
        EXPECT_TRUE(slave.QuietFor(100ms)) << "block " << block;
        slave.Ack();
    }
    EXPECT_EQ(slave.Read(2), EndMarker);
    EXPECT_TRUE(slave.QuietFor(100ms));
    slave.Ack();

    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->Ok()) << ::testing::PrintToString(result->Errors);
    EXPECT_EQ(KindsOf(*result), (std::vector{TAckKind::akBlock, TAckKind::akBlock,
                                             TAckKind::akBlock, TAckKind::akEnd}));
    for (const auto& ack : result->Acks) {
        EXPECT_FALSE(ack.Early);
        // The quiet wait above bounds the delay from below; the recorded delay is truncated to
        // whole milliseconds and poll() may wake a little early.
        EXPECT_GE(ack.Delay, 95ms);
    }
    EXPECT_EQ(result->Acks.back().Block, 3u);
    EXPECT_EQ(result->BytesSent, 3 * (2 + 1024) + 2u);
    EXPECT_EQ(result->BytesReceived, 8u);
}

TEST(SimulatorBlocks, AnAcknowledgementSoonerThan700MsIsAFailure) {
    TSimOptions options = BlockOptions(1);
    options.MinAckDelay = 700ms;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    EXPECT_EQ(slave.Read(1026).size(), 1026u);
    slave.Ack();
    EXPECT_EQ(slave.Read(2), EndMarker);
    slave.Ack();

    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->Ok());
    ASSERT_EQ(result->Acks.size(), 2u);
    EXPECT_TRUE(result->Acks[0].Early);
    EXPECT_LT(result->Acks[0].Delay, 700ms);
    EXPECT_TRUE(HasErrorWith(*result, "block 1")) << ::testing::PrintToString(result->Errors);
    EXPECT_TRUE(HasErrorWith(*result, "sooner than 700 ms"));
}

TEST(SimulatorBlocks, AnAcknowledgementInTheMiddleOfABlockCountsAsEarly) {
    TSimOptions options = BlockOptions(1);
    options.Paced = true;
    options.Baud = 24000; // 2000 bytes/s: the block takes half a second
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    EXPECT_EQ(slave.Read(10).size(), 10u);
    slave.Ack();
    EXPECT_EQ(slave.Read(1016).size(), 1016u);
    EXPECT_EQ(slave.Read(2), EndMarker);
    EXPECT_TRUE(slave.QuietFor(60ms));
    slave.Ack();

    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->Acks.size(), 2u);
    EXPECT_TRUE(result->Acks[0].Early);
    EXPECT_LT(result->Acks[0].Delay, 0ms);
    EXPECT_FALSE(result->Acks[1].Early);
}

TEST(SimulatorBlocks, AMissingAcknowledgementTimesOutAndEndsTheRun) {
    TSimOptions options = BlockOptions(2);
    options.AckTimeout = 200ms;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    EXPECT_EQ(slave.Read(1026).size(), 1026u);
    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Outcome, TSimOutcome::soFailed);
    EXPECT_TRUE(HasErrorWith(*result, "no acknowledgement of block 1"))
        << ::testing::PrintToString(result->Errors);
    EXPECT_TRUE(slave.QuietFor(100ms)) << "no second block without an acknowledgement";
}

TEST(SimulatorBlocks, BadMarkerAfterTheFirstBlockIsAcknowledgedAgain) {
    TSimOptions options = BlockOptions(2);
    options.Faults.BadMarker = true;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    EXPECT_EQ(slave.Read(1026).size(), 1026u);
    EXPECT_TRUE(slave.QuietFor(60ms));
    slave.Ack();
    EXPECT_EQ(slave.Read(2), (TBytes{0x80, 0x55}));
    EXPECT_TRUE(slave.QuietFor(60ms));
    slave.Ack();
    EXPECT_EQ(slave.Read(2), BlockHeader);
    EXPECT_EQ(slave.Read(1024), Slice(sim.Image(), 1024, 1024));
    EXPECT_TRUE(slave.QuietFor(60ms));
    slave.Ack();
    EXPECT_EQ(slave.Read(2), EndMarker);
    EXPECT_TRUE(slave.QuietFor(60ms));
    slave.Ack();

    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->Ok()) << ::testing::PrintToString(result->Errors);
    EXPECT_EQ(KindsOf(*result), (std::vector{TAckKind::akBlock, TAckKind::akRepeat,
                                             TAckKind::akBlock, TAckKind::akEnd}));
}

TEST(SimulatorBlocks, EndMarkerFirstExpectsNoAcknowledgement) {
    TSimOptions options = BlockOptions(3);
    options.Faults.EndFirst = true;
    options.Linger = 150ms;
    {
        TTxSimulator sim(options);
        TSlaveEnd slave(sim.SlavePath());
        sim.Start();
        EXPECT_EQ(slave.Read(3, 500ms), EndMarker);
        const auto result = sim.Wait(5s);
        ASSERT_TRUE(result);
        EXPECT_TRUE(result->Ok()) << ::testing::PrintToString(result->Errors);
        EXPECT_TRUE(result->Acks.empty());
    }
    {
        TTxSimulator sim(options);
        TSlaveEnd slave(sim.SlavePath());
        sim.Start();
        EXPECT_EQ(slave.Read(2), EndMarker);
        slave.Ack();
        const auto result = sim.Wait(5s);
        ASSERT_TRUE(result);
        EXPECT_TRUE(HasErrorWith(*result, "followed no block"))
            << ::testing::PrintToString(result->Errors);
    }
}

TEST(SimulatorBlocks, StopIsPromptWhileWaitingForAnAcknowledgement) {
    TSimOptions options = BlockOptions(1);
    options.AckTimeout = 60s;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    EXPECT_EQ(slave.Read(1026).size(), 1026u);
    const TSimResult result = sim.Stop();
    EXPECT_EQ(result.Outcome, TSimOutcome::soStopped);
    EXPECT_TRUE(result.Acks.empty());
}

TEST(SimulatorBlocks, OnlyTheBlockTypesHaveTheBlockProtocol) {
    EXPECT_THROW(TTxSimulator{QuickOptions(Mc18, TSimMode::smSendAll)}, std::invalid_argument);
    TSimOptions options = BlockOptions(1);
    options.Image = TBytes(1500);
    EXPECT_THROW(TTxSimulator{options}, std::invalid_argument);
    options.Image = TBytes(2048);
    TTxSimulator fromFile(options);
    EXPECT_EQ(fromFile.RunPlan().Units, 2u);
}

} // namespace
} // namespace vaultix::simulator::testing
