#include "platform/PortOverrides.h"

#include "platform/ComPortMap.h"

#include <string>

namespace vaultix::platform {

void ReadPortOverrides(const TProfileFile& Settings) {
    for (int Number = 1; Number <= MaxComPort; ++Number) {
        const auto Path = Settings.ReadString(PortsSection, "COM" + std::to_string(Number));
        if (Path && !Path->empty()) SetPortOverride(Number, *Path);
    }
}

} // namespace vaultix::platform
