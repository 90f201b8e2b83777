// The four flows of the main window, end to end against a simulated transmitter on a
// pseudo-terminal: dialog, Description page, chooser, instruction, transfer and outcome.

#include "ScreenFixture.h"

#include "simulator/ModelImages.h"
#include "tests/support/PtyPair.h"
#include "transfer/BackupFiles.h"
#include "transfer/DescriptionFile.h"
#include "transfer/TransferEngine.h"

#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

namespace vaultix::apptest {

namespace {

using simulator::TImage;
using simulator::TSimMode;
using simulator::TSimOptions;

TSimOptions Sending(int Row, TSimMode Mode, std::size_t Models = 1) {
    TSimOptions Options;
    Options.TypeRow = Row;
    Options.Mode = Mode;
    Options.Models = Models;
    Options.Names = {"GLIDER", "HELI", "BOAT"};
    Options.FirstNumber = 12;
    return Options;
}

TSimOptions Receiving(int Row, const TImage& Expected) {
    TSimOptions Options;
    Options.TypeRow = Row;
    Options.Mode = TSimMode::smReceiveModels;
    Options.Image = Expected;
    Options.Models = Expected.size() / transfer::TxTypes[Row].ModelSize;
    return Options;
}

TImage Slice(const TImage& Image, std::size_t Unit, std::size_t Index) {
    return TImage(Image.begin() + static_cast<std::ptrdiff_t>(Unit * Index),
                  Image.begin() + static_cast<std::ptrdiff_t>(Unit * (Index + 1)));
}

void PressKey(QWidget* Widget, int Key) {
    QKeyEvent Press(QEvent::KeyPress, Key, Qt::NoModifier);
    QKeyEvent Release(QEvent::KeyRelease, Key, Qt::NoModifier);
    QApplication::sendEvent(Widget, &Press);
    QApplication::sendEvent(Widget, &Release);
}

} // namespace

class FlowTest : public ScreenTest {
protected:
    // The window on COM1 with Row selected.
    app::TScreen& Open(int Row) {
        WriteSettings("[Set]\nTransmitter=" + std::to_string(Row) + "\n");
        app::TScreen& S = MakeScreen();
        EXPECT_TRUE(S.Port.Open()) << LastMessage();
        return S;
    }

    bool TransferEnded(app::TScreen& S) {
        return RunUntil([&] { return !S.TransferEngine().Running(); });
    }

    // A backup of Count generated models of Row, with its description.
    TImage MakeBackup(const std::string& Name, int Row, std::size_t Count,
                      const std::string& Description) {
        const TImage Image = simulator::MakeModelSeries(transfer::TxTypes[Row], Count, 7,
                                                        {"GLIDER", "HELI", "BOAT"}, 12);
        WriteFile(Dir / Name, Image);
        if (!Description.empty()) WriteFile(Dir / (Name + ".dsc"), Description);
        return Image;
    }
};

TEST_F(FlowTest, SaveOneModelWritesTheModelAndItsDescription) {
    simulator::TTxSimulator& Sim = Simulate(Sending(2, TSimMode::smSendModel));
    app::TScreen& S = Open(2);
    FileAnswers = {InDir("club.m22")};
    S.SaveOne->click();

    ASSERT_EQ(Requests.size(), 1u);
    EXPECT_TRUE(Requests[0].Saving);
    EXPECT_EQ(Requests[0].Request.DefaultExt.toStdString(), "m22");
    EXPECT_EQ(Requests[0].Request.NameFilter.toStdString(), "Transmitter Settings (*.m22)");
    EXPECT_EQ(Requests[0].Request.Directory.toStdString(), Dir.string() + "/");
    EXPECT_TRUE(Requests[0].Request.FileName.isEmpty());
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npDescription);
    EXPECT_EQ(S.DescriptionLabel->text().toStdString(), app::TScreen::SaveDescriptionLabel);

    S.Description->setPlainText(QStringLiteral("Club glider\nfor Sunday"));
    S.ConfirmBtn->click();
    EXPECT_EQ(Messages.at(0).Text, app::TScreen::SaveInstruction);
    EXPECT_EQ(S.CurrentIdleHandler(), transfer::ihTransferIdle);
    ASSERT_TRUE(TransferEnded(S));

    EXPECT_EQ(S.TransferEngine().Outcome(), transfer::toCompleted) << LastMessage();
    EXPECT_EQ(LastMessage(), "Model 12  \"GLIDER\" successfully transferred.");
    EXPECT_EQ(ReadBytes(Dir / "club.m22"), Sim.Image());
    EXPECT_EQ(ReadFile(Dir / "club.m22.dsc"), "Club glider\r\nfor Sunday");
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons);
    EXPECT_EQ(S.CurrentIdleHandler(), transfer::ihMonitorIdle);
    EXPECT_EQ(S.ProgressBar1->value(), 0);
    EXPECT_TRUE(S.ProgressLabel->text().isEmpty());
}

TEST_F(FlowTest, SaveAllOfAnMc18MovesTheWholeMemoryAsOneUnit) {
    simulator::TTxSimulator& Sim = Simulate(Sending(0, TSimMode::smSendMemory));
    app::TScreen& S = Open(0);
    FileAnswers = {InDir("whole.a18")};
    S.SaveAll->click();
    ASSERT_EQ(Requests.size(), 1u);
    EXPECT_EQ(Requests[0].Request.DefaultExt.toStdString(), "a18");
    EXPECT_EQ(Requests[0].Request.NameFilter.toStdString(), "Transmitter Settings (*.a18)");
    EXPECT_EQ(S.TransferEngine().TransferSize, 2050);
    EXPECT_FALSE(S.TransferEngine().AllModels);

    S.ConfirmBtn->click();
    ASSERT_TRUE(TransferEnded(S));
    EXPECT_EQ(LastMessage(), transfer::TTransferEngine::CompletedMessage);
    EXPECT_EQ(ReadBytes(Dir / "whole.a18"), Sim.Image());
    EXPECT_EQ(Sim.Image().size(), 2050u);
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons) << "no chooser";
    EXPECT_EQ(S.Selection->count(), 0);
}

TEST_F(FlowTest, SaveAllOfAnMc22AcknowledgesEveryBlock) {
    simulator::TTxSimulator& Sim = Simulate(Sending(2, TSimMode::smSendAll, 3));
    app::TScreen& S = Open(2);
    FileAnswers = {InDir("club.a22")};
    S.SaveAll->click();
    EXPECT_TRUE(S.TransferEngine().AllModels);
    EXPECT_TRUE(S.TransferEngine().AwaitHeader);
    S.ConfirmBtn->click();
    ASSERT_TRUE(TransferEnded(S));

    EXPECT_EQ(LastMessage(), transfer::TTransferEngine::CompletedMessage);
    EXPECT_EQ(ReadBytes(Dir / "club.a22"), Sim.Image());
    const auto Result = Sim.Wait(Deadline);
    ASSERT_TRUE(Result.has_value());
    EXPECT_TRUE(Result->Ok()) << (Result->Errors.empty() ? "" : Result->Errors.front());
    EXPECT_EQ(Result->Acks.size(), 4u);
}

TEST_F(FlowTest, RestoreOneSendsTheFirstUnitAfterTheDescriptionIsChecked) {
    const TImage Backup = MakeBackup("club.a22", 2, 2, "Two models\r\nof the club");
    simulator::TTxSimulator& Sim = Simulate(Receiving(2, Slice(Backup, 1024, 0)));
    app::TScreen& S = Open(2);
    FileAnswers = {InDir("club.a22")};
    S.RestoreOne->click();

    ASSERT_EQ(Requests.size(), 1u);
    EXPECT_FALSE(Requests[0].Saving);
    EXPECT_EQ(Requests[0].Request.DefaultExt.toStdString(), "m22");
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npDescription);
    EXPECT_EQ(S.DescriptionLabel->text().toStdString(), app::TScreen::RestoreDescriptionLabel);
    EXPECT_EQ(S.Description->toPlainText().toStdString(), "Two models\nof the club");

    // The instruction, the outcome, and no to the offer to verify.
    Answers = {true, true, false};
    S.ConfirmBtn->click();
    EXPECT_EQ(Messages.at(0).Text, app::TScreen::RestoreInstruction);
    ASSERT_TRUE(TransferEnded(S));
    EXPECT_EQ(Messages.at(1).Text, "Model \"GLIDER\" successfully transferred.");
    const auto Result = Sim.Wait(Deadline);
    ASSERT_TRUE(Result.has_value());
    EXPECT_TRUE(Result->Ok()) << (Result->Errors.empty() ? "" : Result->Errors.front());
    EXPECT_EQ(ReadBytes(Dir / "club.a22"), Backup) << "the backup is untouched";
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons);
}

TEST_F(FlowTest, RestoreAllGoesModelByModelThroughTheChooser) {
    const TImage Backup = MakeBackup("club.a22", 2, 3, "");
    TImage Expected = Slice(Backup, 1024, 2);
    const TImage First = Slice(Backup, 1024, 0);
    Expected.insert(Expected.end(), First.begin(), First.end());
    simulator::TTxSimulator& Sim = Simulate(Receiving(2, Expected));
    app::TScreen& S = Open(2);
    S.Description->setPlainText(QStringLiteral("left from before"));
    FileAnswers = {InDir("club.a22")};
    S.RestoreAll->click();
    ASSERT_EQ(Requests.size(), 1u);
    EXPECT_EQ(Requests[0].Request.DefaultExt.toStdString(), "a22");
    EXPECT_EQ(S.Description->toPlainText().toStdString(), transfer::NoDescriptionText);

    S.ConfirmBtn->click();
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npChooseModel);
    ASSERT_EQ(S.Selection->count(), 3);
    EXPECT_EQ(S.Selection->item(0)->text().toStdString(), "12 GLIDER");
    EXPECT_EQ(S.Selection->item(1)->text().toStdString(), "13 HELI");
    EXPECT_EQ(S.Selection->item(2)->text().toStdString(), "14 BOAT");
    EXPECT_EQ(TransfersStarted, 0) << "nothing is sent before a model is picked";

    Answers = {true, true, false, true, true, false};
    S.Selection->item(2)->setSelected(true);
    S.SelectBtn->click();
    EXPECT_EQ(LastMessage(), app::TScreen::ChooserInstruction);
    ASSERT_TRUE(TransferEnded(S));
    EXPECT_TRUE(Shown(transfer::TTransferEngine::CompletedMessage));
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npChooseModel);
    RunUntil([&] { return Answers.size() == 3; });
    EXPECT_EQ(S.Selection->count(), 3);

    S.Selection->item(0)->setSelected(true);
    S.SelectBtn->click();
    ASSERT_TRUE(TransferEnded(S));
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npChooseModel);

    S.DoneBtn->click();
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons);
    const auto Result = Sim.Wait(Deadline);
    ASSERT_TRUE(Result.has_value());
    EXPECT_TRUE(Result->Ok()) << (Result->Errors.empty() ? "" : Result->Errors.front());
    EXPECT_EQ(Result->Received, Expected);
}

TEST_F(FlowTest, AFileOfTheWrongSizeIsRefused) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    WriteFile(Dir / "one.m18", TImage(258, 1));
    app::TScreen& S = Open(0);
    FileAnswers = {InDir("one.m18")};
    S.RestoreAll->click();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Kind, app::mkError);
    EXPECT_EQ(Messages[0].Text, transfer::SizeMismatchMessage);
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons);

    WriteFile(Dir / "empty.m18", TImage());
    FileAnswers = {InDir("empty.m18")};
    S.RestoreOne->click();
    EXPECT_EQ(Messages.size(), 2u);
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons);
}

TEST_F(FlowTest, ACancelledDialogEndsTheFlowSilently) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    app::TScreen& S = Open(2);
    FileAnswers = {std::nullopt, std::nullopt};
    S.SaveOne->click();
    S.RestoreOne->click();
    EXPECT_EQ(Requests.size(), 2u);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons);
}

TEST_F(FlowTest, BothDialogsGoOnFromTheFolderOfTheFileLastChosen) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    app::TScreen& S = Open(2);
    const fs::path Backups = Dir / "backups";
    fs::create_directories(Backups);
    FileAnswers = {std::nullopt, QString::fromStdString((Backups / "club.m22").string()),
                   std::nullopt, std::nullopt};
    S.SaveOne->click(); // cancelled: no file, no new folder
    S.SaveOne->click();
    S.CancelBtn->click();
    S.RestoreOne->click();
    S.SaveAll->click();
    ASSERT_EQ(Requests.size(), 4u);
    const std::string Start = Dir.string() + "/";
    const std::string Chosen = Backups.string() + "/";
    EXPECT_EQ(Requests[0].Request.Directory.toStdString(), Start);
    EXPECT_EQ(Requests[1].Request.Directory.toStdString(), Start);
    EXPECT_EQ(Requests[2].Request.Directory.toStdString(), Chosen);
    EXPECT_EQ(Requests[3].Request.Directory.toStdString(), Chosen);
}

TEST_F(FlowTest, CancelAndEscOnTheDescriptionPageWriteNothing) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    app::TScreen& S = Open(2);
    FileAnswers = {InDir("a.m22"), InDir("b.m22")};
    S.SaveOne->click();
    ASSERT_EQ(S.NB1->currentIndex(), transfer::npDescription);
    S.CancelBtn->click();
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons);

    S.SaveOne->click();
    ASSERT_EQ(S.NB1->currentIndex(), transfer::npDescription);
    // Enter in the memo is a line break, Esc anywhere on the page is Cancel.
    S.Description->clear();
    PressKey(S.Description, Qt::Key_Return);
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npDescription);
    PressKey(S.Description, Qt::Key_Escape);
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons);

    for (const char* Name : {"a.m22", "a.m22.dsc", "b.m22", "b.m22.dsc"})
        EXPECT_FALSE(fs::exists(Dir / Name)) << Name;
    EXPECT_TRUE(Messages.empty());
}

TEST_F(FlowTest, EnterOutsideTheMemoAndTheButtonsConfirms) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    app::TScreen& S = Open(2);
    FileAnswers = {InDir("a.m22")};
    S.SaveOne->click();
    PressKey(S.TxBox, Qt::Key_Return);
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npTransfer);
    EXPECT_EQ(LastMessage(), app::TScreen::SaveInstruction);
    S.AbortBtn->click();
}

TEST_F(FlowTest, AnExistingDescriptionFillsTheMemoOfASave) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    WriteFile(Dir / "club.m22.dsc", "First line\nSecond line");
    app::TScreen& S = Open(2);
    S.Description->setPlainText(QStringLiteral("old text"));
    FileAnswers = {InDir("club.m22"), InDir("other.m22")};
    S.SaveOne->click();
    EXPECT_EQ(S.Description->toPlainText().toStdString(), "First line\nSecond line");
    EXPECT_EQ(S.DescriptionLabel->text().toStdString(), app::TScreen::SaveDescriptionLabel);
    S.CancelBtn->click();
    // Without a description file the memo keeps what it holds.
    S.SaveOne->click();
    EXPECT_EQ(S.Description->toPlainText().toStdString(), "First line\nSecond line");
}

TEST_F(FlowTest, ADescriptionComesBackByteForByteThroughTheMemo) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    // Non-breaking spaces, accented letters, the euro sign, an empty line, CR LF line ends.
    const std::string Bytes = "\xA0Gr\xFC\xDF\xE9 \x80\xA0"
                              "5\r\n\r\n20\xB0\xA0"
                              "C\xA0\xA0.";
    WriteFile(Dir / "club.m22.dsc", Bytes);
    app::TScreen& S = Open(2);
    FileAnswers = {InDir("club.m22")};
    S.SaveOne->click();
    S.ConfirmBtn->click();
    // The stop keeps the save, and with it the description as the memo gave it back.
    S.Anhalten->click();
    EXPECT_EQ(ReadFile(Dir / "club.m22.dsc"), Bytes);
}

TEST_F(FlowTest, AClickOnTheTransferCaptionAbortsLikeCancel) {
    Simulate(Sending(2, TSimMode::smSendModel));
    OnTransferStarting = nullptr; // the transmitter never starts sending
    app::TScreen& S = Open(2);
    FileAnswers = {InDir("club.m22")};
    S.SaveOne->click();
    S.ConfirmBtn->click();
    ASSERT_EQ(S.CurrentIdleHandler(), transfer::ihTransferIdle);
    RunFor(50ms);
    Click(S.TL);

    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons);
    EXPECT_EQ(S.CurrentIdleHandler(), transfer::ihMonitorIdle);
    EXPECT_EQ(S.TransferEngine().Outcome(), transfer::toCancelled);
    EXPECT_EQ(LastMessage(), transfer::TTransferEngine::CancelledMessage);
    EXPECT_FALSE(fs::exists(Dir / "club.m22"));
    EXPECT_FALSE(fs::exists(Dir / "club.m22.dsc")) << "a cancelled save keeps no description";
}

TEST_F(FlowTest, AFailureInsideAFlowIsShownAndTheFlowStaysOnItsPage) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    app::TScreen& S = Open(2);
    FileAnswers = {InDir("missing-folder/club.m22")};
    S.SaveOne->click();
    S.ConfirmBtn->click();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Kind, app::mkError);
    EXPECT_FALSE(Messages[0].Text.empty());
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npTransfer);
    EXPECT_EQ(TransfersStarted, 0);
    S.AbortBtn->click();
    EXPECT_EQ(S.NB1->currentIndex(), transfer::npButtons);
    EXPECT_EQ(S.CurrentIdleHandler(), transfer::ihMonitorIdle);
}

} // namespace vaultix::apptest
