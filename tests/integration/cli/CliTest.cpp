// vaultix-cli as a process, with the simulated transmitter at the far end of a pseudo-terminal:
// transfers byte for byte, interrupted transfers, the file commands, and ports that do not open.

#include "CliProcess.h"

#include "simulator/TxSimulator.h"
#include "tests/support/PtyPair.h"
#include "transfer/DescriptionFile.h"
#include "transfer/TxTypes.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vaultix::cli::testing {
namespace {

using namespace std::string_literals;

namespace fs = std::filesystem;
using simulator::TImage;
using simulator::TSimMode;
using simulator::TSimOptions;
using simulator::TTxSimulator;

constexpr int Mc18 = 0, Mc22 = 2, Mc24 = 3;
constexpr char SendPrompt[] = "Now let your transmitter send data";

std::string ReadText(const fs::path& Path) {
    std::ifstream In(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

TImage ReadImage(const fs::path& Path) {
    const std::string Text = ReadText(Path);
    return TImage(Text.begin(), Text.end());
}

void WriteText(const fs::path& Path, std::string_view Text) {
    std::ofstream(Path, std::ios::binary) << Text;
}

void WriteImage(const fs::path& Path, const TImage& Image) {
    WriteText(Path, std::string_view(reinterpret_cast<const char*>(Image.data()), Image.size()));
}

TImage UnitOf(const TImage& Image, std::size_t Index, std::size_t Size) {
    return TImage(Image.begin() + Index * Size, Image.begin() + (Index + 1) * Size);
}

// The simulator plays its part as fast as the pseudo-terminal takes it; the line speed only
// matters to the benchmark.
TSimOptions Quick(int Row, TSimMode Mode) {
    TSimOptions Options;
    Options.TypeRow = Row;
    Options.Mode = Mode;
    Options.Paced = false;
    Options.Linger = 300ms;
    Options.IdleTimeout = 20s;
    return Options;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() /
              ("vaultix-cli-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    // A save through the CLI with Sim sending once the program asks for it.
    TCliResult Save(TTxSimulator& Sim, std::vector<std::string> Args) {
        Args.insert(Args.begin(), {"save", "--port", Sim.SlavePath()});
        TCliProcess Cli(Args);
        EXPECT_TRUE(Cli.WaitForError(SendPrompt));
        Sim.Start();
        return Cli.Wait();
    }

    // Names in Dir, to see that no temporary is left behind.
    std::set<std::string> Entries() const {
        std::set<std::string> Names;
        for (const auto& Entry : fs::directory_iterator(Dir))
            Names.insert(Entry.path().filename().string());
        return Names;
    }

    fs::path Dir;
};

TEST_F(CliTest, SavesOneModelAllModelsAndAWholeMemoryByteForByte) {
    const fs::path One = Dir / "glider.m22";
    {
        TTxSimulator Sim(Quick(Mc22, TSimMode::smSendModel));
        const TCliResult R = Save(Sim, {"--type", "MC-22", "--description", "Hangar 3\nwing", One});
        EXPECT_EQ(R.Status, 0) << R.Err;
        EXPECT_EQ(R.Out, "Model 1  \"Käfer\" successfully transferred.\n");
        EXPECT_EQ(ReadImage(One), Sim.Image());
        EXPECT_EQ(ReadText(Dir / "glider.m22.dsc"), "Hangar 3\r\nwing");
        EXPECT_TRUE(Sim.Wait(5s)->Ok());
    }
    {
        // Saved again without a description: the new model, the old description byte for byte
        // (bare line feeds, a code Windows-1252 leaves open, a NUL, final blank lines). A name
        // holding escape sequences and a NUL reaches the terminal escaped, on one line.
        const std::string Kept = "Hangar 3\nwing \x81\0tail\r\n\r\n"s;
        WriteText(Dir / "glider.m22.dsc", Kept);
        TSimOptions Options = Quick(Mc22, TSimMode::smSendModel);
        Options.Seed = 9;
        Options.Names = {simulator::EncodeModelName("M\x1b[2J\0öwe"s)};
        TTxSimulator Sim(Options);
        const TCliResult R = Save(Sim, {"--type", "mc22", One});
        EXPECT_EQ(R.Status, 0) << R.Err;
        EXPECT_EQ(R.Out, "Model 1  \"M\\x1b[2J\\x00öwe\" successfully transferred.\n");
        EXPECT_EQ(ReadImage(One), Sim.Image());
        EXPECT_EQ(ReadText(Dir / "glider.m22.dsc"), Kept);
    }
    {
        // The block protocol: three blocks and the end marker, each acknowledged after 700 ms.
        TSimOptions Options = Quick(Mc24, TSimMode::smSendAll);
        Options.Models = 3;
        TTxSimulator Sim(Options);
        const TCliResult R = Save(Sim, {"--type", "mc24", "--all", Dir / "club.a24"});
        EXPECT_EQ(R.Status, 0) << R.Err;
        EXPECT_EQ(R.Out, "Transfer successfully completed.\n");
        EXPECT_EQ(ReadImage(Dir / "club.a24"), Sim.Image());
        const auto Result = Sim.Wait(5s);
        ASSERT_TRUE(Result);
        EXPECT_TRUE(Result->Ok()) << ::testing::PrintToString(Result->Errors);
        ASSERT_EQ(Result->Acks.size(), 4u);
        EXPECT_EQ(Result->Acks.back().Kind, simulator::TAckKind::akEnd);
        EXPECT_NE(R.Err.find("Block 3:  3072 of 3072 bytes"), std::string::npos) << R.Err;
    }
    {
        TTxSimulator Sim(Quick(Mc18, TSimMode::smSendMemory));
        // A description Windows-1252 cannot hold is kept as typed, and the person told so.
        const TCliResult R = Save(Sim, {"--type", "MC-18 (7 Models)", "--all", "--description",
                                        "Flugtag \u2708", Dir / "tx.a18"});
        EXPECT_EQ(R.Status, 0) << R.Err;
        EXPECT_EQ(R.Out, "Transfer successfully completed.\n");
        EXPECT_NE(R.Err.find(transfer::StoredAsUtf8Notice), std::string::npos) << R.Err;
        EXPECT_EQ(ReadText(Dir / "tx.a18.dsc"), "Flugtag \u2708");
        EXPECT_EQ(ReadImage(Dir / "tx.a18"), Sim.Image());
        EXPECT_EQ(Sim.Image().size(), 2050u);
    }
    EXPECT_EQ(Entries(), (std::set<std::string>{"glider.m22", "glider.m22.dsc", "club.a24",
                                                "club.a24.dsc", "tx.a18", "tx.a18.dsc"}));
}

TEST_F(CliTest, RestoresTheFirstModelOrAPickedOneByteForByte) {
    const TImage All = simulator::MakeModelSeries(transfer::TxTypes[Mc22], 4, 5);
    const fs::path File = Dir / "club.a22";
    WriteImage(File, All);
    {
        TSimOptions Options = Quick(Mc22, TSimMode::smReceiveModels);
        Options.Image = UnitOf(All, 0, 1024);
        TTxSimulator Sim(Options);
        Sim.Start();
        const TCliResult R =
            RunCli({"restore", "--type", "mc22", "--port", Sim.SlavePath(), "--yes", File});
        EXPECT_EQ(R.Status, 0) << R.Err;
        EXPECT_EQ(R.Out, "Model \"Käfer\" successfully transferred.\n");
        const auto Result = Sim.Wait(5s);
        ASSERT_TRUE(Result);
        EXPECT_TRUE(Result->Ok()) << ::testing::PrintToString(Result->Errors);
        EXPECT_EQ(Result->Received, Options.Image);
    }
    {
        // Without --yes the program waits for Enter first.
        TSimOptions Options = Quick(Mc22, TSimMode::smReceiveModels);
        Options.Image = UnitOf(All, 2, 1024);
        TTxSimulator Sim(Options);
        Sim.Start();
        const TCliResult R = RunCli(
            {"restore", "--type", "MX-22", "--port", Sim.SlavePath(), "--model", "3", File}, "\n");
        EXPECT_EQ(R.Status, 0) << R.Err;
        EXPECT_NE(R.Err.find("Press Enter"), std::string::npos) << R.Err;
        EXPECT_EQ(R.Out, "Transfer successfully completed.\n");
        const auto Result = Sim.Wait(5s);
        ASSERT_TRUE(Result);
        EXPECT_TRUE(Result->Ok()) << ::testing::PrintToString(Result->Errors);
        EXPECT_EQ(Result->Received, Options.Image);
    }
    {
        // Refused before anything reaches the transmitter: the size, a model past the end, and
        // standard input ending without Enter.
        TTxSimulator Sim(Quick(Mc22, TSimMode::smReceiveModels));
        Sim.Start();
        WriteImage(Dir / "short.m22", TImage(1000, 0));
        TCliResult R =
            RunCli({"restore", "--type", "mc22", "--port", Sim.SlavePath(), Dir / "short.m22"});
        EXPECT_EQ(R.Status, 1);
        EXPECT_NE(R.Err.find("FileSize does not match type of TX. Action cancelled!"),
                  std::string::npos)
            << R.Err;
        R = RunCli({"restore", "--type", "mc22", "--port", Sim.SlavePath(), "--model", "5", File});
        EXPECT_EQ(R.Status, 1);
        EXPECT_NE(R.Err.find("there is no model 5"), std::string::npos) << R.Err;
        R = RunCli({"restore", "--type", "mc22", "--port", Sim.SlavePath(), File});
        EXPECT_EQ(R.Status, 1);
        EXPECT_NE(R.Err.find("use --yes"), std::string::npos) << R.Err;
        // Neither saved into nor restored from, and no wait for a writer at the pipe's far end.
        fs::create_directory(Dir / "folder.m22");
        ASSERT_EQ(::mkfifo((Dir / "pipe.m22").c_str(), 0600), 0);
        for (const auto& [Name, Kind] :
             {std::pair{"folder.m22", "folder"}, std::pair{"pipe.m22", "named pipe (FIFO)"}})
            for (const std::string Command : {"save", "restore"}) {
                R = RunCli({Command, "--type", "mc22", "--port", Sim.SlavePath(),
                            Command == "save" ? "--all" : "--yes", Dir / Name});
                EXPECT_EQ(R.Status, 1) << Command << " " << Name;
                const std::string Words = std::string(": This is a ") + Kind + ", not a file";
                EXPECT_NE(R.Err.find(Words), std::string::npos) << R.Err;
            }
        EXPECT_EQ(Sim.BytesReceived(), 0u);
    }
}

TEST_F(CliTest, RestoreVerifyComparesWhatTheTransmitterSendsBack) {
    const TImage All = simulator::MakeModelSeries(transfer::TxTypes[Mc22], 3, 8);
    const fs::path File = Dir / "club.a22";
    WriteImage(File, All);
    const std::set<std::string> Before = Entries();
    const auto Restore = [&](std::size_t Model, auto Change) {
        TSimOptions Options = Quick(Mc22, TSimMode::smReceiveModels);
        Options.Image = UnitOf(All, Model - 1, 1024);
        Options.SendBack = true;
        Change(Options);
        auto Sim = std::make_unique<TTxSimulator>(Options);
        Sim->Start();
        TCliResult R = RunCli({"restore", "--type", "mc22", "--port", Sim->SlavePath(), "--yes",
                               "--model", std::to_string(Model), "--verify", File});
        return std::pair{R, std::move(Sim)};
    };
    {
        auto [R, Sim] = Restore(2, [](TSimOptions&) {});
        EXPECT_EQ(R.Status, 0) << R.Err;
        EXPECT_NE(R.Err.find("Now let your transmitter send model 2 \"Möwe\" back"),
                  std::string::npos)
            << R.Err;
        EXPECT_EQ(R.Out, "Transfer successfully completed.\nModel 2 \"Möwe\" verified:\nthe "
                         "transmitter holds exactly the 1024 bytes of the backup.\n");
        EXPECT_TRUE(Sim->Wait(5s)->Ok());
    }
    {
        // The send-back comes with one byte changed: which model, how many bytes, where.
        auto [R, Sim] = Restore(3, [](TSimOptions& Options) { Options.SendBackChange = 517; });
        EXPECT_EQ(R.Status, 1) << R.Err;
        EXPECT_NE(R.Out.find("Model 3 \"Übermut\" differs from the backup:\n1 of 1024 bytes "
                             "differ, the first at offset 517 (0x205)."),
                  std::string::npos)
            << R.Out;
    }
    {
        // The send-back stops after 300 bytes: after its gap the verify ends, nothing verified.
        auto [R, Sim] =
            Restore(1, [](TSimOptions& Options) { Options.Faults.StallAfter = 1024 + 300; });
        EXPECT_EQ(R.Status, 1);
        EXPECT_NE(R.Err.find("stopped sending after 300 of 1024 bytes (nothing for 5 s). Nothing "
                             "was verified"),
                  std::string::npos)
            << R.Err;
        Sim->Stop();
    }
    EXPECT_EQ(ReadImage(File), All);
    EXPECT_EQ(Entries(), Before);
}

TEST_F(CliTest, FailedSavesKeepTheEarlierBackupOrSayWhatTheyWrote) {
    const fs::path File = Dir / "glider.m22";
    const TImage Earlier = simulator::MakeModelSeries(transfer::TxTypes[Mc22], 1, 77);
    WriteImage(File, Earlier);
    WriteText(Dir / "glider.m22.dsc", "earlier");
    const std::set<std::string> Before = Entries();
    {
        TSimOptions Options = Quick(Mc22, TSimMode::smSendModel);
        Options.Faults.StallAfter = 300;
        TTxSimulator Sim(Options);
        TCliProcess Cli(
            {"save", "--type", "mc22", "--port", Sim.SlavePath(), "--description", "new", File});
        ASSERT_TRUE(Cli.WaitForError(SendPrompt));
        Sim.Start();
        ASSERT_TRUE(Cli.WaitForError("300 of 1024 bytes"));
        Cli.Signal(SIGINT);
        const TCliResult R = Cli.Wait(10s);
        EXPECT_EQ(R.Status, 1);
        EXPECT_NE(R.Err.find("Transfer interrupted by user! Incomplete data file has been "
                             "deleted. The earlier backup "),
                  std::string::npos)
            << R.Err;
        Sim.Stop();
    }
    {
        TSimOptions Options = Quick(Mc22, TSimMode::smSendModel);
        Options.Faults.HangupAfter = 300;
        TTxSimulator Sim(Options);
        const TCliResult R = Save(Sim, {"--type", "mc22", "--description", "new", File});
        EXPECT_EQ(R.Status, 1);
        EXPECT_NE(R.Err.find(Sim.SlavePath() + " has gone away"), std::string::npos) << R.Err;
    }
    {
        // The end marker before any model: there is nothing to keep.
        TSimOptions Options = Quick(Mc22, TSimMode::smSendAll);
        Options.Faults.EndFirst = true;
        TTxSimulator Sim(Options);
        const TCliResult R = Save(Sim, {"--type", "mc22", "--all", "--description", "new", File});
        EXPECT_EQ(R.Status, 1);
        EXPECT_NE(R.Err.find("sent no model, so nothing was saved. The earlier"), std::string::npos)
            << R.Err;
    }
    EXPECT_EQ(ReadImage(File), Earlier);
    EXPECT_EQ(ReadText(Dir / "glider.m22.dsc"), "earlier");
    EXPECT_EQ(Entries(), Before);
    {
        // The model is committed, then its description cannot be: the words say which is which.
        TTxSimulator Sim(Quick(Mc22, TSimMode::smSendModel));
        TCliProcess Cli(
            {"save", "--type", "mc22", "--port", Sim.SlavePath(), "--description", "new", File});
        ASSERT_TRUE(Cli.WaitForError(SendPrompt));
        fs::remove(Dir / "glider.m22.dsc");
        fs::create_directories(Dir / "glider.m22.dsc" / "in-the-way");
        Sim.Start();
        const TCliResult R = Cli.Wait(10s);
        EXPECT_EQ(R.Status, 1);
        EXPECT_TRUE(R.Err.ends_with("The backup was saved in " + File.string() +
                                    ", but its description was not written to " + File.string() +
                                    ".dsc (Is a directory); that file stays as it was.\n"))
            << R.Err;
        EXPECT_EQ(ReadImage(File), Sim.Image());
    }
}

TEST_F(CliTest, ListDiffExtractAndJoinWorkModelByModel) {
    const transfer::TTxInfo& Row = transfer::TxTypes[Mc22];
    const TImage A = simulator::MakeModelSeries(Row, 3, 1);
    TImage B = A;
    B[1024 + 10] ^= 0xFF; // model 2 changed
    const TImage Other = simulator::MakeModelMemory(Row, simulator::EncodeModelName("Grün"), 9, 40);
    std::copy(Other.begin(), Other.end(), B.begin() + 2048); // model 3 gone, model 9 new
    WriteImage(Dir / "a.a22", A);
    WriteImage(Dir / "b.a22", B);
    WriteText(Dir / "a.a22.dsc", "club\r\nspring");

    TCliResult R = RunCli({"list", "--type", "mc22", Dir / "a.a22"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    const QByteArray Unit2(reinterpret_cast<const char*>(A.data()) + 1024, 1024);
    const std::string Sha2 =
        QCryptographicHash::hash(Unit2, QCryptographicHash::Sha256).toHex().toStdString();
    EXPECT_NE(R.Out.find("2   2 Möwe     " + Sha2 + "\n"), std::string::npos) << R.Out;

    R = RunCli({"list", "--type", "mc22", "--json", Dir / "b.a22"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    const QJsonArray Models =
        QJsonDocument::fromJson(QByteArray::fromStdString(R.Out))["models"].toArray();
    ASSERT_EQ(Models.size(), 3);
    EXPECT_EQ(Models[2]["number"].toInt(), 9);
    EXPECT_EQ(Models[2]["name"].toString().toStdString(), "Grün");
    EXPECT_EQ(Models[2]["entry"].toString().toStdString(), " 9 Grün");

    WriteImage(Dir / "short.a22", TImage(1000, 0));
    R = RunCli({"list", "--type", "mc22", Dir / "short.a22"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_NE(R.Err.find("FileSize does not match type of TX."), std::string::npos) << R.Err;
    // A type goes by its everyday name or its code, in any case, with or without the dash.
    WriteImage(Dir / "one.m18", simulator::MakeModelSeries(transfer::TxTypes[Mc18], 1, 1));
    for (const char* Type : {"MC-18", "mc18", "Mc18"})
        EXPECT_EQ(RunCli({"list", "--type", Type, Dir / "one.m18"}).Status, 0) << Type;

    R = RunCli({"diff", "--type", "mc22", Dir / "a.a22", Dir / "a.a22"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out.substr(R.Out.rfind("3 same")), "3 same.\n");
    R = RunCli({"diff", "--type", "mc22", Dir / "a.a22", Dir / "b.a22"});
    EXPECT_EQ(R.Status, 1) << R.Err;
    EXPECT_EQ(R.Out, "same       1  1   1 Käfer\n"
                     "changed    2  2   2 Möwe\n"
                     "only in A  3  -   3 Übermut\n"
                     "only in B  -  3   9 Grün\n"
                     "1 same, 1 changed, 1 only in A, 1 only in B.\n");

    // Taken apart and joined again, the models are the same bytes in the same order; each part
    // carries the description.
    std::vector<std::string> Join = {"join", "--type", "mc22", Dir / "joined.a22"};
    for (int Model = 1; Model <= 3; ++Model) {
        const std::string Part = Dir / ("part" + std::to_string(Model) + ".m22");
        R = RunCli(
            {"extract", "--type", "mc22", "--model", std::to_string(Model), Dir / "a.a22", Part});
        EXPECT_EQ(R.Status, 0) << R.Err;
        EXPECT_EQ(ReadImage(Part), UnitOf(A, Model - 1, 1024));
        EXPECT_EQ(ReadText(Part + ".dsc"), "club\r\nspring");
        Join.push_back(Part);
    }
    R = RunCli(Join);
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(ReadImage(Dir / "joined.a22"), A);
    R = RunCli({"extract", "--type", "mc22", "--model", "4", Dir / "a.a22", Dir / "x.m22"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_FALSE(fs::exists(Dir / "x.m22"));
}

TEST_F(CliTest, PortsThatCannotOpenAndWrongCommandLinesSayWhy) {
    // COM numbers come from the settings file beside the program, as for the window: a copy of
    // the program with a Vaultix.ini of its own.
    testsupport::TPtyPair Pty;
    const fs::path Program = Dir / "vaultix-cli";
    fs::copy_file(VAULTIX_CLI, Program);
    WriteText(Dir / "Vaultix.ini",
              "[Ports]\nCOM7=" + Pty.SlavePath() + "\nCOM8=/dev/ttyVaultixGone\n");

    TCliResult R = TCliProcess({"ports"}, "", Program).Wait();
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_NE(R.Out.find("COM7  " + Pty.SlavePath()), std::string::npos) << R.Out;
    EXPECT_NE(R.Out.find("COM8  /dev/ttyVaultixGone — not present\n"), std::string::npos) << R.Out;

    // Held by this process, the way another program would hold it.
    const int Held = ::open(Pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(Held, 0);
    ASSERT_EQ(::flock(Held, LOCK_EX | LOCK_NB), 0);
    const std::string Holder = "(process " + std::to_string(::getpid()) + ")";
    R = TCliProcess({"ports", "--json"}, "", Program).Wait();
    const QJsonArray Ports = QJsonDocument::fromJson(QByteArray::fromStdString(R.Out)).array();
    bool Seen = false;
    for (const QJsonValue& Port : Ports)
        if (Port.toObject()["port"].toString() == "COM7") {
            Seen = true;
            EXPECT_EQ(Port.toObject()["in_use_by"].toArray()[0].toObject()["pid"].toInt(),
                      ::getpid());
        }
    EXPECT_TRUE(Seen) << R.Out;
    R = TCliProcess({"save", "--type", "mc22", "--port", "com7", Dir / "x.m22"}, "", Program)
            .Wait();
    EXPECT_EQ(R.Status, 3);
    EXPECT_NE(R.Err.find(Pty.SlavePath() + " is in use by "), std::string::npos) << R.Err;
    EXPECT_NE(R.Err.find(Holder), std::string::npos) << R.Err;
    ::close(Held);

    R = TCliProcess({"restore", "--type", "mc22", "--port", "COM8", "--yes", Dir / "x.m22"}, "",
                    Program)
            .Wait();
    WriteImage(Dir / "x.m22", TImage(1024, 0));
    R = TCliProcess({"restore", "--type", "mc22", "--port", "COM8", "--yes", Dir / "x.m22"}, "",
                    Program)
            .Wait();
    EXPECT_EQ(R.Status, 3);
    EXPECT_NE(R.Err.find("COM8 (/dev/ttyVaultixGone) is not present"), std::string::npos) << R.Err;
    R = RunCli({"save", "--type", "mc22", "--port", "/dev/ttyVaultixGone", Dir / "y.m22"});
    EXPECT_EQ(R.Status, 3);
    EXPECT_NE(R.Err.find("/dev/ttyVaultixGone is not present"), std::string::npos) << R.Err;
    EXPECT_FALSE(fs::exists(Dir / "y.m22"));

    for (const std::vector<std::string>& Wrong :
         {std::vector<std::string>{"save", "--type", "mc99", "--port", "COM1", "x"},
          {"save", "--type", "test", "--port", "COM1", "x"},
          {"restore", "--type", "mc18", "--port", "COM1", "--model", "2", "x"},
          {"diff", "--type", "mc22", "x"},
          {"list", "--type", "mc22", "--port", "COM1", "x"}}) {
        R = RunCli(Wrong);
        EXPECT_EQ(R.Status, 2) << ::testing::PrintToString(Wrong);
        EXPECT_EQ(R.Err.find("vaultix-cli: "), 0u) << R.Err;
    }
}

} // namespace
} // namespace vaultix::cli::testing
