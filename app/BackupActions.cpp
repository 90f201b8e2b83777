#include "app/BackupActions.h"

#include "app/ApplicationErrors.h"
#include "app/BackupView.h"
#include "app/Screen.h"
#include "app/UserDialogs.h"
#include "transfer/BackupBrowse.h"
#include "transfer/BackupFiles.h"
#include "transfer/TxTypes.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <set>
#include <vector>

namespace vaultix::app {

namespace {

std::filesystem::path PathOf(const QString& Name) {
    return std::filesystem::path(Name.toStdString());
}

QString FolderOf(const std::filesystem::path& Name) {
    return QString::fromStdString(Name.parent_path().string());
}

// Runs Work; a backup failure is told in the backup's words, anything else the way every
// handler of the window shows it.
template <class F> void Guarded(QWidget* Parent, F&& Work) {
    RunGuarded([&] {
        try {
            Work();
        } catch (const transfer::EBackupError& Error) {
            ShowMessage(Parent, mkError, BackupFailureText(Error));
        }
    });
}

// Every extension a backup of the offered types carries, for the open dialogs.
QString AnyBackupFilter(bool WithTest) {
    std::set<std::string> Extensions;
    for (int Row = 0; Row < static_cast<int>(transfer::TxTypes.size()); ++Row) {
        if (Row == transfer::TestTypeRow && !WithTest) continue;
        const std::string Ext = transfer::TxTypes[Row].Ext;
        Extensions.insert(Ext);
        if (transfer::TxTypes[Row].SaveAllAllowed)
            Extensions.insert(transfer::AllModelsExtension(Ext));
    }
    QStringList Patterns;
    for (const std::string& Ext : Extensions)
        Patterns << QStringLiteral("*.") + QString::fromStdString(Ext);
    return QStringLiteral("Backups (%1);;All files (*)").arg(Patterns.join(QLatin1Char(' ')));
}

void CompareWithAnother(TScreen& Screen, TBackupView& View) {
    const std::optional<QString> Other =
        GetOpenFileName(&View, {FolderOf(View.FileName()), QString(), QString(),
                                AnyBackupFilter(Screen.DebugMode())});
    if (!Other) return;
    const std::filesystem::path Name = PathOf(*Other);
    // Empty files and files of no type are refused in their own words before the type test.
    transfer::TAnyBackup Backup = transfer::ReadAnyBackup(Name, Screen.DebugMode());
    const transfer::TUnitFile FileB =
        transfer::UnitFileOf(Name, std::move(Backup.Bytes), View.TxRow(), true);
    const std::vector<transfer::TUnitEntry> B = transfer::DescribeUnits(FileB, View.TxRow());
    const std::vector<transfer::TCompareLine> Lines =
        transfer::CompareBackups(View.Units(), View.Entries(), FileB, B);
    auto* Result = new TBackupCompareView(&View, View, FileB, B, Lines);
    Result->show();
}

void ExtractSelected(TBackupView& View) {
    const std::size_t Model = View.SelectedModel();
    if (Model == 0) return;
    const transfer::TUnitEntry& Entry = View.Entries()[Model - 1];
    const std::string Ext = transfer::TxTypes[View.TxRow()].Ext;
    const QString Proposed =
        QString::fromStdString(View.FileName().stem().string()) + QStringLiteral("-model-") +
        QString::number(Entry.Number ? *Entry.Number : static_cast<int>(Entry.Index)) +
        QStringLiteral(".") + QString::fromStdString(Ext);
    // The dialog asks before it lets a file of that name be replaced.
    const std::optional<QString> Out =
        GetSaveFileName(&View, {FolderOf(View.FileName()), Proposed, QString::fromStdString(Ext),
                                QtNameFilter(transfer::DialogFilter(Ext))});
    if (!Out) return;
    transfer::ExtractModel(View.Units(), View.TxRow(), Model, PathOf(*Out));
    const std::string Shown = QString::fromStdString(Entry.Entry).trimmed().toStdString();
    ShowMessage(&View, mkInformation,
                "Model " + std::to_string(Model) + " (" + Shown + ") written to " +
                    Out->toStdString() + ".");
}

void JoinWithOthers(TScreen& Screen, TBackupView& View) {
    const QStringList Others =
        GetOpenFileNames(&View, {FolderOf(View.FileName()), QString(), QString(),
                                 AnyBackupFilter(Screen.DebugMode())});
    if (Others.isEmpty()) return;
    const int Row = View.TxRow();
    // The block types keep all their models in an all-models file; the MC-18 types keep a
    // memory image there, so their models joined stay files of models.
    std::string Ext = transfer::TxTypes[Row].Ext;
    if (transfer::AllModelsByBlocks(Row)) Ext = transfer::AllModelsExtension(Ext);
    const QString Proposed = QString::fromStdString(View.FileName().stem().string()) +
                             QStringLiteral("-joined.") + QString::fromStdString(Ext);
    const std::optional<QString> Out =
        GetSaveFileName(&View, {FolderOf(View.FileName()), Proposed, QString::fromStdString(Ext),
                                QtNameFilter(transfer::DialogFilter(Ext))});
    if (!Out) return;
    std::vector<std::filesystem::path> Inputs{View.FileName()};
    for (const QString& Other : Others)
        Inputs.push_back(PathOf(Other));
    const std::size_t Models = transfer::JoinBackups(Inputs, Row, PathOf(*Out));
    ShowMessage(&View, mkInformation,
                std::to_string(Models) + (Models == 1 ? " model" : " models") + " of " +
                    std::to_string(Inputs.size()) + " backups written to " + Out->toStdString() +
                    ".");
}

// Takes local files dropped anywhere on the window.
class TBackupDrop final : public QObject {
public:
    explicit TBackupDrop(TScreen& AScreen) : QObject(&AScreen), Screen(AScreen) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::DragEnter || Event->type() == QEvent::DragMove) {
            auto* Drag = static_cast<QDropEvent*>(Event);
            if (!LocalFiles(Drag->mimeData()).isEmpty()) {
                Drag->acceptProposedAction();
                return true;
            }
        } else if (Event->type() == QEvent::Drop) {
            auto* Drop = static_cast<QDropEvent*>(Event);
            const QStringList Files = LocalFiles(Drop->mimeData());
            if (!Files.isEmpty()) {
                Drop->acceptProposedAction();
                for (const QString& File : Files)
                    OpenBackupFile(Screen, File);
                return true;
            }
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    static QStringList LocalFiles(const QMimeData* Data) {
        QStringList Files;
        if (Data == nullptr) return Files;
        for (const QUrl& Url : Data->urls())
            if (Url.isLocalFile()) Files << Url.toLocalFile();
        return Files;
    }

    TScreen& Screen;
};

} // namespace

std::string BackupFailureText(const transfer::EBackupError& Error) {
    const std::string File = Error.File.string();
    switch (Error.Fault) {
    case transfer::bfUnreadable:
        return File + " cannot be opened as a backup:\r" + Error.Reason;
    case transfer::bfSizeFitsNoType:
        return File + " is not a backup: " + Error.Reason +
               ".\rChoose a file that a save of this program wrote (.m22, .a22 and the like).";
    case transfer::bfSizeMismatch:
        return File +
               " does not fit the transmitter type of this backup: its size is no whole number "
               "of that type's models.\rNothing was done.";
    case transfer::bfNotComparable:
        return "These backups cannot be compared model by model: " + Error.Reason + ".";
    case transfer::bfNoSuchModel:
        return Error.what();
    case transfer::bfUnwritable:
        return File + " could not be written:\r" + Error.Reason +
               "\rNothing was changed: a file of that name is as it was.";
    }
    return Error.what();
}

void InstallBackupActions(TScreen& Screen) {
    QObject::connect(Screen.OpenBackup, &QPushButton::clicked, &Screen,
                     [&Screen] { ChooseBackupToOpen(Screen); });
    Screen.setAcceptDrops(true);
    Screen.installEventFilter(new TBackupDrop(Screen));
}

void ChooseBackupToOpen(TScreen& Screen) {
    const std::optional<QString> Chosen =
        GetOpenFileName(&Screen, {Screen.OpenDialog1.InitialDir, QString(), QString(),
                                  AnyBackupFilter(Screen.DebugMode())});
    if (!Chosen) return;
    const QString Folder = QFileInfo(*Chosen).absolutePath();
    Screen.OpenDialog1.InitialDir = Folder;
    Screen.SaveDialog1.InitialDir = Folder;
    OpenBackupFile(Screen, *Chosen);
}

void OpenBackupFile(TScreen& Screen, const QString& Name) {
    Guarded(&Screen, [&] {
        const std::filesystem::path Path = PathOf(QFileInfo(Name).absoluteFilePath());
        transfer::TAnyBackup Backup = transfer::ReadAnyBackup(Path, Screen.DebugMode());
        const int Row = transfer::PreferredType(Backup.Rows, Screen.TxBox->currentIndex(), Path);
        auto* View = new TBackupView(&Screen, Path, std::move(Backup), Row);
        QObject::connect(View->CompareBtn, &QPushButton::clicked, View, [&Screen, View] {
            Guarded(View, [&] { CompareWithAnother(Screen, *View); });
        });
        QObject::connect(View->ExtractBtn, &QPushButton::clicked, View,
                         [View] { Guarded(View, [&] { ExtractSelected(*View); }); });
        QObject::connect(View->JoinBtn, &QPushButton::clicked, View, [&Screen, View] {
            Guarded(View, [&] { JoinWithOthers(Screen, *View); });
        });
        // Beside the main window where the screen has room for it, so that both stay in sight.
        const QPoint Beside = Screen.frameGeometry().topRight() + QPoint(8, 0);
        const QRect Room = Screen.screen()->availableGeometry();
        if (Room.contains(QRect(Beside, View->sizeHint()))) View->move(Beside);
        View->show();
    });
}

} // namespace vaultix::app
