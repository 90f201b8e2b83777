#include "transfer/DescriptionFile.h"

#include <algorithm>
#include <system_error>

#include "platform/RuntimeExceptions.h"
#include "transfer/BackupFiles.h"
#include "transfer/Cp1252.h"
#include "transfer/Cp1252Encode.h"
#include "transfer/DataFile.h"

namespace vaultix::transfer {

namespace {

bool IsPlainAscii(std::string_view Text) {
    return std::all_of(Text.begin(), Text.end(),
                       [](char C) { return static_cast<unsigned char>(C) < 0x80; });
}

bool ReadsAsUtf8(std::string_view Bytes) {
    return !IsPlainAscii(Bytes) && IsValidUtf8(Bytes);
}

} // namespace

std::string DecodeDescription(std::string_view Bytes) {
    std::string Text;
    if (ReadsAsUtf8(Bytes)) {
        // A byte-order mark stays in the text as the character it is, so that writing the text
        // again puts it back.
        Text.assign(Bytes);
    } else {
        Text = Cp1252ToUtf8(std::string(Bytes));
    }
    std::string Memo;
    Memo.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\r' || Text[i] == '\n') {
            if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
            Memo.push_back('\n');
        } else {
            Memo.push_back(Text[i]);
        }
    }
    return Memo;
}

std::string EncodeDescription(std::string_view MemoText) {
    std::string Text;
    Text.reserve(MemoText.size() + MemoText.size() / 16);
    for (std::size_t i = 0; i < MemoText.size(); ++i) {
        if (MemoText[i] == '\r' || MemoText[i] == '\n') {
            if (MemoText[i] == '\r' && i + 1 < MemoText.size() && MemoText[i + 1] == '\n') ++i;
            Text += "\r\n";
        } else {
            Text.push_back(MemoText[i]);
        }
    }
    if (std::optional<std::string> Cp1252 = Utf8ToCp1252(Text); Cp1252 && !ReadsAsUtf8(*Cp1252))
        return *Cp1252;
    return Text;
}

namespace {

std::string ReadDescriptionBytes(const std::filesystem::path& Name) {
    TDataFile File;
    File.OpenForReading(Name);
    std::string Bytes(static_cast<std::size_t>(File.Length()), '\0');
    Bytes.resize(File.Read(Bytes.data(), Bytes.size()));
    return Bytes;
}

} // namespace

std::string ReadDescriptionFile(const std::filesystem::path& Name) {
    return DecodeDescription(ReadDescriptionBytes(Name));
}

std::string DescriptionBytes(const std::filesystem::path& Name, std::string_view MemoText) {
    std::error_code Error;
    if (std::filesystem::is_regular_file(Name, Error)) {
        try {
            std::string Existing = ReadDescriptionBytes(Name);
            if (DecodeDescription(Existing) == MemoText) return Existing;
        } catch (const platform::EInOutError&) {
            // Unreadable: written anew from the text.
        }
    }
    return EncodeDescription(MemoText);
}

bool NeedsUtf8(std::string_view MemoText) {
    return !Utf8ToCp1252(MemoText).has_value();
}

void WriteDescriptionFile(const std::filesystem::path& Name, std::string_view MemoText) {
    const std::string Bytes = DescriptionBytes(Name, MemoText);
    TDataFile File;
    File.CreateFor(Name);
    File.Write(Bytes.data(), Bytes.size());
    File.Commit();
}

std::optional<std::string> LoadDescription(const std::filesystem::path& DataFileName) {
    const std::filesystem::path Name = DescriptionFileName(DataFileName);
    std::error_code Error;
    if (!std::filesystem::exists(Name, Error)) return std::nullopt;
    return ReadDescriptionFile(Name);
}

} // namespace vaultix::transfer
