#include "platform/PortHolders.h"

#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace vaultix::platform {

namespace fs = std::filesystem;

namespace {

bool IsPid(std::string_view Name) {
    if (Name.empty()) return false;
    for (const char C : Name)
        if (C < '0' || C > '9') return false;
    return true;
}

std::string CommandName(const fs::path& Process) {
    std::ifstream In(Process / "comm");
    std::string Name;
    std::getline(In, Name);
    return Name;
}

} // namespace

THolderSearch FindPortHolders(const std::string& DevicePath, const std::string& ProcRoot) {
    THolderSearch Search;
    struct stat Device {};
    if (::stat(DevicePath.c_str(), &Device) != 0) return Search;
    const std::string Self = std::to_string(::getpid());
    std::error_code Error;
    for (const fs::directory_entry& Process : fs::directory_iterator(ProcRoot, Error)) {
        const std::string Pid = Process.path().filename().string();
        if (!IsPid(Pid) || Pid == Self) continue;
        std::error_code FdError;
        fs::directory_iterator Fds(Process.path() / "fd", FdError);
        if (FdError) {
            // Gone meanwhile, or another user's process.
            if (FdError != std::errc::no_such_file_or_directory) Search.Incomplete = true;
            continue;
        }
        for (const fs::directory_entry& Fd : Fds) {
            struct stat Target {};
            if (::stat(Fd.path().c_str(), &Target) != 0) continue;
            if (!S_ISCHR(Target.st_mode) || Target.st_rdev != Device.st_rdev) continue;
            Search.Holders.push_back({std::stoi(Pid), CommandName(Process.path())});
            break;
        }
    }
    return Search;
}

std::string HoldersText(const std::string& DevicePath, const THolderSearch& Search) {
    if (Search.Holders.empty()) return DevicePath + " is in use by another program.";
    std::string Text = DevicePath + " is in use by ";
    for (std::size_t I = 0; I < Search.Holders.size(); ++I) {
        if (I > 0) Text += I + 1 == Search.Holders.size() ? " and " : ", ";
        const TPortHolder& Holder = Search.Holders[I];
        Text += (Holder.Program.empty() ? std::string("a program") : Holder.Program) +
                " (process " + std::to_string(Holder.Pid) + ")";
    }
    return Text + ".";
}

} // namespace vaultix::platform
