#include "platform/ProgramPlaces.h"

#include <filesystem>
#include <system_error>

namespace vaultix::platform {

namespace {

std::string WithSeparator(std::string Folder) {
    if (Folder.empty() || Folder.back() != '/') Folder += '/';
    return Folder;
}

} // namespace

TProgramPlaces PortablePlaces(const std::string& Folder) {
    const std::string Dir = WithSeparator(Folder);
    return {true, Dir + SettingsFileName, Dir + GuideFileName, Dir};
}

TProgramPlaces ProgramPlacesFor(const std::string& ExecutableFolder) {
    return PortablePlaces(ExecutableFolder);
}

TProgramPlaces OwnProgramPlaces() {
    std::error_code Error;
    const std::filesystem::path Executable = std::filesystem::read_symlink("/proc/self/exe", Error);
    return ProgramPlacesFor(Error ? std::string(".") : Executable.parent_path().string());
}

} // namespace vaultix::platform
