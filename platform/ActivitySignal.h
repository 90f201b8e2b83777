#pragma once
// A wake-up for the user-interface thread's idle loop. The serial layer's threads raise it when
// something an idle handler polls for has changed (input arrived, output drained, a modem line
// moved), so the idle loop can sleep between changes instead of spinning.

#include <functional>

namespace vaultix::platform {

// Installs the receiver (the idle driver); an empty function removes it. Thread-safe.
void SetActivityReceiver(std::function<void()> Receiver);

// Called from any thread; cheap when nothing is installed.
void SignalActivity();

} // namespace vaultix::platform
