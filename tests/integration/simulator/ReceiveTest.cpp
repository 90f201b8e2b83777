// The simulator as a transmitter receiving a restore: every byte checked or stored.

#include "SlaveEnd.h"

namespace vaultix::simulator::testing {
namespace {

constexpr int Mc18 = 0, Mc22 = 2;

TEST(SimulatorReceive, IntactModelPassesAndIsKept) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smReceiveModels);
    options.Image = MakeModelSeries(transfer::TxTypes[Mc22], 1, 7);
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    slave.Write(options.Image);
    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->Ok()) << ::testing::PrintToString(result->Errors);
    EXPECT_EQ(result->Received, options.Image);
}

TEST(SimulatorReceive, ReportsTheFirstDifferingByte) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smReceiveModels);
    options.Image = MakeModelSeries(transfer::TxTypes[Mc22], 1, 7);
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    TBytes sent = options.Image;
    sent[517] = static_cast<std::uint8_t>(~sent[517]);
    sent[900] = static_cast<std::uint8_t>(~sent[900]);
    slave.Write(sent);
    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Outcome, TSimOutcome::soCompleted);
    ASSERT_EQ(result->Errors.size(), 1u);
    char expected[64];
    std::snprintf(expected, sizeof expected, "byte 517 of the restore differs: expected 0x%02X",
                  options.Image[517]);
    EXPECT_TRUE(HasErrorWith(*result, expected)) << result->Errors[0];
    EXPECT_TRUE(HasErrorWith(*result, "2 byte(s) differ")) << result->Errors[0];
    EXPECT_EQ(result->Received, sent);
}

TEST(SimulatorReceive, SeriesNamesTheModelAndOffsetOfADifference) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smReceiveModels);
    options.Models = 2;
    options.CheckGenerated = true;
    options.Seed = 3;
    TTxSimulator sim(options);
    ASSERT_EQ(sim.Image(), MakeModelSeries(transfer::TxTypes[Mc22], 2, 3));
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    TBytes sent = sim.Image();
    sent[1024 + 3] ^= 0x01;
    slave.Write(sent);
    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_TRUE(HasErrorWith(*result, "byte 1027 (model 2, offset 3)"))
        << ::testing::PrintToString(result->Errors);
}

TEST(SimulatorReceive, WithoutAnImageItOnlyStoresAndCountsSurplus) {
    TSimOptions options = QuickOptions(Mc18, TSimMode::smReceiveMemory);
    options.Linger = 300ms;
    TTxSimulator sim(options);
    EXPECT_TRUE(sim.Image().empty());
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    const TBytes sent = MakeNoise(2050 + 3, 5);
    slave.Write(sent);
    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Received, Slice(sent, 0, 2050));
    EXPECT_EQ(result->BytesReceived, 2053u);
    EXPECT_TRUE(HasErrorWith(*result, "3 byte(s) more than the 2050-byte restore"))
        << ::testing::PrintToString(result->Errors);
}

TEST(SimulatorReceive, IdleTimeoutEndsAnIncompleteRestore) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smReceiveModels);
    options.IdleTimeout = 150ms;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    slave.Write(TBytes(10, 0x11));
    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Outcome, TSimOutcome::soFailed);
    EXPECT_TRUE(HasErrorWith(*result, "after 10 of 1024 bytes"))
        << ::testing::PrintToString(result->Errors);
}

TEST(SimulatorReceive, StalledReceiverStopsReadingAtItsByte) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smReceiveModels);
    options.Faults.StallAfter = 100;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    slave.Write(TBytes(1024, 0x22));
    EXPECT_FALSE(sim.Wait(100ms));
    const TSimResult result = sim.Stop();
    EXPECT_EQ(result.Outcome, TSimOutcome::soStalled);
    EXPECT_EQ(result.Received.size(), 100u);
}

} // namespace
} // namespace vaultix::simulator::testing
