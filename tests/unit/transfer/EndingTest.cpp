// How transfers end other than by completion: Cancel, stop-and-keep, and failures, which must
// be reported once and never turn into a success.

#include "TransferFakes.h"

#include <cerrno>

#include "platform/RuntimeExceptions.h"
#include "transfer/BackupFiles.h"
#include "transfer/DescriptionFile.h"

namespace vaultix::transfer::test {
namespace {

class Ending : public ::testing::Test, public TEngineRig {
protected:
    void StartSave(const std::string& Name = "club.m22") {
        Target = Dir / Name;
        Engine.PrepareReceive(Target, 1024, false);
        Engine.Start();
    }
    void StartRestore(const TBytes& Content) {
        Target = Dir / "glider.m22";
        WriteAll(Target, Content);
        Engine.PrepareSend(Target, 1024, false, false);
        Engine.Start();
    }
    std::filesystem::path Target;
};

// Cancel ends a save, a restore, or a flow whose transfer never started; the files of the chosen
// name stay as they were in every case.
TEST_F(Ending, CancelEndsAnyTransferAndKeepsTheBackup) {
    {
        SCOPED_TRACE("a save, over an earlier backup and without one");
        const TBytes Previous = ModelMemory(2, "OLD", 1);
        WriteAll(Dir / "club.m22", Previous);
        WriteDescriptionFile(DescriptionFileName(Dir / "club.m22"), "my club");
        StartSave();
        Port.Receive(TBytes(600, 5));
        Step();

        Engine.AbortBtnClick();
        EXPECT_FALSE(Engine.Running());
        EXPECT_EQ(Engine.Outcome(), toCancelled);
        EXPECT_EQ(ReadAll(Target), Previous);
        EXPECT_EQ(Dir.Entries(), (std::vector<std::string>{"club.m22", "club.m22.dsc"}));
        EXPECT_EQ(Window.Messages,
                  std::vector<std::string>{
                      "Transfer interrupted by user!\rIncomplete data file has been deleted."});
        EXPECT_EQ(Window.Idle, ihMonitorIdle);
        EXPECT_EQ(Window.Page(), npButtons);
        EXPECT_EQ(Port.Input.size(), 600u) << "Cancel discards no port buffer";

        StartSave("fresh.m22");
        Engine.AbortBtnClick();
        EXPECT_FALSE(std::filesystem::exists(Dir / "fresh.m22"));
        EXPECT_EQ(Dir.Entries().size(), 2u);
        Window.Messages.clear();
    }
    {
        SCOPED_TRACE("a restore: silent");
        const TBytes Model = ModelMemory(2, "GLIDER", 12);
        StartRestore(Model);
        Step();
        Port.Drain();
        Step();
        Engine.AbortBtnClick();
        EXPECT_FALSE(Engine.Running());
        EXPECT_TRUE(Window.Messages.empty());
        EXPECT_EQ(ReadAll(Target), Model);
        EXPECT_FALSE(Engine.DataFile.IsOpen());
        EXPECT_EQ(Window.Page(), npButtons);
    }
    {
        SCOPED_TRACE("a flow that failed after showing the transfer page");
        const std::vector<std::string> Before = Dir.Entries();
        Engine.CreateDataFile(Dir / "other.m22");
        Engine.AbortBtnClick();
        EXPECT_TRUE(Window.Messages.empty());
        EXPECT_EQ(Window.Page(), npButtons);
        EXPECT_EQ(Dir.Entries(), Before);
    }
}

TEST_F(Ending, StopKeepsEveryByteReceivedIncludingThoseWaiting) {
    WriteAll(Dir / "count.tst", TBytes(10, 0));
    Window.TxBox = TestTypeRow;
    Target = Dir / "count.tst";
    Engine.PrepareReceive(Target, 65535, false);
    Engine.Start();
    TBytes Stream(5120 + 15000);
    for (std::size_t i = 0; i < Stream.size(); ++i)
        Stream[i] = static_cast<std::uint8_t>(i % 253);
    Port.Receive(TBytes(Stream.begin(), Stream.begin() + 5200));
    Step(); // takes 5120, 80 wait
    Port.Receive(TBytes(Stream.begin() + 5200, Stream.end()));

    Engine.anhaltenClick();
    EXPECT_EQ(Engine.Outcome(), toStopped);
    EXPECT_EQ(ReadAll(Target), Stream) << "more was waiting than the buffer holds";
    EXPECT_TRUE(Port.Input.empty());
    EXPECT_EQ(Window.Messages,
              std::vector<std::string>{"Transfer interrupted by user!\rIncomplete data file "
                                       "stored for debugging purposes."});
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"count.tst"});
}

TEST_F(Ending, StopWhileSendingDropsTheInputAndNeverWritesTheBackup) {
    const TBytes Model = ModelMemory(2, "GLIDER", 12);
    StartRestore(Model);
    Step();
    Port.Receive({1, 2, 3});
    Engine.anhaltenClick();
    EXPECT_TRUE(Port.Input.empty());
    EXPECT_EQ(ReadAll(Target), Model);
    EXPECT_FALSE(Engine.DataFile.IsOpen());
    EXPECT_EQ(Engine.Outcome(), toStopped);
}

TEST_F(Ending, LastingPortFailureIsReportedOnceAndNeverSucceeds) {
    StartSave();
    Port.Receive(TBytes(1024, 7));
    Port.FailReads = true;
    EXPECT_THROW(Step(), serial::EOxException);
    EXPECT_TRUE(Engine.Halted());
    EXPECT_TRUE(Engine.Running());
    EXPECT_EQ(Window.Label(), TTransferEngine::HaltedLabel);
    const int Reads = Port.ReadCalls;

    // The device stays gone for a while, then comes back; the halted transfer does nothing.
    for (int i = 0; i < 50; ++i)
        EXPECT_NO_THROW(Step());
    Port.FailReads = false;
    for (int i = 0; i < 50; ++i)
        EXPECT_NO_THROW(Step());
    EXPECT_EQ(Port.ReadCalls, Reads);
    EXPECT_TRUE(Window.Messages.empty()) << "no success after a failure";
    EXPECT_EQ(Window.Idle, ihTransferIdle) << "the transfer stays until the user ends it";

    Engine.AbortBtnClick();
    EXPECT_FALSE(Engine.Running());
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{});

    // The next transfer starts clean.
    StartSave();
    RunTransfer();
    EXPECT_EQ(Engine.Outcome(), toCompleted);
}

TEST_F(Ending, FileThatCannotBeFinishedEndsTheTransferWithOneError) {
    // A directory put where the backup should go: the new content cannot take its name.
    StartSave();
    std::filesystem::create_directory(Dir / "club.m22");
    Port.Receive(ModelMemory(2, "GLIDER", 12));
    EXPECT_THROW(Step(), platform::EInOutError);
    EXPECT_FALSE(Engine.Running());
    EXPECT_EQ(Engine.Outcome(), toFailed);
    EXPECT_TRUE(Window.Messages.empty());
    EXPECT_EQ(Window.Idle, ihMonitorIdle);
    EXPECT_EQ(Window.Page(), npButtons);
    EXPECT_EQ(Window.Label(), "");
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"club.m22"}) << "no temporary left";
    EXPECT_NO_THROW(Step());
}

TEST_F(Ending, NewContentCannotBeStartedInAMissingFolder) {
    try {
        Engine.PrepareReceive(Dir / "gone" / "club.m22", 1024, false);
        ADD_FAILURE() << "created a file in a folder that does not exist";
    } catch (const platform::EInOutError& Error) {
        EXPECT_EQ(Error.ErrorCode(), ENOENT);
        EXPECT_EQ(Error.Message(), "No such file or directory");
    }
    EXPECT_FALSE(Engine.DataFile.IsOpen());
}

} // namespace
} // namespace vaultix::transfer::test
