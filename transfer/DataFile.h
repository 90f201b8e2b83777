#pragma once
// A file of a backup, read or written by the program. Writing never touches the file of the
// chosen name until the new content is complete: the bytes go to a temporary file beside it,
// and Commit flushes that to the disk and renames it over the chosen name in one step. Closing
// without Commit deletes the temporary, so a cancelled, stalled or crashed save leaves the
// previous backup of that name as it was. Failures raise platform::EInOutError.
//
// A writer holds an exclusive flock on its temporary for as long as it writes it. A program
// killed while saving leaves its temporary behind unlocked; whenever a save ends (Commit, or
// Close of new content) the temporaries of that name that nobody holds locked are removed.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace vaultix::transfer {

class TDataFile {
public:
    TDataFile() = default;
    // Closes the file; an uncommitted temporary is deleted, as by Close.
    ~TDataFile();
    TDataFile(const TDataFile&) = delete;
    TDataFile& operator=(const TDataFile&) = delete;

    // Opens Name for reading at its start. A file still open is closed first.
    void OpenForReading(const std::filesystem::path& Name);
    // Starts new content for Name in a fresh temporary file beside it; Name itself is not
    // touched. A file still open is closed first.
    void CreateFor(const std::filesystem::path& Name);

    // Reads up to Size bytes; fewer only at the end of the file.
    std::size_t Read(void* Buffer, std::size_t Size);
    // Moves the reading position Size bytes on; the end-of-file error when the file is shorter.
    void Skip(std::uint64_t Size);
    // Length of the open file in bytes.
    std::uint64_t Length() const;

    // Appends Size bytes to the new content.
    void Write(const void* Buffer, std::size_t Size);
    // Makes the new content the file of the chosen name: flush to the disk, close, rename. On
    // a failure the temporary is deleted and the file of the chosen name stays as it was.
    // A file open for reading is simply closed.
    void Commit();

    // Closes the file. New content that was not committed is deleted.
    void Close();

    bool IsOpen() const { return FHandle >= 0; }
    bool IsWriting() const { return IsOpen() && FWriting; }
    // The chosen name; empty when no file is open.
    const std::filesystem::path& Name() const { return FName; }
    // The temporary that holds new content; empty unless writing.
    const std::filesystem::path& TemporaryName() const { return FTemporary; }

private:
    void Forget();

    int FHandle = -1;
    bool FWriting = false;
    std::filesystem::path FName;
    std::filesystem::path FTemporary;
};

} // namespace vaultix::transfer
