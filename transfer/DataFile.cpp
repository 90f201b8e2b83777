#include "transfer/DataFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
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

constexpr std::string_view TemporaryMark = ".partial-";
constexpr std::size_t SaltDigits = 8;

// A name of the form "club.a22.partial-1f2e3d4c": beside the chosen file, so that the final
// rename stays on one file system, and with an extension no file dialog filter matches, so a
// temporary left by a crash never offers itself as a backup.
std::filesystem::path TemporaryNameFor(const std::filesystem::path& Name, std::uint32_t Salt) {
    char Digits[SaltDigits + 1];
    std::snprintf(Digits, sizeof Digits, "%08x", static_cast<unsigned>(Salt));
    std::filesystem::path Result = Name;
    Result += TemporaryMark;
    Result += Digits;
    return Result;
}

// Exactly the names TemporaryNameFor gives for the file named Base, whatever the salt.
bool IsTemporaryOf(std::string_view Entry, std::string_view Base) {
    if (Entry.size() != Base.size() + TemporaryMark.size() + SaltDigits) return false;
    if (!Entry.starts_with(Base)) return false;
    Entry.remove_prefix(Base.size());
    if (!Entry.starts_with(TemporaryMark)) return false;
    Entry.remove_prefix(TemporaryMark.size());
    for (char C : Entry)
        if (!((C >= '0' && C <= '9') || (C >= 'a' && C <= 'f'))) return false;
    return true;
}

bool SameFile(const struct stat& A, const struct stat& B) {
    return A.st_dev == B.st_dev && A.st_ino == B.st_ino;
}

// Whether the open file Handle is still the file called Name.
bool StillNamed(int Handle, const std::filesystem::path& Name) {
    struct stat Open, Named;
    return ::fstat(Handle, &Open) == 0 && ::lstat(Name.c_str(), &Named) == 0 &&
           SameFile(Open, Named);
}

// Removes Name if it is a regular file that nobody holds locked: its writer has gone without
// finishing. Our own writers hold their lock from creation until the temporary is renamed or
// removed, and flock locks belong to each open of the file, so a writer in this very process
// keeps its temporary as well as one in another process.
void RemoveIfAbandoned(const std::filesystem::path& Name) {
    const int Handle = ::open(Name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (Handle < 0) return;
    struct stat Info;
    if (::fstat(Handle, &Info) == 0 && S_ISREG(Info.st_mode) &&
        ::flock(Handle, LOCK_EX | LOCK_NB) == 0 && StillNamed(Handle, Name))
        ::unlink(Name.c_str());
    ::close(Handle);
}

// Temporaries of Name left behind by saves that never ended (the program was killed). Nothing
// here may fail a save that has already ended, so every failure is passed over.
void RemoveStaleTemporaries(const std::filesystem::path& Name) noexcept {
    try {
        std::filesystem::path Directory = Name.parent_path();
        if (Directory.empty()) Directory = ".";
        const std::string Base = Name.filename().string();
        std::error_code Error;
        std::filesystem::directory_iterator Entry(Directory, Error), End;
        for (; !Error && Entry != End; Entry.increment(Error))
            if (IsTemporaryOf(Entry->path().filename().native(), Base))
                RemoveIfAbandoned(Entry->path());
    } catch (...) {
    }
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

// A backup is read from and written to regular files only. Anything else (a folder, a named
// pipe, a device) is refused from its stat, before it is opened: opening a pipe blocks until a
// writer comes, and opening a device may act on it.
void RequireFileOrNothing(const std::filesystem::path& Name) {
    struct stat Info;
    if (::stat(Name.c_str(), &Info) == 0 && !S_ISREG(Info.st_mode)) RaiseNotAFile(Info.st_mode);
}

} // namespace

TDataFile::~TDataFile() {
    if (!IsOpen()) return;
    if (FWriting) ::unlink(FTemporary.c_str());
    ::close(FHandle);
    if (FWriting) RemoveStaleTemporaries(FName);
}

void TDataFile::Forget() {
    FHandle = -1;
    FWriting = false;
    FName.clear();
    FTemporary.clear();
}

void TDataFile::OpenForReading(const std::filesystem::path& Name) {
    Close();
    RequireFileOrNothing(Name);
    // Non-blocking, in case the name was swapped for a pipe since the check.
    const int Handle = OpenRetrying(Name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (Handle < 0) RaiseFileError(errno);
    struct stat Info;
    if (::fstat(Handle, &Info) != 0) {
        const int Error = errno;
        ::close(Handle);
        RaiseFileError(Error);
    }
    if (!S_ISREG(Info.st_mode)) {
        ::close(Handle);
        RaiseNotAFile(Info.st_mode);
    }
    FHandle = Handle;
    FName = Name;
}

void TDataFile::CreateFor(const std::filesystem::path& Name) {
    Close();
    RequireFileOrNothing(Name);
    std::random_device Random;
    for (int Attempt = 0;; ++Attempt) {
        std::filesystem::path Temporary = TemporaryNameFor(Name, Random());
        // 0666 lets the user's umask decide, as for any file the user creates.
        const int Handle = OpenRetrying(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (Handle < 0) {
            if (errno == EEXIST && Attempt < 100) continue;
            RaiseFileError(errno);
        }
        // The lock marks the temporary as in use for the clean-up of a later save. Between the
        // creation and the lock a clean-up may take the new file for an abandoned one; it then
        // holds the lock or has removed the file, and a fresh name is tried. Where the file
        // system has no locks the clean-up cannot lock either, and removes nothing.
        const bool Locked = ::flock(Handle, LOCK_EX | LOCK_NB) == 0;
        const bool TakenMeanwhile = Locked ? !StillNamed(Handle, Temporary) : errno == EWOULDBLOCK;
        if (TakenMeanwhile) {
            ::close(Handle);
            if (Attempt < 100) continue;
            RaiseFileError(EEXIST);
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
    // The rename comes before the close, so that the temporary is never there unlocked for a
    // clean-up to take. Once fsync has succeeded the content is on the disk, and closing can
    // add no failure to it.
    int Error = 0;
    if (::fsync(Handle) != 0) Error = errno;
    if (Error == 0 && ::rename(Temporary.c_str(), Name.c_str()) != 0) Error = errno;
    if (Error != 0) ::unlink(Temporary.c_str());
    ::close(Handle);
    RemoveStaleTemporaries(Name);
    if (Error != 0) RaiseFileError(Error);
    SyncDirectoryOf(Name);
}

void TDataFile::Close() {
    if (!IsOpen()) return;
    const int Handle = FHandle;
    const bool Writing = FWriting;
    const std::filesystem::path Name = FName;
    const std::filesystem::path Temporary = FTemporary;
    Forget();
    if (!Writing) {
        ::close(Handle);
        return;
    }
    // Closing a file whose content is being thrown away cannot lose anything.
    const int Error = ::unlink(Temporary.c_str()) != 0 && errno != ENOENT ? errno : 0;
    ::close(Handle);
    RemoveStaleTemporaries(Name);
    if (Error != 0) RaiseFileError(Error);
}

} // namespace vaultix::transfer
