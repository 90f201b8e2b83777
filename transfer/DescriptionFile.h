#pragma once
// The description file of a backup: the free text the user typed when saving, beside the data
// file. The memo holds Unicode text (UTF-8, lines separated by "\n"); the file holds lines
// separated by CR LF and no line break after the last line unless the user typed one.
//
// Existing backups hold 8-bit Windows-1252 text, and the program writes that whenever the text
// allows, so older copies of the program read our files. Text that Windows-1252 cannot hold is
// written as UTF-8 (without a byte-order mark) instead of losing characters. On reading, a file
// that is valid UTF-8 and not plain ASCII is taken as UTF-8, anything else as Windows-1252; so
// that this never misreads our own files, Windows-1252 text that would pass for UTF-8 is
// written as UTF-8 too.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vaultix::transfer {

// The memo's line when a restored backup has no description file.
inline constexpr char NoDescriptionText[] = "No file description available.";

// File content as memo text, "\n" for each line break (CR LF, a lone CR or a lone LF). Every
// other byte is kept, a NUL and a byte-order mark too: what the memo shows unchanged is
// written back as it was.
std::string DecodeDescription(std::string_view Bytes);

// Memo text as file content; an empty memo gives no bytes.
std::string EncodeDescription(std::string_view MemoText);

// Reading and writing a description file; failures raise platform::EInOutError. Writing
// replaces the file in one step, so a failed write leaves the old description in place.
std::string ReadDescriptionFile(const std::filesystem::path& Name);
void WriteDescriptionFile(const std::filesystem::path& Name, std::string_view MemoText);

// The bytes that the description file Name is to hold for MemoText: the file's own bytes when
// they read as that text (its line breaks, byte-order mark and code page stay as they were),
// otherwise the text encoded anew.
std::string DescriptionBytes(const std::filesystem::path& Name, std::string_view MemoText);

// Whether the text holds characters that Windows-1252 cannot, so that it is stored as UTF-8,
// which older copies of the program show garbled.
bool NeedsUtf8(std::string_view MemoText);

// What the person is told when that is so.
inline constexpr char StoredAsUtf8Notice[] =
    "The description holds characters that Windows-1252 cannot hold, so it is stored as UTF-8: "
    "this program shows it as typed, older copies of the program show those characters garbled.";

// The description of the backup whose data file is DataFileName, when it has one.
std::optional<std::string> LoadDescription(const std::filesystem::path& DataFileName);

} // namespace vaultix::transfer
