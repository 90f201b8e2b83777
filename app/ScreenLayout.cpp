// The controls of the main window and what each of them runs.

#include "app/ApplicationErrors.h"
#include "app/BackupActions.h"
#include "app/ElidedLabel.h"
#include "app/PortComboBox.h"
#include "app/Screen.h"
#include "app/UserDialogs.h"
#include "platform/IdleDriver.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace vaultix::app {

namespace {

constexpr int LogoWidth = 297;
constexpr int LogoHeight = 49;
constexpr char LogoResource[] = ":/images/logo.gif";

QString Text(const char* Utf8) {
    return QString::fromUtf8(Utf8);
}

QPushButton* MakeButton(const char* Caption, QStyle::StandardPixmap Picture, QWidget* Parent) {
    auto* Button = new QPushButton(Text(Caption), Parent);
    Button->setIcon(Parent->style()->standardIcon(Picture));
    // Enter on a focused button clicks it; Enter elsewhere on the Description page is OK.
    Button->setAutoDefault(true);
    return Button;
}

} // namespace

void TScreen::BuildLayout() {
    setWindowTitle(Text(Caption));
    // A fixed dialog frame: no minimise, maximise or close box; Close leaves the program.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto* Main = new QVBoxLayout(this);
    Main->setSizeConstraint(QLayout::SetFixedSize);
    Main->setContentsMargins(6, 6, 6, 6);
    Main->setSpacing(6);
    Main->addWidget(BuildTitlePanel());
    Main->addWidget(BuildSettingsRow());

    NB1 = new QStackedWidget(this);
    NB1->setObjectName(QStringLiteral("NB1"));
    NB1->addWidget(BuildButtonsPage());
    NB1->addWidget(BuildTransferPage());
    NB1->addWidget(BuildDescriptionPage());
    NB1->addWidget(BuildChooseModelPage());
    Main->addWidget(NB1);
    Main->addWidget(BuildBottomRow());

    BuildActions();
    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setSingleShot(true);
    // A coarse timer may fire early, and the transmitter wants the full pause before an
    // acknowledgement.
    Timer->setTimerType(Qt::PreciseTimer);
    FProgressRefresh = new QTimer(this);
    FProgressRefresh->setSingleShot(true);
    FProgressRefresh->setInterval(ProgressRefreshMs);
    connect(FProgressRefresh, &QTimer::timeout, this, [this] { RefreshProgressLabel(); });
    // Between bytes, a running transfer's step still comes round: its progress and hint.
    FTransferTick = new QTimer(this);
    FTransferTick->setInterval(TransferTickMs);
    connect(FTransferTick, &QTimer::timeout, this, [this] {
        // A count that came too soon after the last redraw shows now.
        if (ProgressLabel->text() != FProgressText) RefreshProgressLabel();
        Idle.Wake();
    });
    WireHandlers();
    InstallBackupActions(*this);
}

QWidget* TScreen::BuildTitlePanel() {
    auto* Panel = new QFrame(this);
    Panel->setObjectName(QStringLiteral("Panel1"));
    Panel->setFrameShape(QFrame::StyledPanel);
    Panel1 = Panel;
    auto* Row = new QHBoxLayout(Panel);
    Row->setContentsMargins(3, 3, 3, 3);

    Image1 = new TClickLabel(Panel);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(LogoWidth, LogoHeight);
    Image1->setPixmap(QPixmap(QString::fromLatin1(LogoResource)));
    Image1->setToolTip(Text("Vaultix Homepage"));
    Image1->setCursor(Qt::PointingHandCursor);
    Row->addWidget(Image1);
    Row->addStretch(1);

    auto* Right = new QVBoxLayout;
    Labelx2 = new TClickLabel(Panel);
    Labelx2->setObjectName(QStringLiteral("Labelx2"));
    Labelx2->setText(Text("Version 1.03"));
    Labelx2->setToolTip(Text("Geben ist seliger denn Nehmen...."));
    Labelx2->setCursor(Qt::PointingHandCursor);
    Labelx2->setAlignment(Qt::AlignRight);
    Signet = new TClickLabel(Panel);
    Signet->setObjectName(QStringLiteral("Signet"));
    Signet->setText(Text("by the Vaultix authors"));
    Signet->setToolTip(Text("mail the author..."));
    Signet->setCursor(Qt::PointingHandCursor);
    Signet->setAlignment(Qt::AlignRight);
    Right->addWidget(Labelx2);
    Right->addStretch(1);
    Right->addWidget(Signet);
    Row->addLayout(Right);
    return Panel;
}

QWidget* TScreen::BuildSettingsRow() {
    auto* Box = new QFrame(this);
    Box->setFrameShape(QFrame::StyledPanel);
    auto* Rows = new QVBoxLayout(Box);
    Rows->setSpacing(2);
    auto* Row = new QHBoxLayout;
    Rows->addLayout(Row);
    SettingsLabel = new QLabel(Text("Settings:"), Box);
    TxLabel = new QLabel(Text("Transmitter"), Box);
    TxBox = new QComboBox(Box);
    TxBox->setObjectName(QStringLiteral("TxBox"));
    for (const transfer::TTxInfo& Row : transfer::TxTypes)
        TxBox->addItem(Text(Row.TxBoxEntry));
    TxLabel->setBuddy(TxBox);
    ComLabel = new QLabel(Text("Serial Port"), Box);
    auto* Ports = new TPortComboBox(Box);
    Ports->BeforePopup = [this] { DescribePorts(); };
    ComBox = Ports;
    ComBox->setObjectName(QStringLiteral("ComBox"));
    for (int Number = 1; Number <= 4; ++Number)
        ComBox->addItem(QStringLiteral("COM%1").arg(Number));
    ComLabel->setBuddy(ComBox);
    ComDeviceLabel = new TElidedLabel(Box);
    ComDeviceLabel->setObjectName(QStringLiteral("ComDeviceLabel"));
    ComDeviceLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ComDeviceLabel->setAccessibleDescription(QStringLiteral("port device"));

    QFont Bold = SettingsLabel->font();
    Bold.setBold(true);
    SettingsLabel->setFont(Bold);
    Row->addWidget(SettingsLabel);
    Row->addSpacing(8);
    Row->addWidget(TxLabel);
    Row->addWidget(TxBox, 1);
    Row->addSpacing(8);
    Row->addWidget(ComLabel);
    Row->addWidget(ComBox);
    // The device behind the selected port, under the lists.
    Rows->addWidget(ComDeviceLabel);
    return Box;
}

QWidget* TScreen::BuildButtonsPage() {
    auto* Page = new QWidget;
    Page->setObjectName(QStringLiteral("Buttons"));
    auto* Grid = new QGridLayout(Page);
    ActionLabel = new QLabel(Text("Action:"), Page);
    SaveOne = MakeButton("Save one model to file.", QStyle::SP_DialogSaveButton, Page);
    SaveOne->setObjectName(QStringLiteral("SaveOne"));
    SaveOne->setToolTip(Text("TX ---> PC"));
    RestoreOne = MakeButton("Restore one model from file.", QStyle::SP_DialogOpenButton, Page);
    RestoreOne->setObjectName(QStringLiteral("RestoreOne"));
    RestoreOne->setToolTip(Text("PC ---> TX"));
    SaveAll = MakeButton("Save all models to file.", QStyle::SP_DriveFDIcon, Page);
    SaveAll->setObjectName(QStringLiteral("SaveAll"));
    SaveAll->setToolTip(Text("TX --->>> PC"));
    RestoreAll = MakeButton("Restore all models from file.", QStyle::SP_DirOpenIcon, Page);
    RestoreAll->setObjectName(QStringLiteral("RestoreAll"));
    RestoreAll->setToolTip(Text("PC --->>> TX"));
    OpenBackup = MakeButton("Open a backup file.", QStyle::SP_FileDialogContentsView, Page);
    OpenBackup->setObjectName(QStringLiteral("OpenBackup"));
    OpenBackup->setToolTip(Text("Look into a backup: its models, compare, extract, join"));
    Grid->addWidget(ActionLabel, 0, 0, Qt::AlignTop);
    Grid->addWidget(SaveOne, 0, 1);
    Grid->addWidget(RestoreOne, 0, 2);
    Grid->addWidget(SaveAll, 1, 1);
    Grid->addWidget(RestoreAll, 1, 2);
    Grid->addWidget(OpenBackup, 2, 1);
    Grid->setColumnStretch(1, 1);
    Grid->setColumnStretch(2, 1);
    return Page;
}

QWidget* TScreen::BuildTransferPage() {
    auto* Page = new QWidget;
    Page->setObjectName(QStringLiteral("Transfer"));
    auto* Grid = new QGridLayout(Page);
    TL = new TClickLabel(Page);
    TL->setObjectName(QStringLiteral("TL"));
    TL->setText(Text("Transfer Status:"));
    ProgressLabel = new QLabel(Page);
    ProgressLabel->setObjectName(QStringLiteral("ProgressLabel"));
    ProgressBar1 = new QProgressBar(Page);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    AbortBtn = MakeButton("Cancel", QStyle::SP_DialogCancelButton, Page);
    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    Send40aa = MakeButton("Bestätigen (40 AA)", QStyle::SP_ArrowRight, Page);
    Send40aa->setObjectName(QStringLiteral("Send40aa"));
    CTSMON = new QCheckBox(Text("CTS"), Page);
    CTSMON->setObjectName(QStringLiteral("CTSMON"));
    // It shows the line; the user does not set it.
    CTSMON->setAttribute(Qt::WA_TransparentForMouseEvents);
    CTSMON->setFocusPolicy(Qt::NoFocus);
    Anhalten = MakeButton("Save all", QStyle::SP_MediaStop, Page);
    Anhalten->setObjectName(QStringLiteral("Anhalten"));
    Anhalten->setToolTip(Text("TX ---> PC"));

    HintLabel = new QLabel(Page);
    HintLabel->setObjectName(QStringLiteral("HintLabel"));
    HintLabel->setAccessibleDescription(QStringLiteral("hint"));
    HintLabel->setWordWrap(true);
    HintLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for the longest hint, so that the window keeps its size when one shows.
    HintLabel->setMinimumHeight(HintLabel->fontMetrics().lineSpacing() * 3);

    Grid->addWidget(TL, 0, 0);
    Grid->addWidget(ProgressLabel, 0, 1, 1, 3);
    Grid->addWidget(ProgressBar1, 1, 0, 1, 4);
    Grid->addWidget(HintLabel, 2, 0, 1, 4);
    Grid->addWidget(Send40aa, 3, 0);
    Grid->addWidget(CTSMON, 3, 1);
    Grid->addWidget(Anhalten, 3, 2);
    Grid->addWidget(AbortBtn, 3, 3);
    Grid->setColumnStretch(1, 1);
    return Page;
}

QWidget* TScreen::BuildDescriptionPage() {
    auto* Page = new QWidget;
    Page->setObjectName(QStringLiteral("Description"));
    auto* Grid = new QGridLayout(Page);
    DescriptionLabel = new QLabel(Page);
    DescriptionLabel->setObjectName(QStringLiteral("DescriptionLabel"));
    Description = new QPlainTextEdit(Page);
    Description->setObjectName(QStringLiteral("DescriptionMemo"));
    Description->setToolTip(MessageText("Select model to restore. \r\nStart transfer by clicking "
                                        "OK.\r\nIf all done, click Finished."));
    Description->setTabChangesFocus(true);
    Description->setFixedHeight(Description->fontMetrics().lineSpacing() * 4 + 12);
    ConfirmBtn = MakeButton("OK", QStyle::SP_DialogOkButton, Page);
    ConfirmBtn->setObjectName(QStringLiteral("ConfirmBtn"));
    ConfirmBtn->setDefault(true);
    CancelBtn = MakeButton("Cancel", QStyle::SP_DialogCancelButton, Page);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    Grid->addWidget(DescriptionLabel, 0, 0, 1, 2);
    Grid->addWidget(Description, 1, 0, 2, 1);
    Grid->addWidget(ConfirmBtn, 1, 1);
    Grid->addWidget(CancelBtn, 2, 1);
    Grid->setColumnStretch(0, 1);
    return Page;
}

QWidget* TScreen::BuildChooseModelPage() {
    auto* Page = new QWidget;
    Page->setObjectName(QStringLiteral("ChooseModel"));
    auto* Grid = new QGridLayout(Page);
    ChooseLabel = new QLabel(Text("Choose Model"), Page);
    RestoreLabel = new QLabel(Text("to restore:"), Page);
    Selection = new TModelChooserList(Page);
    Selection->setObjectName(QStringLiteral("Selection"));
    SelectBtn = MakeButton("Go", QStyle::SP_MediaPlay, Page);
    SelectBtn->setObjectName(QStringLiteral("SelectBtn"));
    DoneBtn = MakeButton("Done", QStyle::SP_DialogCloseButton, Page);
    DoneBtn->setObjectName(QStringLiteral("DoneBtn"));
    Grid->addWidget(ChooseLabel, 0, 0);
    Grid->addWidget(RestoreLabel, 1, 0, Qt::AlignTop);
    Grid->addWidget(Selection, 0, 1, 2, 1);
    Grid->addWidget(SelectBtn, 0, 2);
    Grid->addWidget(DoneBtn, 1, 2);
    Grid->setColumnStretch(1, 1);
    return Page;
}

QWidget* TScreen::BuildBottomRow() {
    auto* Box = new QWidget(this);
    auto* Row = new QHBoxLayout(Box);
    Row->setContentsMargins(0, 0, 0, 0);
    HelpBtn = MakeButton("&Help", QStyle::SP_DialogHelpButton, Box);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    ExitBtn = MakeButton("Close", QStyle::SP_DialogCloseButton, Box);
    ExitBtn->setObjectName(QStringLiteral("ExitBtn"));
    Row->addWidget(HelpBtn);
    Row->addStretch(1);
    Row->addWidget(ExitBtn);
    return Box;
}

void TScreen::BuildActions() {
    const auto Make = [this](const char* Name, QPushButton* Button, const char* Hint) {
        auto* Action = new QAction(Button->icon(), Button->text(), this);
        Action->setObjectName(QString::fromLatin1(Name));
        Action->setToolTip(Text(Hint));
        addAction(Action);
        // The button shows its action's state; its own hint stays.
        QObject::connect(Action, &QAction::changed, Button,
                         [Action, Button] { Button->setEnabled(Action->isEnabled()); });
        QObject::connect(Button, &QPushButton::clicked, Action, &QAction::trigger);
        return Action;
    };
    ASaveOne = Make("ASaveOne", SaveOne, "TX ---> PC");
    ASaveAll = Make("ASaveAll", SaveAll, "TX ---> PC");
    ARestoreOne = Make("ARestoreOne", RestoreOne, "PC ---> TX");
    ARestoreAll = Make("ARestoreAll", RestoreAll, "PC ---> TX");
}

void TScreen::WireHandlers() {
    // Every handler runs guarded: what it raises is shown by the general error handler, and
    // the window stays where the handler left it.
    const auto Click = [this](QPushButton* Button, void (TScreen::*Handler)(QObject*)) {
        QObject::connect(Button, &QPushButton::clicked, this, [this, Button, Handler] {
            RunGuarded([&] { (this->*Handler)(Button); });
        });
    };
    const auto LabelClick = [this](TClickLabel* Label, void (TScreen::*Handler)(QObject*)) {
        Label->OnClick = [this, Label, Handler] { RunGuarded([&] { (this->*Handler)(Label); }); };
    };
    const auto Trigger = [this](QAction* Action, void (TScreen::*Handler)(QObject*)) {
        QObject::connect(Action, &QAction::triggered, this,
                         [this, Action, Handler] { ExecuteAction(Action, Handler); });
    };

    LabelClick(Image1, &TScreen::Image1Click);
    LabelClick(Labelx2, &TScreen::Labelx2Click);
    LabelClick(Signet, &TScreen::SignetClick);
    LabelClick(TL, &TScreen::AbortBtnClick);
    // activated: also when the user picks the entry that is already selected.
    QObject::connect(TxBox, &QComboBox::activated, this,
                     [this] { RunGuarded([&] { TxBoxChange(TxBox); }); });
    QObject::connect(ComBox, &QComboBox::activated, this,
                     [this] { RunGuarded([&] { ComBoxChange(ComBox); }); });
    Trigger(ASaveOne, &TScreen::ASaveOneExecute);
    Trigger(ASaveAll, &TScreen::ASaveAllExecute);
    Trigger(ARestoreOne, &TScreen::ARestoreOneExecute);
    Trigger(ARestoreAll, &TScreen::ARestoreAllExecute);
    Click(AbortBtn, &TScreen::AbortBtnClick);
    Click(Send40aa, &TScreen::Send40aaClick);
    Click(Anhalten, &TScreen::anhaltenClick);
    Click(ConfirmBtn, &TScreen::ConfirmBtnClick);
    Click(CancelBtn, &TScreen::CancelBtnClick);
    Click(SelectBtn, &TScreen::SelectBtnClick);
    Click(DoneBtn, &TScreen::CancelBtnClick);
    Click(HelpBtn, &TScreen::HelpBtnClick);
    Click(ExitBtn, &TScreen::ExitBtnClick);
    QObject::connect(Timer, &QTimer::timeout, this,
                     [this] { RunGuarded([&] { TimerTimer(Timer); }); });
}

} // namespace vaultix::app
