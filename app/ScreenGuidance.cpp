// What the window tells when nothing happens: the hint of a silent transfer, the device behind
// each port, and who holds a port that cannot be opened.

#include "app/Screen.h"
#include "platform/ComPortMap.h"
#include "platform/PortAccess.h"
#include "platform/PortHolders.h"
#include "platform/PortInfo.h"
#include "serial/ResultCodes.h"
#include "serial/SystemErrorCodes.h"

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
    const QString Text = QString::fromStdString(Hint);
    if (HintLabel->text() != Text) HintLabel->setText(Text);
}

std::string TScreen::PortOpenDetails() {
    if (Port.ComNumber() == 0) return {};
    const std::string Name = "COM" + std::to_string(Port.ComNumber());
    const std::string Device = platform::ComPortPath(Port.ComNumber());
    if (Device.empty()) return "No serial device is plugged in for " + Name + ".";
    if (!platform::DescribeDevice(Device).Present)
        return Device + " (" + Name + ") is not present: plug the adapter in.";
    if (Port.LastOpenError() == serial::ecAlreadyOpen)
        return platform::HoldersText(Device, platform::FindPortHolders(Device));
    std::optional<platform::TDeviceAccess> Access = platform::DeniedDeviceAccess(Device);
    if (!Access && serial::IsAccessDenied(Port.LastOpenError()))
        Access = platform::DeviceAccess(Device);
    return Access ? platform::PortAccessHint(*Access) : std::string();
}

} // namespace vaultix::app
