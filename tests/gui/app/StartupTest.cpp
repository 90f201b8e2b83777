// Start-up and settings of the main window, against pseudo-terminals mapped as COM ports.

#include "ScreenFixture.h"

#include "app/StartOptions.h"
#include "tests/support/PtyPair.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QStackedWidget>

#include <termios.h>
#include <unistd.h>

namespace vaultix::apptest {

namespace {

std::vector<std::string> Entries(QComboBox* Box) {
    std::vector<std::string> Result;
    for (int I = 0; I < Box->count(); ++I)
        Result.push_back(Box->itemText(I).toStdString());
    return Result;
}

bool HasLine(const std::string& Text, const std::string& Line) {
    return ("\n" + Text).find("\n" + Line + "\n") != std::string::npos ||
           ("\n" + Text).find("\n" + Line + "\r\n") != std::string::npos;
}

// Changes the current folder for the scope: the trace file lands there.
class TCurrentDir {
public:
    explicit TCurrentDir(const fs::path& Dir) : Previous(fs::current_path()) {
        fs::current_path(Dir);
    }
    ~TCurrentDir() { fs::current_path(Previous); }

private:
    fs::path Previous;
};

} // namespace

TEST_F(ScreenTest, FirstStartUsesTheDefaultsAndWritesEveryKeyAtClose) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    app::TScreen& S = MakeScreen();

    EXPECT_EQ(S.pos(), QPoint(0, 0));
    EXPECT_EQ(S.TxBox->currentText().toStdString(), "MC-22");
    EXPECT_EQ(S.ComBox->currentText().toStdString(), "COM1");
    EXPECT_TRUE(S.Port.Open());
    EXPECT_EQ(S.Port.ComNumber(), 1);
    EXPECT_EQ(S.Port.Baud(), 4800);
    EXPECT_EQ(S.Port.Tracing(), serial::tlOff);
    EXPECT_EQ(S.FileExt, "m22");
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons);
    EXPECT_EQ(S.CurrentIdleHandler(), transfer::ihMonitorIdle);
    EXPECT_EQ(S.windowTitle().toStdString(), app::TScreen::Caption);
    EXPECT_TRUE(Messages.empty());
    // The line as the port component set it up (a pseudo-terminal keeps no parity).
    const platform::TKernelTermios Line = Cable.ReadTermios();
    EXPECT_TRUE(Line.Cflag & CSTOPB);
    EXPECT_EQ(Line.Cflag & CSIZE, static_cast<unsigned>(CS8));
    EXPECT_EQ(Line.Ospeed, 4800u);

    EXPECT_FALSE(fs::exists(Dir / "Vaultix.ini")) << "nothing is written before the close";
    CloseScreen();
    const std::string Written = Settings();
    EXPECT_TRUE(HasLine(Written, "[Set]")) << Written;
    for (const char* Line : {"PosX=0", "PosY=0", "Transmitter=2", "Port=0", "Tracing=0"})
        EXPECT_TRUE(HasLine(Written, Line)) << Line << " in\n" << Written;
}

TEST_F(ScreenTest, StoredChoicesComeBackAndMovedOnesAreWritten) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(3, Cable.SlavePath());
    WriteSettings("[Set]\r\nPosX=40\r\nPosY=0x1E\r\nTransmitter=0\r\nPort=0x2\r\n");
    app::TScreen& S = MakeScreen();
    EXPECT_EQ(S.pos(), QPoint(40, 30));
    EXPECT_EQ(S.TxBox->currentIndex(), 0);
    EXPECT_EQ(S.ComBox->currentText().toStdString(), "COM3");
    EXPECT_TRUE(S.Port.Open());
    EXPECT_EQ(S.Port.ComNumber(), 3);
    EXPECT_EQ(S.Port.Baud(), 4000) << "the MC-18 types talk at 4000 baud";
    S.move(12, 34);
    CloseScreen();
    const std::string Written = Settings();
    for (const char* Line : {"PosX=12", "PosY=34", "Transmitter=0", "Port=2"})
        EXPECT_TRUE(HasLine(Written, Line)) << Line << " in\n" << Written;
}

TEST_F(ScreenTest, TheSettingsFilePinsComPortsToDevices) {
    testsupport::TPtyPair Cable;
    WriteSettings("[Set]\nPort=1\n[Ports]\nCOM2=" + Cable.SlavePath() + "\n");
    app::TScreen& S = MakeScreen();
    EXPECT_TRUE(S.Port.Open()) << LastMessage();
    EXPECT_EQ(platform::ComPortPath(2), Cable.SlavePath());
    CloseScreen();
    EXPECT_NE(Settings().find("COM2=" + Cable.SlavePath()), std::string::npos)
        << "the rest of the file is kept";
}

TEST_F(ScreenTest, DebugModeAddsTheTestTypeAndTheDebugControls) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    {
        app::TScreenOptions Options;
        Options.Debug = true;
        app::TScreen& S = MakeScreen(Options);
        EXPECT_EQ(Entries(S.TxBox),
                  (std::vector<std::string>{"MC-18 (7 Models)", "MC18/MC20 (30+1Models)", "MC-22",
                                            "MC-24", "MX-22", "ByteCount"}));
        EXPECT_FALSE(S.Send40aa->isHidden());
        EXPECT_FALSE(S.CTSMON->isHidden());
        EXPECT_FALSE(S.Anhalten->isHidden());
        CloseScreen();
    }
    app::TScreen& S = MakeScreen();
    EXPECT_EQ(S.TxBox->count(), 5);
    EXPECT_EQ(S.TxBox->findText(QStringLiteral("ByteCount")), -1);
    EXPECT_TRUE(S.Send40aa->isHidden());
    EXPECT_TRUE(S.CTSMON->isHidden());
    EXPECT_TRUE(S.Anhalten->isHidden());
}

TEST(StartOptions, DebugOnlyAsTheFirstArgumentInAnyCase) {
    using app::ParseStartOptions;
    EXPECT_TRUE(ParseStartOptions({QStringLiteral("debug")}).Debug);
    EXPECT_TRUE(ParseStartOptions({QStringLiteral("DeBuG"), QStringLiteral("x")}).Debug);
    EXPECT_FALSE(ParseStartOptions({QStringLiteral("x"), QStringLiteral("DEBUG")}).Debug);
    EXPECT_FALSE(ParseStartOptions({}).Debug);
    EXPECT_FALSE(ParseStartOptions({QStringLiteral("DEBUGX")}).Debug);
    // The other words name backups to open; a type after --demo and options do not.
    EXPECT_EQ(ParseStartOptions({QStringLiteral("debug"), QStringLiteral("--demo"),
                                 QStringLiteral("MC-22"), QStringLiteral("club.a22"),
                                 QStringLiteral("-x"), QStringLiteral("DEBUG")})
                  .Files,
              QStringList{QStringLiteral("club.a22")});

    const app::TStartOptions Demo =
        ParseStartOptions({QStringLiteral("--demo"), QStringLiteral("mc-18")});
    EXPECT_EQ(Demo.DemoTxRow, 0);
    EXPECT_TRUE(Demo.Error.empty());
    EXPECT_EQ(ParseStartOptions({QStringLiteral("--demo"), QStringLiteral("MX-22")}).DemoTxRow, 4);
    EXPECT_FALSE(ParseStartOptions({QStringLiteral("--demo")}).Error.empty());
    EXPECT_FALSE(
        ParseStartOptions({QStringLiteral("--demo"), QStringLiteral("MC-99")}).Error.empty());
    // The test type is listed only in debug mode.
    EXPECT_FALSE(
        ParseStartOptions({QStringLiteral("--demo"), QStringLiteral("ByteCount")}).Error.empty());
    EXPECT_EQ(ParseStartOptions(
                  {QStringLiteral("DEBUG"), QStringLiteral("--demo"), QStringLiteral("ByteCount")})
                  .DemoTxRow,
              5);
}

TEST_F(ScreenTest, AStoredTestTypeWithoutTheSwitchFallsBackToTheDefaultType) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    WriteSettings("[Set]\nTransmitter=5\n");
    app::TScreen& S = MakeScreen();
    EXPECT_EQ(S.TxBox->currentText().toStdString(), "MC-22");
    EXPECT_EQ(S.FileExt, "m22");
    EXPECT_EQ(S.Port.Baud(), 4800);
    EXPECT_TRUE(Messages.empty()) << "no speed question for a type that is not listed";
    CloseScreen();
    EXPECT_TRUE(HasLine(Settings(), "Transmitter=2"));
}

TEST_F(ScreenTest, TracingFromTheSettingsRecordsFromTheOpenAndStaysOn) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    WriteSettings("[Set]\nTracing=1\n");
    TCurrentDir Here(Dir);
    app::TScreen& S = MakeScreen();
    ASSERT_TRUE(S.Port.Open());
    EXPECT_EQ(S.Port.Tracing(), serial::tlOn);
    S.Port.WriteText("AB");
    ASSERT_TRUE(RunUntil([&] { return S.Port.OutputCount() == 0; }));
    EXPECT_EQ(Cable.ReadExactly(2), (std::vector<std::uint8_t>{'A', 'B'}));
    CloseScreen();
    EXPECT_TRUE(fs::exists(Dir / "Vaultix.log")) << "the trace is written when the port closes";
    EXPECT_TRUE(HasLine(Settings(), "Tracing=1"));
}

TEST_F(ScreenTest, APortThatCannotOpenIsReportedAndLeavesTheActionsDisabled) {
    platform::SetPortOverride(1, (Dir / "no-such-device").string());
    app::TScreen& S = MakeScreen();
    EXPECT_FALSE(S.Port.Open());
    // The message waits until the window shows, and the port line says what to do.
    EXPECT_TRUE(Messages.empty());
    const std::string Missing =
        "COM1 (" + (Dir / "no-such-device").string() + ") is not present: plug the adapter in.";
    EXPECT_EQ(S.ComDeviceLabel->text().toStdString(), Missing + " Or pick another port.");
    S.show();
    ASSERT_TRUE(RunUntil([&] { return !Messages.empty(); }));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Kind, app::mkError);
    EXPECT_EQ(Messages[0].Text, std::string(app::TScreen::PortOpenFailedMessage) + "\r" + Missing);
    for (QAction* Action : {S.ASaveOne, S.ASaveAll, S.ARestoreOne, S.ARestoreAll})
        EXPECT_FALSE(Action->isEnabled()) << Action->objectName().toStdString();
    for (QPushButton* Button : {S.SaveOne, S.SaveAll, S.RestoreOne, S.RestoreAll})
        EXPECT_FALSE(Button->isEnabled()) << Button->objectName().toStdString();

    // A click on a disabled action's button does nothing.
    S.ASaveOne->trigger();
    EXPECT_TRUE(Requests.empty());

    testsupport::TPtyPair Cable;
    platform::SetPortOverride(2, Cable.SlavePath());
    S.ComBox->setCurrentIndex(1);
    emit S.ComBox->activated(1);
    EXPECT_TRUE(S.Port.Open());
    EXPECT_EQ(S.Port.ComNumber(), 2);
    for (QPushButton* Button : {S.SaveOne, S.SaveAll, S.RestoreOne, S.RestoreAll})
        EXPECT_TRUE(Button->isEnabled()) << Button->objectName().toStdString();
    EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(ScreenTest, APortNumberOutsideTheListAsksTheUserForAPort) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(7, Cable.SlavePath());
    WriteSettings("[Set]\nPort=9\n");
    PromptAnswer = 7;
    app::TScreen& S = MakeScreen();
    EXPECT_EQ(S.ComBox->currentIndex(), -1);
    EXPECT_TRUE(S.Port.Open()) << LastMessage();
    EXPECT_EQ(S.Port.ComNumber(), 7);
    CloseScreen();

    // Declining the choice is a failed open.
    PromptAnswer = 0;
    app::TScreen& Again = MakeScreen();
    EXPECT_FALSE(Again.Port.Open());
    EXPECT_EQ(Again.ComDeviceLabel->text().toStdString(),
              "No port chosen: pick one in the Serial Port list.");
    ASSERT_TRUE(RunUntil([&] { return !Messages.empty(); }));
    EXPECT_EQ(LastMessage(), app::TScreen::PortOpenFailedMessage);
}

TEST_F(ScreenTest, TheTypeSetsSpeedAndExtensionAndTheTestTypeAsksForTheSpeed) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    app::TScreenOptions Options;
    Options.Debug = true;
    app::TScreen& S = MakeScreen(Options);
    const auto Pick = [&](int Index) {
        S.TxBox->setCurrentIndex(Index);
        emit S.TxBox->activated(Index);
    };
    S.SaveDialog1.FileName = QStringLiteral("old.m22");
    S.OpenDialog1.FileName = QStringLiteral("old.m22");
    Pick(1);
    EXPECT_EQ(S.Port.Baud(), 4000);
    EXPECT_EQ(S.FileExt, "m20");
    EXPECT_TRUE(S.SaveDialog1.FileName.isEmpty());
    EXPECT_TRUE(S.OpenDialog1.FileName.isEmpty());
    Pick(4);
    EXPECT_EQ(S.Port.Baud(), 4800);
    EXPECT_EQ(S.FileExt, "m22");
    EXPECT_TRUE(Messages.empty());

    Answers = {true};
    Pick(5);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Kind, app::mkQuestion);
    EXPECT_EQ(Messages[0].Text, app::TScreen::TestBaudQuestion);
    EXPECT_EQ(S.Port.Baud(), 4000);
    EXPECT_EQ(S.FileExt, "tst");
    Answers = {false};
    Pick(5);
    EXPECT_EQ(Messages.size(), 2u) << "the same entry again asks again";
    EXPECT_EQ(S.Port.Baud(), 4800);
    // The test type has no all-models actions.
    EXPECT_TRUE(S.SaveOne->isEnabled());
    EXPECT_TRUE(S.RestoreOne->isEnabled());
    EXPECT_FALSE(S.SaveAll->isEnabled());
    EXPECT_FALSE(S.RestoreAll->isEnabled());
    Pick(3);
    EXPECT_TRUE(S.SaveAll->isEnabled());
    EXPECT_TRUE(S.RestoreAll->isEnabled());
}

TEST_F(ScreenTest, TheCtsBoxFollowsTheLineWhileNoTransferRuns) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    app::TScreen& S = MakeScreen();
    // A pseudo-terminal has no modem lines: CTS reads off, and the idle handler keeps running.
    S.CTSMON->setChecked(true);
    EXPECT_TRUE(RunUntil([&] { return !S.CTSMON->isChecked(); }));
}

TEST_F(ScreenTest, ClosingWritesTheSettingsAndAFailingWriteIsReported) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    app::TScreen& S = MakeScreen();
    S.ExitBtnClick(S.ExitBtn);
    EXPECT_EQ(Terminations, 1);
    EXPECT_TRUE(S.Terminating());
    // A settings "file" that is a folder cannot be written.
    fs::create_directory(Dir / "Vaultix.ini");
    CloseScreen();
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages.back().Kind, app::mkError);
    EXPECT_NE(Messages.back().Text.find("kann nicht geschrieben werden"), std::string::npos)
        << Messages.back().Text;
}

TEST_F(ScreenTest, HelpAndTheLinksOpenTheirAddresses) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    std::ofstream(Dir / "user-guide.html") << "<h1>Guide</h1>";
    app::TScreen& S = MakeScreen();
    S.HelpBtn->click();
    Click(S.Image1);
    Click(S.Labelx2);
    Click(S.Signet);
    ASSERT_EQ(Urls.size(), 4u);
    EXPECT_EQ(Urls[0], "file://" + (Dir / "user-guide.html").string());
    EXPECT_EQ(Urls[1], app::TScreen::HomePageUrl);
    EXPECT_EQ(Urls[2], app::TScreen::CharityUrl);
    EXPECT_EQ(Urls[3].rfind("mailto:", 0), 0u);
    EXPECT_NE(Urls[3].find("?subject=Comment on Vaultix"), std::string::npos);
}

} // namespace vaultix::apptest
