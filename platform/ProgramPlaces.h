#pragma once
// The places that "the program's folder" stands for: the settings file, the user guide, and the
// folder the file dialogs start in.
//
// A portable run keeps all three in the executable's own folder: the build folder, or a copy of
// the program with Vaultix.ini beside it. An installed program (its executable in a bin folder
// with the program's data folder, share/vaultix, installed beside it) keeps the settings per
// user in $XDG_CONFIG_HOME/vaultix (~/.config/vaultix), shows the guide from its data folder and
// starts the dialogs in the user's documents folder. Only the installed files decide, never
// write permission, so every installation prefix behaves alike.
//
// Nothing here needs an application object: the command line uses the same places.

#include <string>

namespace vaultix::platform {

inline constexpr char SettingsFileName[] = "Vaultix.ini";
inline constexpr char GuideFileName[] = "user-guide.html";
// The per-user settings folder below the user's configuration folder.
inline constexpr char SettingsFolderName[] = "vaultix";

struct TProgramPlaces {
    bool Portable = true;
    std::string SettingsFile; // full path of the settings file
    std::string GuideFile;    // full path of the user guide
    std::string DialogFolder; // where the file dialogs start, with a trailing separator
};

// All three in Folder.
TProgramPlaces PortablePlaces(const std::string& Folder);
// An installed program whose data folder is DataFolder, for the user running it.
TProgramPlaces InstalledPlaces(const std::string& DataFolder);
// The data folder an installation puts beside an executable in ExecutableFolder.
std::string InstalledDataFolder(const std::string& ExecutableFolder);
// The places of a program whose executable lies in ExecutableFolder.
TProgramPlaces ProgramPlacesFor(const std::string& ExecutableFolder);
// The running program's own places.
TProgramPlaces OwnProgramPlaces();

// Creates the folder of an installed program's settings file when it is missing, as the user's
// private folder; false when it cannot be made. The writes themselves report their failures.
bool MakeSettingsFolder(const TProgramPlaces& Places);

} // namespace vaultix::platform
