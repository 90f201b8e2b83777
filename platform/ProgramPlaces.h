#pragma once
// The places that "the program's folder" stands for: the settings file, the user guide, and the
// folder the file dialogs start in. A portable run (the build folder, or a copy of the program
// with its files beside it) keeps all three in the executable's own folder.

#include <string>

namespace vaultix::platform {

inline constexpr char SettingsFileName[] = "Vaultix.ini";
inline constexpr char GuideFileName[] = "user-guide.html";

struct TProgramPlaces {
    bool Portable = true;
    std::string SettingsFile; // full path of the settings file
    std::string GuideFile;    // full path of the user guide
    std::string DialogFolder; // where the file dialogs start, with a trailing separator
};

// All three in Folder.
TProgramPlaces PortablePlaces(const std::string& Folder);
// The places of a program whose executable lies in ExecutableFolder.
TProgramPlaces ProgramPlacesFor(const std::string& ExecutableFolder);
// The running program's own places.
TProgramPlaces OwnProgramPlaces();

} // namespace vaultix::platform
