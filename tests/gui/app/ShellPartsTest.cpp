// The smaller parts of the application shell: dialog filters, message texts, the general error
// handler and the demonstration.

#include "ScreenFixture.h"

#include "tests/support/PtyPair.h"

#include "app/ApplicationErrors.h"
#include "app/BackupView.h"
#include "app/DemoMode.h"
#include "platform/RuntimeExceptions.h"
#include "serial/ThreadExceptionHook.h"
#include "transfer/BackupFiles.h"

#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>

#include <thread>

namespace vaultix::apptest {

TEST(UserDialogs, FiltersAreGivenInQtsForm) {
    EXPECT_EQ(app::QtNameFilter(transfer::DialogFilter("a22")).toStdString(),
              "Transmitter Settings (*.a22)");
    EXPECT_EQ(app::QtNameFilter("Text|*.txt").toStdString(), "Text (*.txt)");
    EXPECT_EQ(app::QtNameFilter("Backups|*.m22;*.a22|All|*").toStdString(),
              "Backups (*.m22 *.a22);;All (*)");
}

TEST(UserDialogs, CarriageReturnsBreakTheLinesOfAMessage) {
    EXPECT_EQ(app::MessageText("one\rtwo\r\nthree").toStdString(), "one\ntwo\nthree");
}

// Answers the next file dialog by typing Name, or rejects it at the deadline.
static void TypeIntoNextFileDialog(const QString& Name, QString& Directory, QString& Filter) {
    auto* Poll = new QTimer;
    auto* Clock = new QElapsedTimer;
    Clock->start();
    QObject::connect(Poll, &QTimer::timeout, [=, &Directory, &Filter] {
        auto* Dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        const bool Late = std::chrono::milliseconds(Clock->elapsed()) > Deadline;
        if (Dialog == nullptr && !Late) return;
        Poll->stop();
        Poll->deleteLater();
        delete Clock;
        if (Dialog == nullptr) return;
        if (Late) {
            ADD_FAILURE() << "the file dialog was not answered";
            Dialog->reject();
            return;
        }
        Directory = Dialog->directory().absolutePath();
        Filter = Dialog->selectedNameFilter();
        Dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(Name);
        static_cast<QDialog*>(Dialog)->accept();
    });
    Poll->start(5);
}

TEST_F(ScreenTest, TheRealSaveDialogStartsInTheFolderAndAddsTheExtension) {
    app::SetSaveFileNameFunction({});
    const QString Folder = QString::fromStdString(Dir.string());
    QString Directory;
    QString Filter;
    TypeIntoNextFileDialog(QStringLiteral("club"), Directory, Filter);
    const std::optional<QString> Chosen =
        app::GetSaveFileName(nullptr, {Folder + QLatin1Char('/'), QString(), QStringLiteral("a22"),
                                       app::QtNameFilter(transfer::DialogFilter("a22"))});
    ASSERT_TRUE(Chosen.has_value());
    EXPECT_EQ(Chosen->toStdString(), (Dir / "club.a22").string());
    EXPECT_EQ(Directory, Folder);
    EXPECT_EQ(Filter.toStdString(), "Transmitter Settings (*.a22)");
}

TEST_F(ScreenTest, FailuresFromOtherThreadsAreShownOnTheApplicationsThread) {
    app::InstallApplicationErrorHandler();
    std::thread Worker([] {
        serial::ShowThreadException(std::make_exception_ptr(platform::Exception("line lost")));
    });
    Worker.join();
    EXPECT_TRUE(Messages.empty()) << "not on the worker thread";
    EXPECT_TRUE(RunUntil([&] { return !Messages.empty(); }));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Kind, app::mkError);
    EXPECT_EQ(Messages[0].Text, "line lost");
    serial::SetThreadExceptionHandler({});
}

TEST_F(ScreenTest, TheDemonstrationOpensOnTheSimulatorAndServesEachFlow) {
    app::TDemo Demo(2);
    app::TScreenOptions Options;
    Options.TxIndex = Demo.TxRow();
    Options.PortIndex = 0;
    Options.PortOverrides[1] = Demo.DevicePath();
    Options.WriteSettings = false;
    Options.OnTransferStarting = [&Demo](app::TScreen& Window) { Demo.BeforeTransfer(Window); };
    app::TScreen& D = MakeScreen(Options);
    EXPECT_TRUE(D.Port.Open()) << LastMessage();
    EXPECT_EQ(D.TxBox->currentText().toStdString(), "MC-22");
    EXPECT_EQ(platform::ComPortPath(1), Demo.DevicePath());

    // A save: the simulator that COM1 opened on sends once the user confirmed.
    const simulator::TTxSimulator* First = Demo.Simulator();
    FileAnswers = {InDir("saved.m22"), InDir("demo.m22")};
    D.SaveOne->click();
    D.ConfirmBtn->click();
    EXPECT_EQ(Demo.Simulator(), First);
    ASSERT_TRUE(RunUntil([&] { return !D.TransferEngine().Running(); }, 30s));
    EXPECT_EQ(D.TransferEngine().Outcome(), transfer::toCompleted);
    EXPECT_EQ(ReadBytes(Dir / "saved.m22"), First->Image());

    // A restore needs a receiving transmitter: COM1 moves to a fresh simulator.
    const simulator::TImage Backup =
        simulator::MakeModelSeries(transfer::TxTypes[2], 1, 3, {"DEMO"}, 1);
    WriteFile(Dir / "demo.m22", Backup);
    const std::size_t Shown = Messages.size();
    D.RestoreOne->click();
    D.ConfirmBtn->click();
    EXPECT_NE(Demo.Simulator(), First);
    EXPECT_EQ(platform::ComPortPath(1), Demo.Simulator()->SlavePath());
    EXPECT_TRUE(D.Port.Open());
    // The verify offered after it: the transmitter sends back what it received, which is
    // exactly the backup.
    ASSERT_TRUE(RunUntil([&] { return Messages.size() == Shown + 4; }, 30s));
    EXPECT_EQ(Messages[Shown + 1].Text, "Model \"DEMO\" successfully transferred.");
    EXPECT_EQ(Messages[Shown + 2].Kind, app::mkQuestion);
    EXPECT_TRUE(Messages.back().Text.starts_with("Model 1 \"DEMO\" verified:")) << LastMessage();
    CloseScreen();
    EXPECT_FALSE(fs::exists(Dir / "Vaultix.ini")) << "the demonstration leaves the settings alone";
}

TEST_F(ScreenTest, TheWindowIsAFixedDialogWithTheLogoDecoded) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    app::TScreen& S = MakeScreen();
    S.show();
    ASSERT_TRUE(RunUntil([&] { return S.isVisible(); }));
    EXPECT_EQ(S.minimumSize(), S.maximumSize());
    EXPECT_FALSE(S.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(S.windowFlags() & Qt::WindowCloseButtonHint);

    const QPixmap Logo = S.Image1->pixmap();
    ASSERT_FALSE(Logo.isNull()) << "the logo is compiled into the program and decoded";
    EXPECT_EQ(Logo.size(), QSize(297, 49));
    const QImage Pixels = Logo.toImage();
    EXPECT_EQ(qAlpha(Pixels.pixel(0, 0)), 0) << "transparent background";
    EXPECT_EQ(S.Image1->toolTip().toStdString(), "Vaultix Homepage");
    EXPECT_EQ(S.Labelx2->text().toStdString(), "Version 1.03");

    // The user guide's pictures of the window, one per page.
    if (const char* Shots = std::getenv("VAULTIX_SCREENSHOT_DIR")) {
        const char* Names[] = {"main-window", "transfer-page", "description-page", "chooser-page"};
        for (int Page = 0; Page < 4; ++Page) {
            S.NB1->setCurrentIndex(Page);
            S.grab().save(QString::fromLocal8Bit(Shots) + QLatin1Char('/') +
                          QLatin1String(Names[Page]) + QStringLiteral(".png"));
        }
    }
}

TEST_F(ScreenTest, BackupsDroppedOnTheWindowOpenInTheirViewAndAFolderIsRefused) {
    testsupport::TPtyPair Cable;
    platform::SetPortOverride(1, Cable.SlavePath());
    app::TScreen& S = MakeScreen();
    WriteFile(Dir / "club.m24", std::vector<std::uint8_t>(3072, 0x41));
    fs::create_directory(Dir / "folder");
    QMimeData Files;
    Files.setUrls({QUrl::fromLocalFile(InDir("club.m24")), QUrl::fromLocalFile(InDir("folder"))});
    QDragEnterEvent Enter(QPoint(5, 5), Qt::CopyAction, &Files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&S, &Enter);
    EXPECT_TRUE(Enter.isAccepted());
    QDropEvent Drop(QPointF(5, 5), Qt::CopyAction, &Files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&S, &Drop);

    const QList<app::TBackupView*> Views = S.findChildren<app::TBackupView*>();
    ASSERT_EQ(Views.size(), 1);
    // Three MC-22 models are as long as one MC-24 model: the window's type comes first.
    EXPECT_EQ(Views[0]->TypeBox->count(), 3);
    EXPECT_EQ(Views[0]->TxRow(), S.TxBox->currentIndex());
    EXPECT_EQ(Views[0]->Units().Count(), 3u);
    EXPECT_EQ(LastMessage().find(InDir("folder").toStdString() + " cannot be opened"), 0u)
        << LastMessage();
}

} // namespace vaultix::apptest

namespace vaultix::apptest {

TEST_F(ScreenTest, TheProgressTextIsRedrawnAtAReadableRateAndEndsOnTheLatest) {
    app::TScreen& S = MakeScreen();
    transfer::TTransferWindow& Window = S;
    Window.SetProgressLabel("1 bytes of 1024 transferred.");
    EXPECT_EQ(S.ProgressLabel->text().toStdString(), "1 bytes of 1024 transferred.");
    // A burst of counts: the label skips what nobody could read, but never the last one.
    for (int Done = 2; Done <= 50; ++Done)
        Window.SetProgressLabel(std::to_string(Done) + " bytes of 1024 transferred.");
    EXPECT_EQ(S.ProgressLabel->text().toStdString(), "1 bytes of 1024 transferred.");
    EXPECT_TRUE(RunUntil(
        [&] { return S.ProgressLabel->text().toStdString() == "50 bytes of 1024 transferred."; }));
    // Clearing at the end of a transfer shows at once.
    Window.SetProgressLabel("51 bytes of 1024 transferred.");
    Window.SetProgressLabel("");
    EXPECT_TRUE(S.ProgressLabel->text().isEmpty());
    RunFor(std::chrono::milliseconds(3 * app::TScreen::ProgressRefreshMs));
    EXPECT_TRUE(S.ProgressLabel->text().isEmpty());
}

} // namespace vaultix::apptest
