#pragma once
// Which processes hold a device open, found through /proc: each process's open descriptors are
// compared with the device by its device number. Processes whose descriptors this user may not
// look at are counted, not named.

#include <string>
#include <vector>

namespace vaultix::platform {

struct TPortHolder {
    int Pid = 0;
    std::string Program; // the process's command name
};

struct THolderSearch {
    std::vector<TPortHolder> Holders;
    bool Incomplete = false; // some processes could not be looked at
};

// ProcRoot is the proc mount ("/proc"), replaceable for tests. The calling process itself is
// left out.
THolderSearch FindPortHolders(const std::string& DevicePath, const std::string& ProcRoot = "/proc");

} // namespace vaultix::platform
