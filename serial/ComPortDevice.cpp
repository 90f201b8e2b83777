// The dispatcher a port opens with: the device layer over the platform's serial devices.

#include "serial/ComPort.h"

#include "serial/DeviceDispatcher.h"
#include "serial/ResultCodes.h"

namespace vaultix::serial {

std::unique_ptr<TOxBaseDispatcher> TOxCustomComPort::CreateDispatcher() {
    if (FDeviceLayer != dlWin32) {
        Check(ecNullApi);
        return nullptr;
    }
    return std::make_unique<TOxWin32Dispatcher>(this);
}

} // namespace vaultix::serial
