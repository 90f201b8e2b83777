#include "app/BackupView.h"

#include "app/ElidedLabel.h"
#include "platform/RuntimeExceptions.h"
#include "platform/ShownText.h"
#include "transfer/DescriptionFile.h"
#include "transfer/TxTypes.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vaultix::app {

namespace {

QString Shown(const std::string& Utf8) {
    return QString::fromStdString(platform::ShownText(Utf8));
}

QString FileText(const std::filesystem::path& Name) {
    return Shown(Name.string());
}

QPushButton* MakeButton(const char* Caption, QStyle::StandardPixmap Picture, QWidget* Parent) {
    auto* Button = new QPushButton(QString::fromUtf8(Caption), Parent);
    Button->setIcon(Parent->style()->standardIcon(Picture));
    Button->setAutoDefault(false);
    return Button;
}

QTreeWidget* MakeTable(const QStringList& Headers, QWidget* Parent) {
    auto* Table = new QTreeWidget(Parent);
    Table->setHeaderLabels(Headers);
    Table->setRootIsDecorated(false);
    Table->setUniformRowHeights(true);
    Table->setAllColumnsShowFocus(true);
    Table->header()->setStretchLastSection(false);
    Table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return Table;
}

std::string ModelNumberText(const transfer::TUnitEntry& Entry) {
    return Entry.Number ? std::to_string(*Entry.Number) : std::string();
}

} // namespace

QString TypeChoiceText(int Row) {
    const transfer::TTxInfo& Type = transfer::TxTypes[Row];
    return QStringLiteral("%1 (%2 bytes a model)")
        .arg(QString::fromLatin1(Type.Name))
        .arg(Type.ModelSize);
}

TBackupView::TBackupView(QWidget* Parent, std::filesystem::path Name, transfer::TAnyBackup Backup,
                         int Row)
    : QDialog(Parent), FName(std::move(Name)), FBytes(std::move(Backup.Bytes)) {
    setObjectName(QStringLiteral("BackupView"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Backup %1").arg(Shown(FName.filename().string())));

    auto* Grid = new QGridLayout;
    auto* FileCaption = new QLabel(QStringLiteral("File:"), this);
    FileLabel = new TElidedLabel(this);
    FileLabel->setObjectName(QStringLiteral("BackupFile"));
    FileLabel->setText(FileText(FName));
    FileLabel->setAccessibleDescription(QStringLiteral("backup file"));

    auto* TypeCaption = new QLabel(QStringLiteral("Transmitter:"), this);
    TypeBox = new QComboBox(this);
    TypeBox->setObjectName(QStringLiteral("BackupType"));
    for (const int Fits : Backup.Rows)
        TypeBox->addItem(TypeChoiceText(Fits), Fits);
    TypeCaption->setBuddy(TypeBox);
    TypeNote = new QLabel(this);
    TypeNote->setWordWrap(true);
    TypeNote->setAccessibleDescription(QStringLiteral("type note"));
    if (Backup.Rows.size() > 1) {
        TypeNote->setText(QStringLiteral("The file's size fits more than one type: pick the "
                                         "transmitter the backup came from."));
    } else {
        TypeBox->setEnabled(false);
        TypeNote->setText(QStringLiteral("The only type the file's size fits."));
    }

    auto* DescriptionCaption = new QLabel(QStringLiteral("Description:"), this);
    DescriptionBox = new QPlainTextEdit(this);
    DescriptionBox->setObjectName(QStringLiteral("BackupDescription"));
    DescriptionBox->setReadOnly(true);
    DescriptionBox->setFixedHeight(DescriptionBox->fontMetrics().lineSpacing() * 3 + 12);
    DescriptionCaption->setBuddy(DescriptionBox);
    try {
        const std::optional<std::string> Text = transfer::LoadDescription(FName);
        DescriptionBox->setPlainText(QString::fromStdString(
            platform::ShownMessage(Text ? *Text : transfer::NoDescriptionText)));
    } catch (const platform::Exception& Error) {
        // The models are worth showing without it.
        DescriptionBox->setPlainText(QString::fromStdString(
            platform::ShownMessage("The description file cannot be read: " + Error.Message())));
    }

    auto* ModelsCaption = new QLabel(QStringLiteral("Models:"), this);
    Models = MakeTable({QStringLiteral("#"), QStringLiteral("Number"), QStringLiteral("Name"),
                        QStringLiteral("Size")},
                       this);
    Models->setObjectName(QStringLiteral("BackupModels"));
    Models->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    Models->setAccessibleName(QStringLiteral("Models"));
    Models->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Models->setMinimumSize(360, Models->fontMetrics().lineSpacing() * 9);
    ModelsCaption->setBuddy(Models);

    Grid->addWidget(FileCaption, 0, 0);
    Grid->addWidget(FileLabel, 0, 1, 1, 2);
    Grid->addWidget(TypeCaption, 1, 0);
    Grid->addWidget(TypeBox, 1, 1);
    Grid->addWidget(TypeNote, 1, 2);
    Grid->addWidget(DescriptionCaption, 2, 0, Qt::AlignTop);
    Grid->addWidget(DescriptionBox, 2, 1, 1, 2);
    Grid->addWidget(ModelsCaption, 3, 0, Qt::AlignTop);
    Grid->addWidget(Models, 3, 1, 1, 2);
    Grid->setColumnStretch(2, 1);
    Grid->setRowStretch(3, 1);

    CompareBtn =
        MakeButton("Compare with another backup.", QStyle::SP_FileDialogContentsView, this);
    CompareBtn->setObjectName(QStringLiteral("CompareBtn"));
    CompareBtn->setToolTip(QStringLiteral("Model by model: same, different, only in one"));
    ExtractBtn = MakeButton("Extract the model to a file.", QStyle::SP_DialogSaveButton, this);
    ExtractBtn->setObjectName(QStringLiteral("ExtractBtn"));
    ExtractBtn->setToolTip(QStringLiteral("The selected model as a one-model file"));
    JoinBtn = MakeButton("Join with other backups.", QStyle::SP_FileDialogNewFolder, this);
    JoinBtn->setObjectName(QStringLiteral("JoinBtn"));
    JoinBtn->setToolTip(QStringLiteral("This backup and others as one all-models file"));
    CloseBtn = MakeButton("Close", QStyle::SP_DialogCloseButton, this);
    CloseBtn->setObjectName(QStringLiteral("BackupCloseBtn"));
    auto* Buttons = new QHBoxLayout;
    Buttons->addWidget(CompareBtn);
    Buttons->addWidget(ExtractBtn);
    Buttons->addWidget(JoinBtn);
    Buttons->addStretch(1);
    Buttons->addWidget(CloseBtn);

    auto* Main = new QVBoxLayout(this);
    Main->addLayout(Grid);
    Main->addLayout(Buttons);

    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::close);
    connect(Models, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    TypeBox->setCurrentIndex(std::max(0, TypeBox->findData(Row)));
    ShowAsType(TypeBox->currentData().toInt());
    connect(TypeBox, &QComboBox::activated, this,
            [this] { ShowAsType(TypeBox->currentData().toInt()); });
}

std::size_t TBackupView::SelectedModel() const {
    const QList<QTreeWidgetItem*> Selected = Models->selectedItems();
    if (Selected.isEmpty()) return 0;
    return static_cast<std::size_t>(Models->indexOfTopLevelItem(Selected.front())) + 1;
}

void TBackupView::ShowAsType(int Row) {
    // Every type offered fits the size, so the file always reads as one of them.
    FUnits = transfer::UnitFileOf(FName, FBytes, Row, true);
    FEntries = transfer::DescribeUnits(FUnits, Row);
    FRow = Row;
    Models->clear();
    for (const transfer::TUnitEntry& Entry : FEntries) {
        auto* Item = new QTreeWidgetItem(Models);
        Item->setText(0, QString::number(Entry.Index));
        Item->setText(1, QString::fromStdString(ModelNumberText(Entry)));
        Item->setText(2, Shown(Entry.Name));
        Item->setText(3, QStringLiteral("%1 bytes").arg(FUnits.Unit));
        Item->setTextAlignment(0, Qt::AlignRight);
        Item->setTextAlignment(1, Qt::AlignRight);
        Item->setTextAlignment(3, Qt::AlignRight);
    }
    if (Models->topLevelItemCount() > 0) Models->setCurrentItem(Models->topLevelItem(0));
    UpdateButtons();
}

void TBackupView::UpdateButtons() {
    // A memory image is one all-models file of its own: nothing to take out or add to.
    ExtractBtn->setEnabled(!FUnits.WholeMemory && SelectedModel() > 0);
    JoinBtn->setEnabled(!FUnits.WholeMemory);
}

TBackupCompareView::TBackupCompareView(QWidget* Parent, const TBackupView& A,
                                       const transfer::TUnitFile& FileB,
                                       const std::vector<transfer::TUnitEntry>& B,
                                       const std::vector<transfer::TCompareLine>& Compared)
    : QDialog(Parent) {
    setObjectName(QStringLiteral("BackupCompareView"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(
        QStringLiteral("Compare %1 with %2")
            .arg(Shown(A.FileName().filename().string()), Shown(FileB.Name.filename().string())));
    static const char* const StateText[] = {"same", "different", "only in this one",
                                            "only in the other"};
    const QString HeaderA = Shown(A.FileName().filename().string());
    const QString HeaderB = Shown(FileB.Name.filename().string());
    Lines = MakeTable({QStringLiteral("State"), HeaderA, HeaderB, QStringLiteral("Model")}, this);
    Lines->setObjectName(QStringLiteral("CompareLines"));
    Lines->header()->setSectionResizeMode(3, QHeaderView::Stretch);
    Lines->setAccessibleName(QStringLiteral("Compared models"));
    Lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Lines->setMinimumSize(420, Lines->fontMetrics().lineSpacing() * 9);
    std::size_t Counts[4] = {};
    const auto Place = [](const std::optional<std::size_t>& Index) {
        return Index ? QString::number(*Index + 1) : QStringLiteral("-");
    };
    for (const transfer::TCompareLine& Line : Compared) {
        ++Counts[Line.State];
        const transfer::TUnitEntry& Entry = Line.A ? A.Entries()[*Line.A] : B[*Line.B];
        QString Model = Shown(Entry.Entry);
        if (Line.A && Line.B && A.Entries()[*Line.A].Entry != B[*Line.B].Entry)
            Model += QStringLiteral(" -> ") + Shown(B[*Line.B].Entry);
        auto* Item = new QTreeWidgetItem(Lines);
        Item->setText(0, QString::fromLatin1(StateText[Line.State]));
        Item->setText(1, Place(Line.A));
        Item->setText(2, Place(Line.B));
        Item->setText(3, Model);
    }
    QStringList Parts;
    for (int State = transfer::csSame; State <= transfer::csOnlyInB; ++State)
        if (Counts[State] != 0 || State == transfer::csSame)
            Parts << QStringLiteral("%1 %2")
                         .arg(Counts[State])
                         .arg(QString::fromLatin1(StateText[State]));
    Summary = new QLabel(this);
    Summary->setObjectName(QStringLiteral("CompareSummary"));
    Summary->setAccessibleDescription(QStringLiteral("compare summary"));
    Summary->setText(
        Counts[transfer::csSame] == Compared.size()
            ? QStringLiteral("The two backups hold the same models: %1.")
                  .arg(Parts.join(QStringLiteral(", ")))
            : QStringLiteral("The backups differ: %1.").arg(Parts.join(QStringLiteral(", "))));
    auto* Close = MakeButton("Close", QStyle::SP_DialogCloseButton, this);
    connect(Close, &QPushButton::clicked, this, &QDialog::close);
    auto* Main = new QVBoxLayout(this);
    Main->addWidget(Summary);
    Main->addWidget(Lines);
    auto* Row = new QHBoxLayout;
    Row->addStretch(1);
    Row->addWidget(Close);
    Main->addLayout(Row);
}

} // namespace vaultix::app
