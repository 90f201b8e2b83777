#pragma once
// Set-up shared by the GUI test programs: Qt without a display, and a private runtime directory.

#include <string>

namespace vaultix::testsupport {

// Selects the offscreen platform unless one is set, and gives Qt a fresh XDG_RUNTIME_DIR with
// mode 0700. Call before the application object exists. Returns the directory (the caller
// removes it at the end), or an empty text when none can be made.
std::string PrepareHeadlessQt();

} // namespace vaultix::testsupport
