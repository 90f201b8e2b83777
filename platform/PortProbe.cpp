#include "platform/PortProbe.h"

#include "platform/ComPortMap.h"
#include "platform/SerialDevice.h"

#include <string>

namespace vaultix::platform {

bool PortAvailable(int Number) {
    if (Number < 1 || Number > MaxComPort) return false;
    std::unique_ptr<TSerialDevice> device;
    const int result = TSerialDevice::Open("\\\\.\\COM" + std::to_string(Number), device);
    if (result == 0) {
        device->Close();
        return true;
    }
    return result == deInUse || result == deNoAccess;
}

} // namespace vaultix::platform
