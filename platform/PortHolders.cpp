#include "platform/PortHolders.h"


#include <charconv>
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
    // Processes come and go while they are looked at: every step takes an error code, and one
    // that vanished midway is simply not a holder.
    std::error_code Error;
    for (fs::directory_iterator Process(ProcRoot, Error), End; !Error && Process != End;
         Process.increment(Error)) {
        const std::string Pid = Process->path().filename().string();
        if (!IsPid(Pid) || Pid == Self) continue;
        std::error_code FdError;
        fs::directory_iterator Fd(Process->path() / "fd", FdError);
        if (FdError) {
            // Gone meanwhile, or another user's process.
            if (FdError != std::errc::no_such_file_or_directory) Search.Incomplete = true;
            continue;
        }
        for (; !FdError && Fd != End; Fd.increment(FdError)) {
            struct stat Target {};
            if (::stat(Fd->path().c_str(), &Target) != 0) continue;
            if (!S_ISCHR(Target.st_mode) || Target.st_rdev != Device.st_rdev) continue;
            int Number = 0;
            std::from_chars(Pid.data(), Pid.data() + Pid.size(), Number);
            Search.Holders.push_back({Number, CommandName(Process->path())});
            break;
        }
    }
    return Search;
}

} // namespace vaultix::platform
