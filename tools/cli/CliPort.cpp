#include "tools/cli/CliPort.h"

#include "platform/ComPortMap.h"
#include "platform/PortAccess.h"
#include "platform/PortHolders.h"
#include "platform/PortInfo.h"
#include "platform/PortOverrides.h"
#include "platform/ProfileFile.h"
#include "platform/ProgramPlaces.h"
#include "serial/PortOpening.h"
#include "tools/cli/CliOutput.h"
#include "transfer/TxTypes.h"

namespace vaultix::cli {

namespace {

// A device path given by the user goes through the port map like any port, pinned to a number
// the user never sees.
constexpr int PathPort = platform::MaxComPort;

} // namespace

void ApplyPortSettings() {
    platform::ReadPortOverrides(platform::TProfileFile(platform::OwnProgramPlaces().SettingsFile));
}

void ConfigurePort(serial::TOxComPort& Port, int TxRow, std::optional<std::uint32_t> Baud) {
    const transfer::TTxInfo& Row = transfer::TxTypeAt(TxRow);
    Port.BeginLoading();
    Port.SetBaud(static_cast<std::int32_t>(Baud.value_or(Row.BaudRate)));
    Port.SetParity(serial::pEven);
    Port.SetDataBits(8);
    Port.SetStopBits(2);
    Port.SetInSize(51200);
    Port.SetOutSize(10240);
    Port.SetBufferFull(51000);
    Port.SetBufferResume(409);
    Port.SetTapiMode(serial::tmOff);
    Port.SetPromptForPort(false);
    Port.Loaded();
}

void OpenPort(serial::TOxComPort& Port, const std::string& Name) {
    int Number = platform::ParseComPortName(Name);
    std::string Shown = "COM" + std::to_string(Number);
    if (Number < 0) {
        Number = PathPort;
        Shown = Name;
        platform::SetPortOverride(Number, Name);
    }
    const std::optional<platform::TPortDiagnosis> Failure =
        serial::OpenComPort(Port, static_cast<std::uint16_t>(Number), Shown);
    if (!Failure) return;
    std::string Text = platform::ProblemText(*Failure);
    if (Failure->Problem == platform::ppNoDevice)
        Text += " Plug in the adapter, or see \"vaultix-cli ports\".";
    else if (platform::PortMissing(*Failure))
        Text += " Or see \"vaultix-cli ports\".";
    throw ECliFailure(cePortOpen, OneLine(Text));
}

} // namespace vaultix::cli
