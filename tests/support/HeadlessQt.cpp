#include "tests/support/HeadlessQt.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace vaultix::testsupport {

std::string PrepareHeadlessQt() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform == nullptr || *platform == '\0') ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt insists on a private runtime directory; mkdtemp makes it with mode 0700.
    std::string runtime = (std::filesystem::temp_directory_path() / "vaultix-qt-XXXXXX").string();
    if (::mkdtemp(runtime.data()) == nullptr) return {};
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    return runtime;
}

} // namespace vaultix::testsupport
