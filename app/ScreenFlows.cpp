// The four actions and the flows behind them: file dialog, Description page, model chooser,
// instruction, transfer.

#include "app/ApplicationErrors.h"
#include "app/Screen.h"
#include "app/UserDialogs.h"
#include "platform/ShownText.h"
#include "transfer/BackupFiles.h"
#include "transfer/DescriptionFile.h"
#include "transfer/ModelList.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

#include <vector>

namespace vaultix::app {

namespace {

std::filesystem::path PathOf(const QString& Name) {
    return std::filesystem::path(Name.toStdString());
}

// The memo's text as typed. The plain-text view turns non-breaking spaces into blanks; the raw
// text keeps every character and only ends its lines with Unicode separators. The memo shows
// a description's control characters escaped; they are written back as they were.
std::string MemoText(const QPlainTextEdit& Memo) {
    QString Text = Memo.document()->toRawText();
    Text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    Text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return platform::TypedText(Text.toStdString());
}

void ShowDescription(QPlainTextEdit& Memo, const std::string& Text) {
    Memo.setPlainText(QString::fromStdString(platform::ShownLines(Text)));
}

} // namespace

void TScreen::ExecuteAction(QAction* Action, void (TScreen::*Handler)(QObject*)) {
    // The rule is evaluated again first: an action whose rule no longer holds does not run.
    AL1Update(Action);
    if (!Action->isEnabled()) return;
    RunGuarded([&] { (this->*Handler)(Action); });
}

void TScreen::AL1Update(QObject*) {
    const bool Open = Port.Open();
    const transfer::TTxInfo& Row = SelectedTxType();
    ASaveOne->setEnabled(Open);
    ARestoreOne->setEnabled(Open);
    ASaveAll->setEnabled(Open && Row.SaveAllAllowed);
    ARestoreAll->setEnabled(Open && Row.RestoreAllAllowed);
}

void TScreen::ASaveOneExecute(QObject* Sender) {
    transfer::TTransferEngine& E = Engine;
    E.TransferSize = SelectedTxType().ModelSize;
    E.AllModels = false;
    E.FromChooser = false;
    StartSave(Sender);
}

void TScreen::ASaveAllExecute(QObject*) {
    transfer::TTransferEngine& E = Engine;
    const int Row = TxBoxIndex();
    E.TransferSize = transfer::UnitSize(Row, transfer::ufAllModels);
    E.AllModels = transfer::AllModelsByBlocks(Row);
    E.FromChooser = false;
    E.BlockNo = 0;
    E.EndSeen = false;
    StartSave(SaveAll);
}

void TScreen::ARestoreOneExecute(QObject* Sender) {
    transfer::TTransferEngine& E = Engine;
    E.TransferSize = SelectedTxType().ModelSize;
    E.AllModels = false;
    E.FromChooser = false;
    StartRestore(Sender);
}

void TScreen::ARestoreAllExecute(QObject*) {
    transfer::TTransferEngine& E = Engine;
    const int Row = TxBoxIndex();
    E.TransferSize = transfer::UnitSize(Row, transfer::ufAllModels);
    E.AllModels = transfer::AllModelsByBlocks(Row);
    E.FromChooser = false;
    E.EndSeen = false;
    StartRestore(RestoreAll);
}

bool TScreen::ChooseFile(TFileDialogState& State, bool Saving) {
    State.DefaultExt = QString::fromStdString(FileExt);
    State.Filter = transfer::DialogFilter(FileExt);
    const TFileDialogRequest Request{State.InitialDir, State.FileName, State.DefaultExt,
                                     QtNameFilter(State.Filter)};
    const std::optional<QString> Chosen =
        Saving ? GetSaveFileName(this, Request) : GetOpenFileName(this, Request);
    if (!Chosen || Chosen->isEmpty()) return false;
    State.FileName = *Chosen;
    FileName = *Chosen;
    // Backups are kept together: both dialogs go on from the chosen file's folder.
    const QString Folder = QFileInfo(*Chosen).absolutePath() + QLatin1Char('/');
    SaveDialog1.InitialDir = Folder;
    OpenDialog1.InitialDir = Folder;
    return true;
}

void TScreen::StartSave(QObject* Sender) {
    TxBoxChange(Sender);
    if (Sender == SaveAll) FileExt = transfer::AllModelsExtension(FileExt);
    if (!ChooseFile(SaveDialog1, true)) return;
    Engine.Sending = false;
    if (const auto Text = transfer::LoadDescription(PathOf(FileName)))
        ShowDescription(*Description, *Text);
    ShowPage(transfer::npDescription);
    DescriptionLabel->setText(QString::fromLatin1(SaveDescriptionLabel));
    Port.ClearInput();
    Engine.Count = 0;
    Engine.AwaitHeader = Engine.AllModels;
}

void TScreen::StartRestore(QObject* Sender) {
    TxBoxChange(Sender);
    if (Sender == RestoreAll) FileExt = transfer::AllModelsExtension(FileExt);
    if (!ChooseFile(OpenDialog1, false)) return;
    if (!transfer::CheckDataFileSize(PathOf(FileName), Engine.TransferSize)) {
        ShowMessage(this, mkError, transfer::SizeMismatchMessage);
        return;
    }
    Engine.Sending = true;
    ShowPage(transfer::npDescription);
    DescriptionLabel->setText(QString::fromLatin1(RestoreDescriptionLabel));
    Port.ClearOutput();
    Description->clear();
    const auto Text = transfer::LoadDescription(PathOf(FileName));
    ShowDescription(*Description, Text ? *Text : transfer::NoDescriptionText);
}

void TScreen::ConfirmBtnClick(QObject*) {
    ShowPage(transfer::npTransfer);
    Engine.Count = 0;
    if (Engine.Sending) {
        if (Engine.AllModels) {
            ListModels();
            ShowPage(transfer::npChooseModel);
            return;
        }
        ShowInformation(RestoreInstruction);
        Driver.Prepare(PlanFor(true, false, 0));
        StartEngine();
        return;
    }
    transfer::TTransferPlan Plan = PlanFor(false, false, 0);
    Plan.Memo = MemoText(*Description);
    Driver.Prepare(Plan);
    ShowInformation(transfer::NeedsUtf8(*Plan.Memo)
                        ? std::string(SaveInstruction) + "\r" + transfer::StoredAsUtf8Notice
                        : SaveInstruction);
    StartEngine();
}

void TScreen::CancelBtnClick(QObject*) {
    ShowPage(transfer::npButtons);
}

void TScreen::ListModels() {
    Selection->clear();
    std::vector<std::string> Entries;
    const auto Show = [&] {
        for (const std::string& Entry : Entries)
            Selection->addItem(QString::fromStdString(transfer::ModelEntryUtf8(Entry)));
        Selection->FitColumns();
    };
    try {
        transfer::ListModels(PathOf(FileName), SelectedTxType(), Engine.TransferSize, Entries);
    } catch (...) {
        Show();
        throw;
    }
    Show();
}

int TScreen::SelectedModel() const {
    const QList<QListWidgetItem*> Items = Selection->selectedItems();
    return Items.isEmpty() ? -1 : Selection->row(Items.front());
}

void TScreen::SelectBtnClick(QObject*) {
    ShowPage(transfer::npTransfer);
    const int Chosen = SelectedModel();
    Driver.Prepare(PlanFor(true, true, Chosen > 0 ? static_cast<std::size_t>(Chosen) : 0));
    ShowInformation(ChooserInstruction);
    StartEngine();
}

transfer::TTransferPlan TScreen::PlanFor(bool Sending, bool FromChooser, std::size_t SkipUnits) {
    transfer::TTransferPlan Plan;
    Plan.Sending = Sending;
    Plan.File = PathOf(FileName);
    Plan.UnitSize = Engine.TransferSize;
    Plan.AllModels = Engine.AllModels;
    Plan.FromChooser = FromChooser;
    Plan.SkipUnits = SkipUnits;
    return Plan;
}

void TScreen::StartEngine() {
    if (FOptions.OnTransferStarting) FOptions.OnTransferStarting(*this);
    Driver.Start();
}

} // namespace vaultix::app
