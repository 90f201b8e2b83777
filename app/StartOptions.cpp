#include "app/StartOptions.h"

#include "tools/simulator/SimCommandLine.h"
#include "transfer/TxTypes.h"

namespace vaultix::app {

TStartOptions ParseStartOptions(const QStringList& Arguments) {
    TStartOptions Options;
    Options.Debug = !Arguments.isEmpty() && Arguments.front().toUpper() == QLatin1String("DEBUG");
    const qsizetype Demo = Arguments.indexOf(QLatin1String("--demo"));
    if (Demo < 0) return Options;
    if (Demo + 1 >= Arguments.size()) {
        Options.Error = "--demo needs a transmitter type, for example: --demo MC-22";
        return Options;
    }
    const std::string Type = Arguments[Demo + 1].toStdString();
    const int Row = simulator::FindTxType(Type);
    if (Row < 0) {
        Options.Error = "Unknown transmitter type for --demo: " + Type;
    } else if (Row == transfer::TestTypeRow && !Options.Debug) {
        Options.Error = "The type " + Type + " is offered in debug mode only (DEBUG first).";
    } else {
        Options.DemoTxRow = Row;
    }
    return Options;
}

} // namespace vaultix::app
