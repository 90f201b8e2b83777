#pragma once
// Settings files with Windows profile semantics: read and written key by key, every other
// section, key and line of the file kept as it was.

#include "platform/RuntimeExceptions.h"

#include <optional>
#include <string>
#include <vector>

namespace vaultix::platform {

// The profile-file error: a settings file that cannot be written.
class EProfileWriteError : public Exception {
public:
    using Exception::Exception;
};

class TProfileFile {
public:
    explicit TProfileFile(std::string FileName);

    const std::string& FileName() const { return FileName_; }

    // The value of Key in Section, or nullopt. Section and key names match in any letter case.
    std::optional<std::string> ReadString(const std::string& Section, const std::string& Key) const;
    // Decimal text, or hexadecimal with a 0x/0X prefix; Default for a missing key, other text
    // or a value out of range.
    int ReadInteger(const std::string& Section, const std::string& Key, int Default) const;
    // Any non-zero integer is true.
    bool ReadBool(const std::string& Section, const std::string& Key, bool Default) const;

    // Each write goes to the file at once, as profile functions do. A file that cannot be written
    // raises EProfileWriteError with "In <file> kann nicht geschrieben werden".
    void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);
    void WriteInteger(const std::string& Section, const std::string& Key, int Value);
    void WriteBool(const std::string& Section, const std::string& Key, bool Value);

private:
    void Load();
    void Save() const;
    // Index of the line of Section's header, or npos.
    std::size_t FindSection(const std::string& Section) const;
    // Index of Key's line inside the section starting at SectionLine, or npos.
    std::size_t FindKey(std::size_t SectionLine, const std::string& Key) const;
    std::size_t SectionEnd(std::size_t SectionLine) const;

    std::string FileName_;
    std::vector<std::string> Lines_;
    // The file began with a UTF-8 byte-order mark, which a rewrite keeps.
    bool ByteOrderMark_ = false;
};

// Parses decimal or 0x-hexadecimal text with one optional sign; nullopt for anything else,
// and for a value outside the range of int.
std::optional<int> ParseProfileInteger(const std::string& Text);

} // namespace vaultix::platform
