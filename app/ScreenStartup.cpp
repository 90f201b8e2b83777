// Start-up and settings of the main window: the settings file, the command-line switch, the
// serial port and the transmitter type.

#include "app/ApplicationErrors.h"
#include "app/Program.h"
#include "app/Screen.h"
#include "app/UserDialogs.h"
#include "platform/ComPortMap.h"
#include "platform/IdleDriver.h"
#include "platform/PortDiagnosis.h"
#include "platform/PortOverrides.h"
#include "platform/ProfileFile.h"
#include "platform/ProgramPlaces.h"
#include "platform/ShownText.h"
#include "serial/PortOpening.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>

namespace vaultix::app {

namespace {

constexpr char SetSection[] = "Set";
constexpr int DefaultPortIndex = 0;

// What the port line under the lists says after COM Number failed to open: the reason the
// message gave, and what to do about it.
std::string PortAdvice(const platform::TPortDiagnosis& Failure) {
    if (Failure.Problem == platform::ppNotChosen)
        return "No port chosen: pick one in the Serial Port list.";
    if (Failure.Problem == platform::ppNoDevice)
        return platform::ProblemText(Failure) + " Plug in the adapter, or pick another port.";
    return platform::ProblemText(Failure) + " Or pick another port.";
}

// A message about the window's own state. At start-up the window is not shown yet: the message
// waits for the event loop, which runs once the window is shown, so that it stands over the
// window and is not left alone on the screen before it.
// A message for standard error, where "\r" would overwrite the line.
std::string OneLineOf(std::string Text) {
    for (char& C : Text)
        if (C == '\r' || C == '\n') C = ' ';
    return platform::ShownText(Text);
}

void ShowOverWindow(QWidget* Window, const std::string& Text) {
    if (Window->isVisible()) {
        ShowMessage(Window, mkError, Text);
        return;
    }
    QTimer::singleShot(0, Window, [Window, Text] { ShowMessage(Window, mkError, Text); });
}

} // namespace

TScreen::TScreen(platform::TIdleDriver& AIdle, TScreenOptions Options)
    : QWidget(nullptr), Idle(AIdle), FOptions(std::move(Options)) {
    FPlaces = FOptions.ProgramDir.isEmpty()
                  ? platform::OwnProgramPlaces()
                  : platform::PortablePlaces(FOptions.ProgramDir.toStdString());
    setObjectName(QStringLiteral("Screen"));
    BuildLayout();
    ApplyPortConfiguration();
    // The port's own open and close also change what the actions may do.
    Port.SetOnPortOpen([this](serial::TOxCustomComPort&) { AL1Update(nullptr); });
    Port.SetOnPortClose([this](serial::TOxCustomComPort&) {
        if (!FDestroyed) AL1Update(nullptr);
    });
    Idle.SetErrorHandler(HandleApplicationError);
    RunGuarded([this] { FormCreate(this); });
}

TScreen::~TScreen() {
    EndSession(true);
    Port.SetOnPortOpen({});
    Port.SetOnPortClose({});
}

void TScreen::EndSession(bool ShowErrors) {
    if (FDestroyed) return;
    FDestroyed = true;
    Idle.SetIdleHandler({});
    const auto Run = [ShowErrors](const std::function<void()>& Step) {
        if (ShowErrors) {
            RunGuarded(Step);
            return;
        }
        try {
            Step();
        } catch (const std::exception& Error) {
            std::fprintf(stderr, "vaultix: %s\n", OneLineOf(Error.what()).c_str());
        } catch (...) {
            std::fprintf(stderr, "vaultix: an unknown error while ending\n");
        }
    };
    Run([this] { FormDestroy(this); });
    // A running save's new files are not kept: the earlier backup stays as it was.
    Run([this] {
        Engine.DataFile.Close();
        Engine.DescriptionFile.Close();
    });
    Run([this] { Port.SetOpen(false); });
}

// The port's stored configuration: the transmitter's line and the program's buffer sizes.
void TScreen::ApplyPortConfiguration() {
    Port.BeginLoading();
    Port.SetComNumber(1);
    Port.SetBaud(4800);
    Port.SetParity(serial::pEven);
    Port.SetStopBits(2);
    Port.SetInSize(51200);
    Port.SetOutSize(10240);
    Port.SetBufferFull(51000);
    Port.SetBufferResume(409);
    Port.SetTraceName("Vaultix.log");
    Port.SetTraceHex(false);
    Port.SetLogName("Orvex.LOG");
    Port.SetLogHex(false);
    Port.SetTapiMode(serial::tmOff);
    Port.Loaded();
}

void TScreen::FormCreate(QObject*) {
    std::optional<platform::TProfileFile> Settings;
    Settings.emplace(FPlaces.SettingsFile);
    ApplicationHelpFile() = QString::fromStdString(FPlaces.GuideFile);
    SaveDialog1.InitialDir = QString::fromStdString(FPlaces.DialogFolder);
    OpenDialog1.InitialDir = QString::fromStdString(FPlaces.DialogFolder);
    move(Settings->ReadInteger(SetSection, "PosX", 0),
         Settings->ReadInteger(SetSection, "PosY", 0));
    KeepOnScreen();

    const int StoredTx =
        Settings->ReadInteger(SetSection, "Transmitter", transfer::DefaultTxTypeRow);
    TxBox->setCurrentIndex(StoredTx >= 0 && StoredTx < TxBox->count() ? StoredTx : -1);
    const int StoredPort = Settings->ReadInteger(SetSection, "Port", DefaultPortIndex);
    ComBox->setCurrentIndex(StoredPort >= 0 && StoredPort < ComBox->count() ? StoredPort : -1);

    Send40aa->setVisible(FOptions.Debug);
    CTSMON->setVisible(FOptions.Debug);
    Anhalten->setVisible(FOptions.Debug);
    if (!FOptions.Debug) {
        const int Test = TxBox->findText(
            QString::fromLatin1(transfer::TxTypes[transfer::TestTypeRow].TxBoxEntry));
        if (Test >= 0) {
            // The stored choice of the test type leaves no choice at all.
            const bool WasSelected = TxBox->currentIndex() == Test;
            TxBox->removeItem(Test);
            if (WasSelected) TxBox->setCurrentIndex(-1);
        }
    }
    if (FOptions.TxIndex) TxBox->setCurrentIndex(*FOptions.TxIndex);
    if (FOptions.PortIndex) ComBox->setCurrentIndex(*FOptions.PortIndex);
    // Without a choice the list shows the type that is used: the default one.
    if (TxBox->currentIndex() < 0) TxBox->setCurrentIndex(transfer::DefaultTxTypeRow);

    ShowPage(transfer::npButtons);
    if (Settings->ReadBool(SetSection, "Tracing", false)) Port.SetTracing(serial::tlOn);
    platform::ReadPortOverrides(*Settings);
    for (const auto& [Number, Path] : FOptions.PortOverrides)
        platform::SetPortOverride(Number, Path);
    Settings.reset();

    RunGuarded([this] { ComBoxChange(this); });
    RunGuarded([this] { TxBoxChange(this); });
    InstallIdleHandler(transfer::ihMonitorIdle);
    AL1Update(this);
}

// A position stored for a screen that is gone (a second monitor unplugged, a smaller display)
// would open the window where nobody sees it: it moves onto the screen it overlaps most, or the
// primary one, as far as needed to show whole, its window manager's frame included.
void TScreen::KeepOnScreen() {
    if (layout() != nullptr) layout()->activate();
    // The position is the frame's; before the window manager has framed the window the frame
    // has no size yet, and the check is made again once it has (WatchFrame).
    const QRect Window = frameGeometry();
    const QScreen* Target = QGuiApplication::primaryScreen();
    qint64 BestOverlap = 0;
    for (const QScreen* Screen : QGuiApplication::screens()) {
        const QRect Overlap = Screen->availableGeometry().intersected(Window);
        const qint64 Area = qint64(Overlap.width()) * Overlap.height();
        if (Area > BestOverlap) {
            BestOverlap = Area;
            Target = Screen;
        }
    }
    if (Target == nullptr) return;
    const QRect Area = Target->availableGeometry();
    const int X = std::max(Area.left(), std::min(Window.left(), Area.right() + 1 - Window.width()));
    const int Y = std::max(Area.top(), std::min(Window.top(), Area.bottom() + 1 - Window.height()));
    if (X != Window.left() || Y != Window.top()) move(X, Y);
}

void TScreen::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    if (FFrameWatch == nullptr) WatchFrame();
}

// A window manager frames the window a moment after it shows; only then is the frame's size
// known. The window is looked at a few times in its first second, and checked once framed.
void TScreen::WatchFrame() {
    FFrameWatch = new QTimer(this);
    FFrameWatch->setInterval(FrameWatchMs);
    connect(FFrameWatch, &QTimer::timeout, this, [this, Looks = 0]() mutable {
        const QWindow* Window = windowHandle();
        const bool Framed = Window != nullptr && !Window->frameMargins().isNull();
        if (Framed) KeepOnScreen();
        if (Framed || ++Looks * FrameWatchMs >= 1000) FFrameWatch->stop();
    });
    FFrameWatch->start();
}

void TScreen::FormDestroy(QObject*) {
    if (!FOptions.WriteSettings) return;
    // An installed program's first close makes the user's settings folder.
    platform::MakeSettingsFolder(FPlaces);
    platform::TProfileFile Settings(FPlaces.SettingsFile);
    Settings.WriteInteger(SetSection, "PosX", x());
    Settings.WriteInteger(SetSection, "PosY", y());
    Settings.WriteInteger(SetSection, "Transmitter", TxBox->currentIndex());
    Settings.WriteInteger(SetSection, "Port", ComBox->currentIndex());
    // Tracing switched on stays on until it is switched off in the file.
    Settings.WriteBool(SetSection, "Tracing", Port.Tracing() != serial::tlOff);
}

void TScreen::ComBoxChange(QObject*) {
    // A running transfer belongs to its port: it ends first, as Cancel ends it, once the user
    // agrees; otherwise the list goes back to the port in use.
    if (Engine.Running()) {
        const std::string Name = "COM" + std::to_string(Port.ComNumber());
        const std::string Question =
            "A transfer is running on " + Name + ". Another port ends it as Cancel does" +
            (Engine.Sending ? "." : "; an earlier backup of this name stays as it was.") +
            "\rEnd the transfer and use the other port?";
        if (!ShowMessage(this, mkQuestion, Question)) {
            ComBox->setCurrentIndex(Port.ComNumber() - 1);
            return;
        }
        Driver.Cancel();
    }
    // Without a selection the port asks the user; a choice the list has then shows in the list,
    // and so is also kept in the settings.
    const auto ShowChosenPort = [this] {
        const int Chosen = Port.ComNumber() - 1;
        if (ComBox->currentIndex() < 0 && Chosen >= 0 && Chosen < ComBox->count())
            ComBox->setCurrentIndex(Chosen);
    };
    const std::optional<platform::TPortDiagnosis> Failure =
        serial::OpenComPort(Port, static_cast<std::uint16_t>(ComBox->currentIndex() + 1));
    ShowChosenPort();
    if (Failure) {
        const std::string Details = platform::ProblemText(*Failure);
        std::string Text = PortOpenFailedMessage;
        if (!Details.empty()) Text += "\r" + Details;
        AL1Update(this);
        DescribePorts();
        ComDeviceLabel->setText(QString::fromStdString(PortAdvice(*Failure)));
        ShowOverWindow(this, Text);
        return;
    }
    AL1Update(this);
    DescribePorts();
}

void TScreen::PortLost() {
    if (!Port.Open() || !Port.DeviceGone()) return;
    TellPortGone(platform::ProblemText(platform::PortVanished(
                     "COM" + std::to_string(Port.ComNumber()), Port.DevicePath())),
                 false);
}

void TScreen::TransferPortGone(const std::string& Text) {
    HintLabel->clear();
    TellPortGone(Text, true);
}

void TScreen::TellPortGone(const std::string& Text, bool Transfer) {
    const std::string Name = "COM" + std::to_string(Port.ComNumber());
    // A trace that cannot be written is reported and dropped; the second close then succeeds.
    for (int Attempt = 0; Attempt < 2 && Port.Open(); ++Attempt)
        RunGuarded([this] { Port.SetOpen(false); });
    std::string Message =
        Text + "\rPlug it in again, then choose " + Name + " in the Serial Port list.";
    if (Transfer && Driver.Verifying())
        Message += std::string("\rThe verify cannot go on: click Cancel. ") +
                   transfer::NothingVerifiedText;
    else if (Transfer && Engine.Sending)
        Message += "\rThe transfer cannot go on: click Cancel, then start the restore again.";
    else if (Transfer)
        Message += "\rThe transfer cannot go on: click Cancel. An earlier backup of this name "
                   "stays as it was.";
    ShowMessage(this, mkError, Message);
}

const transfer::TTxInfo& TScreen::SelectedTxType() {
    return transfer::TxTypeAt(TxBoxIndex());
}

void TScreen::TxBoxChange(QObject*) {
    const transfer::TTxInfo& Row = SelectedTxType();
    FileExt = Row.Ext;
    // The type's change shows in the actions even when setting the speed fails.
    AL1Update(this);
    Port.SetBaud(Row.BaudRate);
    OpenDialog1.FileName.clear();
    SaveDialog1.FileName.clear();
    if (std::string(Row.Code) == transfer::TxTypes[transfer::TestTypeRow].Code &&
        ShowMessage(this, mkQuestion, TestBaudQuestion))
        Port.SetBaud(4000);
}

void TScreen::MonitorIdle(QObject*, bool& Done) {
    const bool Cts = Port.CtsOn();
    if (CTSMON->isChecked() != Cts) CTSMON->setChecked(Cts);
    Done = false;
}

} // namespace vaultix::app
