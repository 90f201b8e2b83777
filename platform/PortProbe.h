#pragma once
// Whether a COM port exists, for the port selection list.

namespace vaultix::platform {

// Opens COM Number exactly as a real open does and closes it again. A port that opens, that
// another descriptor holds, or that the user lacks permission for counts as available (it
// exists); a missing one, number 0 and numbers above MaxComPort do not. Probing an idle port
// applies the default line settings to it, as any open does.
bool PortAvailable(int Number);

} // namespace vaultix::platform
