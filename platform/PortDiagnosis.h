#pragma once
// Why a serial port cannot be used, as one record with its words: which device stands behind
// the port, what went wrong (no device, not a serial line, held by another program, missing
// permission, gone away), who holds it and what permission is missing. The window and the
// command line both present this record; neither has words of its own for these cases.

#include "platform/PortAccess.h"
#include "platform/PortHolders.h"

#include <optional>
#include <string>

namespace vaultix::platform {

// What the failed open itself reported, as far as it tells.
enum TOpenError {
    oeOther,     // anything else; the open's own text says what
    oeNotChosen, // the user chose no port when asked for one
    oeMissing,   // no such device, or no line behind it
    oeInUse,     // another program holds the device
    oeDenied,    // this user lacks the permission
};

enum TPortProblem {
    ppNotChosen,    // nothing more to say than that the port did not open
    ppNoDevice,     // no device stands behind the COM number
    ppNotPresent,   // the device path names nothing now
    ppNotSerial,    // the path names something that is no terminal device
    ppNoLine,       // a terminal device without a serial line behind it
    ppInUse,        // another program holds it: Holders
    ppNoPermission, // this user may not open it: Access
    ppOther,        // Detail says what
    ppVanished,     // it was open and has gone away
};

struct TPortDiagnosis {
    std::string Name;   // as the user knows the port: "COM3", or a device path
    std::string Device; // the device path behind it; empty when there is none
    TPortProblem Problem = ppOther;
    THolderSearch Holders;
    std::optional<TDeviceAccess> Access;
    std::string Detail; // the failure's own text, for ppOther
};

// How messages name a port: "COM3 (/dev/ttyUSB0)", "COM3" without a device, or the path the
// user gave.
std::string PortTitle(const std::string& Name, const std::string& Device);

// The facts behind a failed open of the port Name with the device Device, looked up now.
TPortDiagnosis DiagnoseOpenFailure(const std::string& Name, const std::string& Device,
                                   TOpenError Error, const std::string& Detail);

// An open port whose device went away: the cable pulled, the adapter unplugged.
TPortDiagnosis PortVanished(const std::string& Name, const std::string& Device);

// What the user is told, as sentences; empty for ppNotChosen. A face may add what it offers
// next ("Or pick another port.") when PortMissing.
std::string ProblemText(const TPortDiagnosis& Diagnosis);

// "in use by minicom (process 4242)" — or by several, or, when none could be named, "in use by
// another program".
std::string HoldersPhrase(const THolderSearch& Search);
// "/dev/ttyUSB0 is in use by minicom (process 4242)."
std::string HoldersText(const std::string& DevicePath, const THolderSearch& Search);

// The line that tells the user how to get access to a device owned as Access says: joining the
// group helps only when the group may read and write the device and is not root's own;
// otherwise only the administrator can grant access.
std::string PortAccessHint(const TDeviceAccess& Access);

// Whether the port itself is missing, so that a list of the ports there are would help.
bool PortMissing(const TPortDiagnosis& Diagnosis);

} // namespace vaultix::platform
