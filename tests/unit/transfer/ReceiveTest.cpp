// Receiving plain units: one model, a whole memory image, the open-ended test type; progress;
// and the rule that the chosen file changes only when the transfer completes.

#include "TransferFakes.h"

namespace vaultix::transfer::test {
namespace {

class Receive : public ::testing::Test, public TEngineRig {
protected:
    void StartReceive(int Row, std::uint16_t Unit, const std::string& Name = "model.m22") {
        Window.TxBox = Row;
        Target = Dir / Name;
        Engine.PrepareReceive(Target, Unit, false);
        Engine.Start();
    }
    std::filesystem::path Target;
};

TEST_F(Receive, OneMc22ModelNamesNumberAndModel) {
    const TBytes Model = ModelMemory(2, "GLIDER", 12);
    StartReceive(2, 1024);
    EXPECT_EQ(Window.Idle, ihTransferIdle);

    Port.Receive(TBytes(Model.begin(), Model.begin() + 1000));
    Step();
    EXPECT_EQ(Window.Label(), "1000 bytes of 1024 transferred.");
    EXPECT_TRUE(Engine.Running());

    Port.Receive(TBytes(Model.begin() + 1000, Model.end()));
    Step();
    EXPECT_FALSE(Engine.Running());
    EXPECT_EQ(Engine.Outcome(), toCompleted);
    EXPECT_EQ(ReadAll(Target), Model);
    ASSERT_EQ(Window.Messages.size(), 1u);
    EXPECT_EQ(Window.Messages[0], "Model 12  \"GLIDER\" successfully transferred.");
    // The last progress before the box showed the whole unit; afterwards it is reset.
    ASSERT_GE(Window.Labels.size(), 2u);
    EXPECT_EQ(Window.Labels[Window.Labels.size() - 2], "1024 bytes of 1024 transferred.");
    EXPECT_EQ(Window.Label(), "");
    EXPECT_EQ(Window.Bar(), 0);
    EXPECT_EQ(Window.Idle, ihMonitorIdle);
    EXPECT_EQ(Window.Page(), npButtons);
    EXPECT_TRUE(Port.Sent.empty()) << "a plain unit is never acknowledged";
}

TEST_F(Receive, Mc18ModelHasNoNumberAndWholeMemoryNamesNoModel) {
    StartReceive(0, 258, "one.m18");
    Port.Receive(ModelMemory(0, "ACRO", 0));
    RunTransfer();
    ASSERT_EQ(Window.Messages.size(), 1u);
    EXPECT_EQ(Window.Messages[0], "Model  \"ACRO\" successfully transferred.");

    Window.Messages.clear();
    TBytes Memory(2050);
    for (std::size_t i = 0; i < Memory.size(); ++i)
        Memory[i] = static_cast<std::uint8_t>(i);
    StartReceive(0, 2050, "all.a18");
    Port.Receive(Memory);
    RunTransfer();
    ASSERT_EQ(Window.Messages.size(), 1u);
    EXPECT_EQ(Window.Messages[0], "Transfer successfully completed.");
    EXPECT_EQ(ReadAll(Target), Memory);
}

TEST_F(Receive, ProgressBarTruncatesAndCapsAtFull) {
    StartReceive(2, 1024);
    Port.Receive(TBytes(512, 1));
    Step();
    EXPECT_EQ(Window.Bar(), 50);
    Port.Receive(TBytes(511, 1));
    Step();
    EXPECT_EQ(Window.Bar(), 99);
    EXPECT_EQ(Window.Label(), "1023 bytes of 1024 transferred.");
}

TEST_F(Receive, SurplusBeyondTheUnitStaysInThePort) {
    StartReceive(2, 1024);
    Port.Receive(TBytes(1024 + 6000, 3));
    Step();
    EXPECT_FALSE(Engine.Running());
    EXPECT_EQ(ReadAll(Target).size(), 1024u);
    EXPECT_EQ(Port.Input.size(), 6000u);
    // The bar showed full before the end reset it.
    ASSERT_GE(Window.Bars.size(), 2u);
    EXPECT_EQ(Window.Bars[Window.Bars.size() - 2], 100);
}

TEST_F(Receive, PreviousBackupStaysUntilTheUnitIsComplete) {
    Target = Dir / "club.m22";
    const TBytes Previous = ModelMemory(2, "OLD", 1);
    WriteAll(Target, Previous);
    std::filesystem::permissions(Target, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_write |
                                             std::filesystem::perms::group_read);

    StartReceive(2, 1024, "club.m22");
    const TBytes Fresh = ModelMemory(2, "NEW", 2);
    Port.Receive(TBytes(Fresh.begin(), Fresh.begin() + 700));
    Step();
    EXPECT_EQ(ReadAll(Target), Previous);
    EXPECT_EQ(Dir.Entries().size(), 2u) << "the new content waits beside the backup";

    Port.Receive(TBytes(Fresh.begin() + 700, Fresh.end()));
    RunTransfer();
    EXPECT_EQ(ReadAll(Target), Fresh);
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"club.m22"});
    // A replaced backup keeps its permissions.
    EXPECT_EQ(std::filesystem::status(Target).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
}

TEST_F(Receive, LongUnitIsTakenInPiecesAndTheTestTypeEndsAt65535) {
    StartReceive(TestTypeRow, 65535, "count.tst");
    TBytes Stream(72000);
    for (std::size_t i = 0; i < Stream.size(); ++i)
        Stream[i] = static_cast<std::uint8_t>(i % 251);

    Port.Receive(TBytes(Stream.begin(), Stream.begin() + 6000));
    Step();
    EXPECT_EQ(Engine.Count, 5120) << "5120 bytes are taken before the unit is whole";
    EXPECT_EQ(Port.Input.size(), 880u);
    EXPECT_EQ(Window.Label(), "6000 bytes of 65535 transferred.");

    // Everything else arrives at once; Count must reach 65535 exactly, never wrap past it.
    Port.Receive(TBytes(Stream.begin() + 6000, Stream.end()));
    int Steps = 0;
    while (Engine.Running() && Steps < 100) {
        Step();
        ++Steps;
        EXPECT_LE(Engine.Count, 65535);
        if (Engine.Running()) {
            EXPECT_GE(Engine.Count, 5120);
        }
    }
    EXPECT_FALSE(Engine.Running());
    EXPECT_EQ(Engine.Count, 65535);
    EXPECT_EQ(ReadAll(Target), TBytes(Stream.begin(), Stream.begin() + 65535));
    EXPECT_EQ(Port.Input.size(), 72000u - 65535u);
    ASSERT_EQ(Window.Messages.size(), 1u);
    EXPECT_EQ(Window.Messages[0], "Model  \"Data\" successfully transferred.");
}

TEST_F(Receive, StartRefusesAMissingOrMismatchedFile) {
    Engine.TransferSize = 1024;
    EXPECT_THROW(Engine.Start(), platform::Exception);
    Engine.Sending = true;
    Engine.CreateDataFile(Dir / "x.m22");
    EXPECT_THROW(Engine.Start(), platform::Exception) << "a send needs a file to read";
    EXPECT_FALSE(Engine.Running());
    EXPECT_EQ(Window.IdleInstalls, 0);
}

} // namespace
} // namespace vaultix::transfer::test
