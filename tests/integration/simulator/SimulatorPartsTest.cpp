// The simulator's pieces without a line: schedule, images, command line and option checks.

#include "simulator/LinePacer.h"
#include "simulator/ModelImages.h"
#include "simulator/SimCommandLine.h"
#include "simulator/SimPlan.h"
#include "transfer/Cp1252.h"
#include "transfer/TxTypes.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string_view>

namespace vaultix::simulator {
namespace {

using namespace std::chrono_literals;

TEST(SimulatorPacer, ScheduleFollowsTwelveBitsAByteWithoutDrift) {
    TLinePacer at4800(4800, true);
    EXPECT_EQ(at4800.Offset(1), 2500us);
    EXPECT_EQ(at4800.Offset(400), 1s);
    EXPECT_EQ(at4800.Offset(400'000), 1000s); // exact over long runs

    TLinePacer at4000(4000, true);
    EXPECT_EQ(at4000.Offset(1), 3ms);
    EXPECT_EQ(at4000.Offset(2050), 6150ms);

    // A speed whose byte time is no whole number of nanoseconds: each byte's time is
    // rounded on its own, so the error never adds up.
    TLinePacer odd(4801, true);
    EXPECT_EQ(odd.Offset(4801).count(), 12'000'000'000);
}

TEST(SimulatorPacer, ByteIsDueExactlyAtItsScheduledTime) {
    TLinePacer pacer(4801, true);
    const auto origin = TSimClock::now();
    pacer.Restart(origin);
    EXPECT_EQ(pacer.DueBy(origin - 1ms), 0u);
    EXPECT_EQ(pacer.DueBy(origin), 1u);
    for (std::uint64_t i : {1u, 2u, 7u, 1000u, 123457u}) {
        EXPECT_EQ(pacer.DueBy(pacer.DueAt(i)), i + 1) << i;
        EXPECT_EQ(pacer.DueBy(pacer.DueAt(i) - 1ns), i) << i;
    }
    TLinePacer fast(4800, false);
    EXPECT_GT(fast.DueBy(origin), 1'000'000u);
}

TEST(SimulatorImages, NamesAndNumbersSitWhereEachTypeReadsThem) {
    for (std::size_t row = 0; row < transfer::TxTypes.size(); ++row) {
        const auto& type = transfer::TxTypes[row];
        const TImage model = MakeModelMemory(type, EncodeModelName("Ärger Ü"), 42, 11);
        ASSERT_EQ(model.size(), type.ModelSize);
        transfer::ExtractModelName(type, model, 0);
        if (type.NameLength == 0) {
            EXPECT_EQ(transfer::ModelName, "Data") << type.Code;
            EXPECT_EQ(model, MakeNoise(type.ModelSize, 11));
            continue;
        }
        EXPECT_EQ(transfer::Cp1252ToUtf8(transfer::ModelName), "Ärger Ü") << type.Code;
        EXPECT_EQ(transfer::ModelNumber, type.NumberOffset == transfer::NoModelNumber ? "" : "42 ")
            << type.Code;
    }
}

TEST(SimulatorImages, SeriesIsDeterministicPerSeedAndNamesEveryModel) {
    const auto& mc22 = transfer::TxTypes[2];
    const TImage series = MakeModelSeries(mc22, 10, 5);
    EXPECT_EQ(series, MakeModelSeries(mc22, 10, 5));
    EXPECT_NE(series, MakeModelSeries(mc22, 10, 6));
    EXPECT_NE(TImage(series.begin(), series.begin() + 1000),
              TImage(series.begin() + 1024, series.begin() + 2024));
    std::set<std::string> names;
    for (std::size_t i = 0; i < 10; ++i) {
        transfer::ExtractModelName(mc22, std::span(series).subspan(i * 1024, 1024), 0);
        EXPECT_EQ(transfer::ModelNumber, std::to_string(i + 1) + " ");
        names.insert(transfer::ModelName);
    }
    EXPECT_EQ(names.size(), 10u);
    EXPECT_EQ(EncodeModelName("Käfer"), "K\x84"
                                        "fer");
    EXPECT_EQ(EncodeModelName("ß€"), "??"); // no such letters on the transmitter
}

TSimCommand Parse(std::initializer_list<std::string_view> Args) {
    return ParseCommandLine(std::span(Args.begin(), Args.size()));
}

TEST(SimulatorCommandLine, TypesAndModes) {
    EXPECT_EQ(FindTxType("MC-18"), 0);
    EXPECT_EQ(FindTxType("MC-20"), 1);
    EXPECT_EQ(FindTxType("mc22"), 2);
    EXPECT_EQ(FindTxType("MX-22"), 4);
    EXPECT_EQ(FindTxType("ByteCount"), 5);
    EXPECT_EQ(FindTxType("test"), 5);
    EXPECT_EQ(FindTxType("MC-23"), -1);
    EXPECT_EQ(FindTxType("6"), -1);

    const TSimCommand one = Parse({"--type", "MC-22", "--send-one"});
    EXPECT_EQ(one.Options.TypeRow, 2);
    EXPECT_EQ(one.Options.Mode, TSimMode::smSendModel);
    EXPECT_TRUE(one.Options.Paced);

    const TSimCommand all =
        Parse({"--type", "MC-24", "--send-all", "3", "--fast", "--bad-marker", "0x33"});
    EXPECT_EQ(all.Options.Mode, TSimMode::smSendAll);
    EXPECT_EQ(all.Options.Models, 3u);
    EXPECT_FALSE(all.Options.Paced);
    EXPECT_TRUE(all.Options.Faults.BadMarker);
    EXPECT_EQ(all.Options.Faults.BadMarkerByte, 0x33);

    const TSimCommand faults = Parse({"--receive-all", "4", "--stall-after", "10", "--hangup-after",
                                      "20", "--device", "/dev/x"});
    EXPECT_EQ(faults.Options.Mode, TSimMode::smReceiveModels);
    EXPECT_EQ(faults.Options.Models, 4u);
    EXPECT_EQ(faults.Options.Faults.StallAfter, 10u);
    EXPECT_EQ(faults.Options.Faults.HangupAfter, 20u);
    EXPECT_EQ(faults.Options.DevicePath, "/dev/x");

    EXPECT_TRUE(Parse({"--help"}).ShowHelp);
}

TEST(SimulatorCommandLine, RefusesWhatDoesNotFit) {
    EXPECT_THROW(Parse({"--type", "MC-22"}), std::invalid_argument);
    EXPECT_THROW(Parse({"--send-one", "--receive"}), std::invalid_argument);
    EXPECT_THROW(Parse({"--send-all"}), std::invalid_argument);
    EXPECT_NO_THROW(Parse({"--send-all", "--file", "x.a22"}));
    EXPECT_THROW(Parse({"--send-one", "--bogus"}), std::invalid_argument);
    EXPECT_THROW(Parse({"--send-one", "--stall-after"}), std::invalid_argument);
    EXPECT_THROW(Parse({"--send-one", "--stall-after", "ten"}), std::invalid_argument);
    EXPECT_THROW(Parse({"--send-one", "--number", "256"}), std::invalid_argument);
    EXPECT_THROW(Parse({"--type", "MC-99", "--send-one"}), std::invalid_argument);
}

TEST(SimulatorPlan, UnitsFollowTheTypeAndFaultsTheMode) {
    TSimOptions options;
    options.TypeRow = 1;
    options.Mode = TSimMode::smSendMemory;
    EXPECT_EQ(PlanRun(options).TotalBytes(), 8194u);
    EXPECT_EQ(PlanRun(options).Baud, 4000u);
    options.TypeRow = 2;
    EXPECT_THROW(PlanRun(options), std::invalid_argument);

    options.Mode = TSimMode::smSendModel;
    options.Faults.BadMarker = true;
    EXPECT_THROW(PlanRun(options), std::invalid_argument);
    options.Mode = TSimMode::smSendAll;
    options.Models = 0;
    EXPECT_THROW(PlanRun(options), std::invalid_argument);
    options.Models = 2;
    options.Faults.BadMarkerByte = 0xFF;
    EXPECT_THROW(PlanRun(options), std::invalid_argument);
    options.Faults = {};

    options.Mode = TSimMode::smReceiveModels;
    options.Faults.GarbageBytes = 3;
    EXPECT_THROW(PlanRun(options), std::invalid_argument);
    options.Faults = {};
    options.Image = TImage(2048);
    EXPECT_TRUE(PlanRun(options).Check);
    options.Image = TImage(1024);
    EXPECT_THROW(PlanRun(options), std::invalid_argument);
}

} // namespace
} // namespace vaultix::simulator
