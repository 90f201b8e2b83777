// ports: every COM number that stands for a device, what the device is, and whether it can be
// opened now.

#include "platform/ComPortMap.h"
#include "platform/PortAccess.h"
#include "platform/PortDiagnosis.h"
#include "platform/PortHolders.h"
#include "platform/PortInfo.h"
#include "platform/ProgramPlaces.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/CliOutput.h"
#include "tools/cli/CliPort.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <string>
#include <vector>

namespace vaultix::cli {

namespace {

struct TPortFacts {
    int Number = 0;
    platform::TDeviceInfo Info;
    platform::THolderSearch Holders;
    std::optional<platform::TDeviceAccess> Denied;
};

std::string TextLine(const TPortFacts& Port) {
    std::string Line = "COM" + std::to_string(Port.Number) + "  " + DeviceSummary(Port.Info);
    if (!Port.Info.Serial.empty()) Line += ", serial number " + Port.Info.Serial;
    std::vector<std::string> States;
    if (!Port.Holders.Holders.empty()) States.push_back(platform::HoldersPhrase(Port.Holders));
    if (Port.Denied) States.push_back("no permission: " + platform::PortAccessHint(*Port.Denied));
    for (std::size_t I = 0; I < States.size(); ++I)
        Line += (I == 0 ? "  (" : "; ") + States[I] + (I + 1 == States.size() ? ")" : "");
    return Line + "\n";
}

QJsonObject JsonPort(const TPortFacts& Port) {
    const auto Q = [](const std::string& Text) { return QString::fromStdString(Text); };
    QJsonObject Object;
    Object[QStringLiteral("port")] = Q("COM" + std::to_string(Port.Number));
    Object[QStringLiteral("device")] = Q(Port.Info.Path);
    Object[QStringLiteral("present")] = Port.Info.Present;
    Object[QStringLiteral("usb")] = Port.Info.Usb;
    if (Port.Info.Usb) {
        Object[QStringLiteral("maker")] = Q(Port.Info.Maker);
        Object[QStringLiteral("product")] = Q(Port.Info.Product);
        Object[QStringLiteral("serial_number")] = Q(Port.Info.Serial);
    }
    QJsonArray Holders;
    for (const platform::TPortHolder& Holder : Port.Holders.Holders) {
        QJsonObject Entry;
        Entry[QStringLiteral("pid")] = Holder.Pid;
        Entry[QStringLiteral("program")] = Q(Holder.Program);
        Holders.append(Entry);
    }
    Object[QStringLiteral("in_use_by")] = Holders;
    Object[QStringLiteral("permission")] = !Port.Denied.has_value();
    if (Port.Denied)
        Object[QStringLiteral("access_hint")] = Q(platform::PortAccessHint(*Port.Denied));
    return Object;
}

} // namespace

TCliExit ListPorts(const TCliCommand& Command) {
    ApplyPortSettings();
    std::vector<TPortFacts> Ports;
    for (int Number = 1; Number <= platform::MaxComPort; ++Number) {
        const std::string Device = platform::ComPortPath(Number);
        if (Device.empty()) continue;
        TPortFacts Port;
        Port.Number = Number;
        Port.Info = platform::DescribeDevice(Device);
        if (Port.Info.Present) {
            Port.Holders = platform::FindPortHolders(Device);
            Port.Denied = platform::DeniedDeviceAccess(Device);
        }
        Ports.push_back(std::move(Port));
    }
    if (Command.Json) {
        QJsonArray List;
        for (const TPortFacts& Port : Ports)
            List.append(JsonPort(Port));
        std::fputs(QJsonDocument(List).toJson(QJsonDocument::Indented).constData(), stdout);
        return ceSuccess;
    }
    if (Ports.empty()) {
        const std::string Text = "No serial port found: plug in the adapter, or pin its device "
                                 "to a COM number in the [Ports] section of " +
                                 platform::OwnProgramPlaces().SettingsFile + ".\n";
        std::fputs(Text.c_str(), stderr);
        return ceSuccess;
    }
    for (const TPortFacts& Port : Ports)
        std::fputs(TextLine(Port).c_str(), stdout);
    return ceSuccess;
}

} // namespace vaultix::cli
