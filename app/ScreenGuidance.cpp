// What the window tells when nothing happens: the hint of a silent transfer, the device behind
// each port, and who holds a port that cannot be opened.

#include "app/Screen.h"
#include "platform/ComPortMap.h"
#include "platform/PortInfo.h"

#include <QComboBox>
#include <QLabel>
#include <QTimer>

#include <chrono>

namespace vaultix::app {

void TScreen::DescribePorts() {
    for (int Index = 0; Index < ComBox->count(); ++Index) {
        const std::string Device = platform::ComPortPath(Index + 1);
        const std::string Summary = Device.empty()
                                        ? "not present"
                                        : platform::DeviceSummary(platform::DescribeDevice(Device));
        ComBox->setItemData(Index, QString::fromStdString(Summary), Qt::ToolTipRole);
    }
    const int Current = ComBox->currentIndex();
    const QString Summary =
        Current >= 0 ? ComBox->itemData(Current, Qt::ToolTipRole).toString() : QString();
    ComBox->setToolTip(Summary);
    ComDeviceLabel->setText(Summary);
}

void TScreen::TransferMoved(const transfer::TTransferProgress&, const std::string& Hint) {
    // The engine shows the figures itself; bytes that moved are seen at once, and a hint goes as
    // soon as they do.
    // A verify looks like a save on this page: the line says which it is while nothing is amiss.
    const QString Text = QString::fromStdString(
        Hint.empty() && Driver.Verifying()
            ? "Verifying " + transfer::SubjectInSentence(Driver.VerifySubject()) +
                  " against the backup."
            : Hint);
    if (HintLabel->text() != Text) HintLabel->setText(Text);
}

} // namespace vaultix::app
