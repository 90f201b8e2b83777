#include "app/ComSelectForm.h"

#include "platform/ComPortMap.h"
#include "platform/PortInfo.h"
#include "platform/PortProbe.h"

#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QString>

namespace vaultix::app {

namespace {

template <class TWidget> TWidget* Named(TWidget* Widget, const char* Name) {
    Widget->setObjectName(QString::fromLatin1(Name));
    return Widget;
}

} // namespace

TComSelectForm::TComSelectForm(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      Bevel1(Named(new QFrame(this), "Bevel1")), Label1(Named(new QLabel(this), "Label1")),
      Label2(Named(new QLabel(this), "Label2")),
      PortsComboBox(Named(new QComboBox(this), "PortsComboBox")),
      DeviceLabel(Named(new QLabel(this), "DeviceLabel")),
      OkBtn(Named(new QPushButton(this), "OkBtn")),
      AbortBtn(Named(new QPushButton(this), "AbortBtn")) {
    setObjectName(QStringLiteral("ComSelectForm"));
    setWindowTitle(QStringLiteral("Select Port"));
    // The layout is laid out in pixels for this small sans-serif face; where the face is not
    // installed the closest sans-serif stands in.
    QFont face(QStringLiteral("MS Sans Serif"), 8);
    face.setStyleHint(QFont::SansSerif);
    setFont(face);
    setFixedSize(220, 161);

    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 201, 42);

    QPalette text = palette();
    text.setColor(QPalette::WindowText, Qt::black);
    Label1->setText(QStringLiteral("The configured serial port is not valid."));
    Label2->setText(QStringLiteral("Please choose another port."));
    Label1->move(18, 14);
    Label2->move(18, 30);
    // The face that stands in is often wider; the labels then get a smaller size rather than
    // run over their frame.
    const int room = Bevel1->geometry().right() - 18 - (18 - Bevel1->x()) + 1;
    for (QLabel* label : {Label1, Label2}) {
        label->setPalette(text);
        QFont fitted = face;
        label->adjustSize();
        while (label->width() > room && fitted.pointSizeF() > 6) {
            fitted.setPointSizeF(fitted.pointSizeF() - 0.5);
            label->setFont(fitted);
            label->adjustSize();
        }
    }

    PortsComboBox->setEditable(false);
    PortsComboBox->setGeometry(8, 64, 201, PortsComboBox->sizeHint().height());
    // What the highlighted entry is: two lines for a long device name and its adapter.
    DeviceLabel->setWordWrap(true);
    DeviceLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    DeviceLabel->setAccessibleDescription(QStringLiteral("port device"));
    DeviceLabel->setGeometry(8, 64 + PortsComboBox->height() + 3, 201, 28);

    OkBtn->setText(QStringLiteral("OK"));
    OkBtn->setGeometry(8, 125, 85, 27);
    OkBtn->setDefault(true);
    AbortBtn->setText(QStringLiteral("Cancel"));
    AbortBtn->setGeometry(124, 125, 85, 27);

    setTabOrder(OkBtn, AbortBtn);
    setTabOrder(AbortBtn, PortsComboBox);
    OkBtn->setFocus();

    connect(OkBtn, &QPushButton::clicked, this, [this] {
        if (PortsComboBox->currentIndex() >= 0) done(mrOk);
    });
    connect(AbortBtn, &QPushButton::clicked, this, [this] { done(mrAbort); });
    connect(PortsComboBox, &QComboBox::currentIndexChanged, this, [this](int Index) {
        UpdateOkBtn();
        ShowDevice(Index);
    });
    connect(PortsComboBox, &QComboBox::highlighted, this, [this](int Index) { ShowDevice(Index); });

    FormCreate();
}

void TComSelectForm::FormCreate() {
    for (int number = 1; number <= platform::MaxComPort; ++number) {
        if (!platform::PortAvailable(number)) continue;
        PortsComboBox->addItem(QStringLiteral("COM%1").arg(number));
        // The device behind the name, for the user who has several adapters plugged in.
        const std::string device = platform::ComPortPath(number);
        PortsComboBox->setItemData(
            PortsComboBox->count() - 1,
            QString::fromStdString(platform::DeviceSummary(platform::DescribeDevice(device))),
            Qt::ToolTipRole);
    }
    PortsComboBox->setCurrentIndex(PortsComboBox->count() > 0 ? 0 : -1);
    UpdateOkBtn();
    ShowDevice(PortsComboBox->currentIndex());
}

void TComSelectForm::ShowDevice(int Index) {
    DeviceLabel->setText(Index >= 0 ? PortsComboBox->itemData(Index, Qt::ToolTipRole).toString()
                                    : QString());
}

void TComSelectForm::UpdateOkBtn() {
    // With nothing to choose, OK would only give a port number that cannot exist.
    OkBtn->setEnabled(PortsComboBox->currentIndex() >= 0);
}

TModalResult TComSelectForm::ShowModal() {
    return static_cast<TModalResult>(exec());
}

std::uint16_t TComSelectForm::SelectedPort() const {
    if (PortsComboBox->currentIndex() < 0) return 0;
    bool converted = false;
    const int number = PortsComboBox->currentText().mid(3).toInt(&converted);
    return converted && number > 0 && number <= 0xFFFF ? static_cast<std::uint16_t>(number) : 0;
}

void TComSelectForm::reject() {
    done(mrCancel);
}

std::uint16_t PromptWithComSelectForm() {
    // Owned by the application: no parent, centred on the screen; gone again in every case.
    TComSelectForm Form;
    return Form.ShowModal() == mrOk ? Form.SelectedPort() : 0;
}

} // namespace vaultix::app
