#pragma once
// TScreen, the main window and the whole user interface: the title panel, the settings row
// with the transmitter and port lists, the notebook NB1 with its four pages (Buttons,
// Transfer, Description, ChooseModel), and the bottom row with Help and Close. It owns the
// serial port component Port and the transfer engine, and serves the engine as its window.
//
// The class is spread over several files: ScreenLayout.cpp builds the controls,
// ScreenStartup.cpp holds start-up, settings and the two selection lists, ScreenFlows.cpp the
// four actions and their pages, ScreenTransfer.cpp the engine's side, ScreenLinks.cpp help,
// links and closing.

#include "app/ClickLabel.h"
#include "app/ModelChooserList.h"
#include "platform/ProgramPlaces.h"
#include "serial/ComPort.h"
#include "transfer/TransferDriver.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferPort.h"
#include "transfer/TransferWindow.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace vaultix::platform {
class TIdleDriver;
}

namespace vaultix::app {

class TScreen;

struct TScreenOptions {
    // "DEBUG" as the first argument: the test type and the debug controls.
    bool Debug = false;
    // One folder for the settings file, the user guide and the dialogs' start; empty: the
    // program's own places.
    QString ProgramDir;
    // Whether closing writes the settings file (the demonstration leaves it alone).
    bool WriteSettings = true;
    // Selections that replace the stored ones (the demonstration's type and COM1).
    std::optional<int> TxIndex;
    std::optional<int> PortIndex;
    // COM port → device path, pinned after the settings file's own "Ports" section.
    std::map<int, std::string> PortOverrides;
    // Tells the application to terminate; by default QCoreApplication::quit.
    std::function<void()> Terminate;
    // Called right before a transfer starts, after the user confirmed the instruction.
    std::function<void(TScreen&)> OnTransferStarting;
};

// What a file dialog keeps between two showings.
struct TFileDialogState {
    QString InitialDir;
    QString FileName;
    QString DefaultExt;
    std::string Filter; // "Transmitter Settings (*.a22)|*.a22"
};

class TScreen final : public QWidget,
                      public transfer::TTransferWindow,
                      public transfer::TTransferFace {
public:
    static constexpr char Caption[] = "Save your valuable Transmitter settings to your PC";
    static constexpr char HomePageUrl[] = "https://vaultix.example.org/";
    static constexpr char CharityUrl[] = "https://vaultix.example.org/giving.html";
    static constexpr char AuthorMailUrl[] =
        "mailto:author@vaultix.example.org?subject=Comment on Vaultix";

    static constexpr char PortOpenFailedMessage[] =
        "COM port could not be opened.\rMake sure, it really exists and is not currently "
        "occupied by another program.";
    static constexpr char TestBaudQuestion[] = "Set Baudrate to 4000?\r(For MC18/MC20)";
    static constexpr char SaveDescriptionLabel[] = "Enter description of file and confirm.";
    static constexpr char RestoreDescriptionLabel[] = "Check file description and confirm with OK.";
    static constexpr char RestoreInstruction[] =
        "Now start reception of data at your transmitter.\rClick OK when the transmitter is "
        "waiting for data!";
    static constexpr char SaveInstruction[] = "Now let your transmitter send data..";
    static constexpr char ChooserInstruction[] =
        "Now prepare your transmitter to receive one model's data.\rClick OK when the "
        "transmitter is waiting for data!";

    // Shortest time between two redraws of the progress text.
    static constexpr int ProgressRefreshMs = 40;
    // How often a running transfer's step comes round without a byte to act on: the progress
    // text and the hint of a silent transfer are brought up to date at this rate.
    static constexpr int TransferTickMs = 250;

    // Builds the window and runs FormCreate. Idle is the application's idle driver.
    TScreen(platform::TIdleDriver& Idle, TScreenOptions Options = {});
    // Runs EndSession.
    ~TScreen() override;
    // What ending the program does, once: FormDestroy writes the settings, a running save's new
    // files are removed, the port is closed. For a process that ends without destroying the
    // window (its X server gone) errors go to standard error instead of message boxes.
    void EndSession(bool ShowErrors);

    // ---- Title panel --------------------------------------------------------------------
    QWidget* Panel1 = nullptr;
    TClickLabel* Image1 = nullptr;
    TClickLabel* Labelx2 = nullptr;
    TClickLabel* Signet = nullptr;
    // ---- Settings row -------------------------------------------------------------------
    QLabel* SettingsLabel = nullptr;
    QLabel* TxLabel = nullptr;
    QComboBox* TxBox = nullptr;
    QLabel* ComLabel = nullptr;
    QComboBox* ComBox = nullptr;
    // The device behind the selected port ("/dev/ttyUSB0 — FTDI FT232R USB UART").
    QLabel* ComDeviceLabel = nullptr;
    // ---- NB1 ----------------------------------------------------------------------------
    QStackedWidget* NB1 = nullptr;
    // Page 0, Buttons
    QLabel* ActionLabel = nullptr;
    QPushButton* SaveOne = nullptr;
    QPushButton* RestoreOne = nullptr;
    QPushButton* SaveAll = nullptr;
    QPushButton* RestoreAll = nullptr;
    // Looks into a backup file without a transmitter (BackupActions).
    QPushButton* OpenBackup = nullptr;
    // Page 1, Transfer
    TClickLabel* TL = nullptr;
    QLabel* ProgressLabel = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    // What to check when nothing moves.
    QLabel* HintLabel = nullptr;
    QPushButton* AbortBtn = nullptr;
    QPushButton* Send40aa = nullptr;
    QCheckBox* CTSMON = nullptr;
    QPushButton* Anhalten = nullptr;
    // Page 2, Description
    QLabel* DescriptionLabel = nullptr;
    QPlainTextEdit* Description = nullptr;
    QPushButton* ConfirmBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    // Page 3, ChooseModel
    QLabel* ChooseLabel = nullptr;
    QLabel* RestoreLabel = nullptr;
    TModelChooserList* Selection = nullptr;
    QPushButton* SelectBtn = nullptr;
    QPushButton* DoneBtn = nullptr;
    // ---- Bottom row ---------------------------------------------------------------------
    QPushButton* HelpBtn = nullptr;
    QPushButton* ExitBtn = nullptr;
    // ---- Without a face -----------------------------------------------------------------
    // The action list AL1.
    QAction* ASaveOne = nullptr;
    QAction* ASaveAll = nullptr;
    QAction* ARestoreOne = nullptr;
    QAction* ARestoreAll = nullptr;
    QTimer* Timer = nullptr;
    TFileDialogState SaveDialog1;
    TFileDialogState OpenDialog1;
    serial::TOxComPort Port;

    // ---- State of the running flow ------------------------------------------------------
    // Extension the next dialog offers; set by TxBoxChange.
    std::string FileExt;
    // The file chosen in the flow's dialog, for all its later steps.
    QString FileName;
    bool DebugMode() const { return FOptions.Debug; }
    const platform::TProgramPlaces& ProgramPlaces() const { return FPlaces; }

    // ---- Start-up and settings ----------------------------------------------------------
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void ComBoxChange(QObject* Sender);
    void TxBoxChange(QObject* Sender);
    void MonitorIdle(QObject* Sender, bool& Done);

    // ---- Flows --------------------------------------------------------------------------
    void ASaveOneExecute(QObject* Sender);
    void ASaveAllExecute(QObject* Sender);
    void ARestoreOneExecute(QObject* Sender);
    void ARestoreAllExecute(QObject* Sender);
    void AL1Update(QObject* Sender);
    virtual void StartRestore(QObject* Sender);
    virtual void StartSave(QObject* Sender);
    void ConfirmBtnClick(QObject* Sender);
    void CancelBtnClick(QObject* Sender);
    virtual void ListModels();
    void SelectBtnClick(QObject* Sender);

    // ---- Transfer -----------------------------------------------------------------------
    virtual void Pause(std::uint16_t Milliseconds) { Engine.Pause(Milliseconds); }
    void TransferIdle(QObject* Sender, bool& Done);
    void AbortBtnClick(QObject* Sender);
    void anhaltenClick(QObject* Sender);
    void Send40aaClick(QObject* Sender);
    void TimerTimer(QObject* Sender);

    // ---- Help, links, closing -----------------------------------------------------------
    void HelpBtnClick(QObject* Sender);
    void Image1Click(QObject* Sender);
    void Labelx2Click(QObject* Sender);
    void SignetClick(QObject* Sender);
    void ExitBtnClick(QObject* Sender);

    // ---- The engine's window ------------------------------------------------------------
    void SetProgressLabel(const std::string& Text) override;
    void SetProgressBar(int Position) override;
    void ShowPage(int Page) override;
    void ShowInformation(const std::string& Text) override;
    void InstallIdleHandler(transfer::TIdleHandler Handler) override;
    void ShowAnhalten() override;
    int TxBoxIndex() override;
    void StartTimer(std::uint16_t Milliseconds) override;
    void StopTimer() override;
    bool ProcessMessages() override;

    // ---- The driver's face --------------------------------------------------------------
    void TransferMoved(const transfer::TTransferProgress& Progress,
                       const std::string& Hint) override;
    void TransferPortGone(const std::string& Text) override;
    void TransferEnded() override;

    transfer::TTransferEngine& TransferEngine() { return Engine; }
    const transfer::TTransferDriver& TransferDriver() const { return Driver; }
    // The row of TxTypes the selection stands for (the default row without a selection).
    const transfer::TTxInfo& SelectedTxType();
    transfer::TIdleHandler CurrentIdleHandler() const { return FIdleHandler; }
    // Whether Close was used; the application is terminating.
    bool Terminating() const { return FTerminating; }

protected:
    void closeEvent(QCloseEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void BuildLayout();
    QWidget* BuildTitlePanel();
    QWidget* BuildSettingsRow();
    QWidget* BuildButtonsPage();
    QWidget* BuildTransferPage();
    QWidget* BuildDescriptionPage();
    QWidget* BuildChooseModelPage();
    QWidget* BuildBottomRow();
    void BuildActions();
    void ApplyPortConfiguration();
    void KeepOnScreen();
    void WatchFrame();
    void WireHandlers();

    // Runs an action's handler when its rule holds at this moment.
    void ExecuteAction(QAction* Action, void (TScreen::*Handler)(QObject*));
    // Shows the dialog for State and keeps the chosen name in FileName.
    bool ChooseFile(TFileDialogState& State, bool Saving);
    // The plan of the transfer the flow set up: the chosen file, the engine's unit.
    transfer::TTransferPlan PlanFor(bool Sending, bool FromChooser, std::size_t SkipUnits);
    void StartEngine();
    // Closes the port once its device has gone away, the way a close does, and tells the user
    // which port and device it was and what to do.
    void PortLost();
    // Closes the port that went away and shows Text with what to do; Transfer: a transfer ran.
    void TellPortGone(const std::string& Text, bool Transfer);
    // The Serial Port list's entries, its hint and the label beside it: the device behind each
    // COM number, read afresh.
    void DescribePorts();
    int SelectedModel() const;

    // After a restore: asks whether to verify it, and when so receives the transmitter's
    // send-back into memory and compares (ScreenVerify.cpp).
    void OfferVerify();
    void ShowVerifyResult();

    // Shows the progress text that came last, and keeps the label from being redrawn again
    // for a while: the count changes with every byte, far faster than anyone can read it.
    void RefreshProgressLabel();

    platform::TIdleDriver& Idle;
    TScreenOptions FOptions;
    QString FProgressText;
    QTimer* FProgressRefresh = nullptr;
    QElapsedTimer FProgressShown;
    platform::TProgramPlaces FPlaces;
    transfer::TTransferPortOf<serial::TOxComPort> FPortLink{Port};
    transfer::TTransferEngine Engine{FPortLink, *this};
    transfer::TTransferDriver Driver{Engine, Port, *this};
    transfer::TIdleHandler FIdleHandler = transfer::ihMonitorIdle;
    bool FTerminating = false;
    QTimer* FTransferTick = nullptr;
    bool FDestroyed = false;
    // Looks for the window manager's frame after the first show.
    static constexpr int FrameWatchMs = 50;
    QTimer* FFrameWatch = nullptr;
    // Help waits for the desktop to say whether it shows web pages.
    bool FAskingDesktop = false;
};

} // namespace vaultix::app
