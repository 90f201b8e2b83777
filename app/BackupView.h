#pragma once
// A window that shows what a backup holds without a transmitter: its file, its transmitter type
// (a choice where the file's size fits more than one), its description and its models with
// number, name and size. Its buttons compare it with another backup, extract the selected model
// and join it with other backups; BackupActions does the work behind them.
//
// Names and descriptions come from the file; their control characters are shown escaped.

#include "transfer/BackupBrowse.h"

#include <QDialog>

#include <filesystem>
#include <vector>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace vaultix::app {

class TBackupView final : public QDialog {
public:
    // Bytes of the file Name, which fit the types in Rows; shown as Row first.
    TBackupView(QWidget* Parent, std::filesystem::path Name, transfer::TAnyBackup Backup, int Row);

    QLabel* FileLabel = nullptr;
    QComboBox* TypeBox = nullptr;
    // Says that the size fits several types and the person picks.
    QLabel* TypeNote = nullptr;
    QPlainTextEdit* DescriptionBox = nullptr;
    QTreeWidget* Models = nullptr;
    QPushButton* CompareBtn = nullptr;
    QPushButton* ExtractBtn = nullptr;
    QPushButton* JoinBtn = nullptr;
    QPushButton* CloseBtn = nullptr;

    const std::filesystem::path& FileName() const { return FName; }
    // The row of TxTypes the backup is read as.
    int TxRow() const { return FRow; }
    const transfer::TUnitFile& Units() const { return FUnits; }
    const std::vector<transfer::TUnitEntry>& Entries() const { return FEntries; }
    // The selected model, from 1; 0 when none is selected.
    std::size_t SelectedModel() const;

private:
    // Reads the file's bytes as the type of TypeBox's entry and lists the models.
    void ShowAsType(int Row);
    void UpdateButtons();

    std::filesystem::path FName;
    std::vector<std::uint8_t> FBytes;
    int FRow = -1;
    transfer::TUnitFile FUnits;
    std::vector<transfer::TUnitEntry> FEntries;
};

// The outcome of a compare, model by model: same, different, or only in one of the two.
class TBackupCompareView final : public QDialog {
public:
    TBackupCompareView(QWidget* Parent, const TBackupView& A, const transfer::TUnitFile& FileB,
                       const std::vector<transfer::TUnitEntry>& B,
                       const std::vector<transfer::TCompareLine>& Lines);

    QLabel* Summary = nullptr;
    QTreeWidget* Lines = nullptr;
};

// "MC-22 (1024 bytes a model)", for the type choice.
QString TypeChoiceText(int Row);

} // namespace vaultix::app
