#include "platform/ProgramPlaces.h"

#include <QDir>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

// The data folder as seen from the bin folder; the build sets it from the installation's own
// folders.
#ifndef VAULTIX_DATA_FROM_BIN
#define VAULTIX_DATA_FROM_BIN "../share/vaultix"
#endif

namespace vaultix::platform {

namespace fs = std::filesystem;

namespace {

std::string WithSeparator(std::string Folder) {
    if (Folder.empty() || Folder.back() != '/') Folder += '/';
    return Folder;
}

std::string HomeFolder() {
    if (const char* Home = std::getenv("HOME"); Home != nullptr && *Home != '\0') return Home;
    if (const passwd* User = ::getpwuid(::getuid()); User != nullptr && User->pw_dir != nullptr)
        return User->pw_dir;
    return "/";
}

// $XDG_CONFIG_HOME; a relative or empty value counts as unset, as the base directory rules say.
std::string UserConfigFolder() {
    const char* Config = std::getenv("XDG_CONFIG_HOME");
    if (Config != nullptr && Config[0] == '/') return Config;
    return WithSeparator(HomeFolder()) + ".config";
}

// The user's documents folder (the desktop's own choice, from user-dirs.dirs), or the home folder
// when there is none.
std::string UserDocumentsFolder() {
    const QString Documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!Documents.isEmpty() && QDir(Documents).exists()) return Documents.toStdString();
    return HomeFolder();
}

} // namespace

TProgramPlaces PortablePlaces(const std::string& Folder) {
    const std::string Dir = WithSeparator(Folder);
    return {true, Dir + SettingsFileName, Dir + GuideFileName, Dir};
}

TProgramPlaces InstalledPlaces(const std::string& DataFolder) {
    return {false, WithSeparator(UserConfigFolder()) + SettingsFolderName + "/" + SettingsFileName,
            WithSeparator(DataFolder) + GuideFileName, WithSeparator(UserDocumentsFolder())};
}

std::string InstalledDataFolder(const std::string& ExecutableFolder) {
    return (fs::path(ExecutableFolder) / VAULTIX_DATA_FROM_BIN).lexically_normal().string();
}

TProgramPlaces ProgramPlacesFor(const std::string& ExecutableFolder) {
    std::error_code Error;
    // A settings file beside the program keeps a copy portable, wherever it lies.
    if (fs::exists(WithSeparator(ExecutableFolder) + SettingsFileName, Error))
        return PortablePlaces(ExecutableFolder);
    const std::string Data = InstalledDataFolder(ExecutableFolder);
    if (fs::is_directory(Data, Error)) return InstalledPlaces(Data);
    return PortablePlaces(ExecutableFolder);
}

TProgramPlaces OwnProgramPlaces() {
    std::error_code Error;
    const fs::path Executable = fs::read_symlink("/proc/self/exe", Error);
    return ProgramPlacesFor(Error ? std::string(".") : Executable.parent_path().string());
}

bool MakeSettingsFolder(const TProgramPlaces& Places) {
    const fs::path Folder = fs::path(Places.SettingsFile).parent_path();
    if (Places.Portable || Folder.empty()) return true;
    fs::path Made;
    for (const fs::path& Part : Folder) {
        Made /= Part;
        if (::mkdir(Made.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    std::error_code Error;
    return fs::is_directory(Folder, Error);
}

} // namespace vaultix::platform
