#pragma once
// The operating system's own wording for an error number.

#include <string>

namespace vaultix::platform {

// The system's message text for ErrorNumber in the neutral ("C") language, at most 255
// characters, exactly as the system gives it. Empty when the system has no text of its own for
// the number (a generic "Unknown error N" counts as none).
std::string SystemErrorText(int ErrorNumber);

} // namespace vaultix::platform
