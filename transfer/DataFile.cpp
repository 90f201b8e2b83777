#include "transfer/DataFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "transfer/FileError.h"

namespace vaultix::transfer {

namespace {

int OpenRetrying(const char* Name, int Flags, mode_t Mode = 0) {
    int Handle;
    do {
        Handle = ::open(Name, Flags | O_CLOEXEC, Mode);
    } while (Handle < 0 && errno == EINTR);
    return Handle;
}

// A name of the form "club.a22.partial-1f2e3d4c": beside the chosen file, so that the final
// rename stays on one file system, and with an extension no file dialog filter matches, so a
// temporary left by a crash never offers itself as a backup.
std::filesystem::path TemporaryNameFor(const std::filesystem::path& Name, unsigned Salt) {
    char Suffix[24];
    std::snprintf(Suffix, sizeof Suffix, ".partial-%08x", Salt);
    std::filesystem::path Result = Name;
    Result += Suffix;
    return Result;
}

// The rename is durable only once the directory entry is on the disk. File systems that cannot
// sync a directory say so with an error; the content itself is already safe then.
void SyncDirectoryOf(const std::filesystem::path& Name) {
    std::filesystem::path Directory = Name.parent_path();
    if (Directory.empty()) Directory = ".";
    const int Handle = OpenRetrying(Directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (Handle < 0) return;
    ::fsync(Handle);
    ::close(Handle);
}

} // namespace

TDataFile::~TDataFile() {
    if (!IsOpen()) return;
    ::close(FHandle);
    if (FWriting) ::unlink(FTemporary.c_str());
}

void TDataFile::Forget() {
    FHandle = -1;
    FWriting = false;
    FName.clear();
    FTemporary.clear();
}

void TDataFile::OpenForReading(const std::filesystem::path& Name) {
    Close();
    const int Handle = OpenRetrying(Name.c_str(), O_RDONLY);
    if (Handle < 0) RaiseFileError(errno);
    FHandle = Handle;
    FName = Name;
}

void TDataFile::CreateFor(const std::filesystem::path& Name) {
    Close();
    std::random_device Random;
    for (int Attempt = 0;; ++Attempt) {
        std::filesystem::path Temporary = TemporaryNameFor(Name, Random());
        // 0666 lets the user's umask decide, as for any file the user creates.
        const int Handle = OpenRetrying(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (Handle < 0) {
            if (errno == EEXIST && Attempt < 100) continue;
            RaiseFileError(errno);
        }
        // A backup being replaced keeps its permissions.
        struct stat Existing;
        if (::stat(Name.c_str(), &Existing) == 0 && S_ISREG(Existing.st_mode))
            ::fchmod(Handle, Existing.st_mode & 07777);
        FHandle = Handle;
        FWriting = true;
        FName = Name;
        FTemporary = std::move(Temporary);
        return;
    }
}

std::size_t TDataFile::Read(void* Buffer, std::size_t Size) {
    auto* Into = static_cast<char*>(Buffer);
    std::size_t Done = 0;
    while (Done < Size) {
        const ssize_t Got = ::read(FHandle, Into + Done, Size - Done);
        if (Got < 0) {
            if (errno == EINTR) continue;
            RaiseFileError(errno);
        }
        if (Got == 0) break;
        Done += static_cast<std::size_t>(Got);
    }
    return Done;
}

void TDataFile::Skip(std::uint64_t Size) {
    const off_t Position = ::lseek(FHandle, 0, SEEK_CUR);
    if (Position < 0) RaiseFileError(errno);
    if (static_cast<std::uint64_t>(Position) + Size > Length()) RaiseEndOfFile();
    if (::lseek(FHandle, static_cast<off_t>(Size), SEEK_CUR) < 0) RaiseFileError(errno);
}

std::uint64_t TDataFile::Length() const {
    struct stat Info;
    if (::fstat(FHandle, &Info) != 0) RaiseFileError(errno);
    return static_cast<std::uint64_t>(Info.st_size);
}

void TDataFile::Write(const void* Buffer, std::size_t Size) {
    const auto* From = static_cast<const char*>(Buffer);
    std::size_t Done = 0;
    while (Done < Size) {
        const ssize_t Put = ::write(FHandle, From + Done, Size - Done);
        if (Put < 0) {
            if (errno == EINTR) continue;
            RaiseFileError(errno);
        }
        Done += static_cast<std::size_t>(Put);
    }
}

void TDataFile::Commit() {
    if (!IsWriting()) {
        Close();
        return;
    }
    const int Handle = FHandle;
    const std::filesystem::path Name = FName;
    const std::filesystem::path Temporary = FTemporary;
    Forget();
    int Error = 0;
    if (::fsync(Handle) != 0) Error = errno;
    if (::close(Handle) != 0 && Error == 0) Error = errno;
    if (Error == 0 && ::rename(Temporary.c_str(), Name.c_str()) != 0) Error = errno;
    if (Error != 0) {
        ::unlink(Temporary.c_str());
        RaiseFileError(Error);
    }
    SyncDirectoryOf(Name);
}

void TDataFile::Close() {
    if (!IsOpen()) return;
    const int Handle = FHandle;
    const bool Writing = FWriting;
    const std::filesystem::path Temporary = FTemporary;
    Forget();
    // Closing a file whose content is being thrown away cannot lose anything.
    ::close(Handle);
    if (Writing && ::unlink(Temporary.c_str()) != 0 && errno != ENOENT) RaiseFileError(errno);
}

} // namespace vaultix::transfer
