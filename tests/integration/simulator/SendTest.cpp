// The simulator as a sending transmitter: one model, the whole memory, pacing and the faults
// of a plain transfer, seen from a plain reader on the slave side.

#include "SlaveEnd.h"

#include "transfer/Cp1252.h"
#include "transfer/TxTypes.h"

namespace vaultix::simulator::testing {
namespace {

constexpr int Mc18 = 0, Mc20 = 1, Mc22 = 2;

TEST(SimulatorSend, OneMc22ModelArrivesWithNameAndNumber) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smSendModel);
    options.Names = {EncodeModelName("Möwe Zwölf")};
    options.FirstNumber = 12;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();

    const TBytes got = slave.Read(1024);
    EXPECT_TRUE(slave.QuietFor(100ms));
    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->Ok()) << ::testing::PrintToString(result->Errors);
    EXPECT_EQ(result->BytesSent, 1024u);
    ASSERT_EQ(got, sim.Image());

    // The name sits at 1004 in code page 437, padded with blanks; the number at 1022.
    const TBytes name = Slice(got, 1004, 16);
    EXPECT_EQ(name[1], 0x94); // ö
    EXPECT_EQ(name[7], 0x94);
    EXPECT_EQ(name[10], ' ');
    EXPECT_EQ(name[15], ' ');
    EXPECT_EQ(got[1022], 12);
    transfer::ExtractModelName(transfer::TxTypes[Mc22], got, 0);
    EXPECT_EQ(transfer::Cp1252ToUtf8(transfer::ModelName), "Möwe Zwölf");
    EXPECT_EQ(transfer::ModelNumber, "12 ");
}

TEST(SimulatorSend, WholeMemoryOfTheMc18TypesIsOneUnit) {
    for (const auto& [row, size] : {std::pair{Mc18, 2050u}, std::pair{Mc20, 8194u}}) {
        TTxSimulator sim(QuickOptions(row, TSimMode::smSendMemory));
        TSlaveEnd slave(sim.SlavePath());
        sim.Start();
        const TBytes got = slave.Read(size);
        EXPECT_EQ(got, sim.Image()) << "row " << row;
        EXPECT_TRUE(slave.QuietFor(50ms));
        ASSERT_TRUE(sim.Wait(5s));
    }
}

TEST(SimulatorSend, GivenImageIsSentUnchangedAndMustFitTheUnit) {
    TSimOptions options = QuickOptions(Mc18, TSimMode::smSendModel);
    options.Image = MakeNoise(258, 99);
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    EXPECT_EQ(slave.Read(258), options.Image);
    ASSERT_TRUE(sim.Wait(5s));

    options.Image.pop_back();
    EXPECT_THROW(TTxSimulator{options}, std::invalid_argument);
}

TEST(SimulatorSend, PacedAt4800BaudFourHundredBytesTakeAboutASecond) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smSendModel);
    options.Paced = true;
    options.Faults.StallAfter = 400;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    const auto start = std::chrono::steady_clock::now();
    sim.Start();
    const TBytes got = slave.Read(400, 5s);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(got.size(), 400u);
    // 399 byte times of 2.5 ms after the first byte; a lower bound only, machines are noisy.
    EXPECT_GE(took, 800ms);
    EXPECT_EQ(sim.Stop().Outcome, TSimOutcome::soStalled);
}

TEST(SimulatorSend, GarbageGoesOutBeforeTheChosenByte) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smSendModel);
    options.Faults.GarbageBytes = 5;
    options.Faults.GarbageAt = 100;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    const TBytes got = slave.Read(1029);
    ASSERT_EQ(got.size(), 1029u);
    EXPECT_EQ(Slice(got, 0, 100), Slice(sim.Image(), 0, 100));
    EXPECT_EQ(Slice(got, 105, 924), Slice(sim.Image(), 100, 924));
    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->BytesSent, 1029u);
}

TEST(SimulatorSend, StallKeepsTheLineSilentUntilStopped) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smSendModel);
    options.Faults.StallAfter = 300;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    EXPECT_EQ(slave.Read(1024, 300ms).size(), 300u);
    EXPECT_FALSE(sim.Wait(50ms));
    const TSimResult result = sim.Stop();
    EXPECT_EQ(result.Outcome, TSimOutcome::soStalled);
    EXPECT_EQ(result.BytesSent, 300u);
}

TEST(SimulatorSend, HangupClosesTheMasterMidTransfer) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smSendModel);
    options.Faults.HangupAfter = 100;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    EXPECT_EQ(slave.Read(1024, 1s).size(), 100u);
    EXPECT_TRUE(slave.HungUp());
    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Outcome, TSimOutcome::soHungUp);
    EXPECT_EQ(result->BytesSent, 100u);
}

TEST(SimulatorSend, BytesFromThePcDuringAPlainSendAreReported) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smSendModel);
    options.Linger = 300ms;
    TTxSimulator sim(options);
    TSlaveEnd slave(sim.SlavePath());
    sim.Start();
    slave.Read(1024);
    slave.Write({0x17});
    const auto result = sim.Wait(5s);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->Ok());
    EXPECT_TRUE(HasErrorWith(*result, "0x17")) << ::testing::PrintToString(result->Errors);
}

TEST(SimulatorSend, StopIsPromptAlsoBeforeTheFirstByte) {
    TSimOptions options = QuickOptions(Mc22, TSimMode::smSendModel);
    options.StartDelay = 60s;
    TTxSimulator sim(options);
    sim.Start();
    const TSimResult result = sim.Stop();
    EXPECT_EQ(result.Outcome, TSimOutcome::soStopped);
    EXPECT_EQ(result.BytesSent, 0u);
    EXPECT_EQ(sim.Stop().Outcome, TSimOutcome::soStopped);
}

} // namespace
} // namespace vaultix::simulator::testing
