#include "transfer/DescriptionFile.h"

#include <algorithm>
#include <system_error>

#include "transfer/BackupFiles.h"
#include "transfer/Cp1252.h"
#include "transfer/Cp1252Encode.h"
#include "transfer/DataFile.h"

namespace vaultix::transfer {

namespace {

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";

bool IsPlainAscii(std::string_view Text) {
    return std::all_of(Text.begin(), Text.end(),
                       [](char C) { return static_cast<unsigned char>(C) < 0x80; });
}

bool ReadsAsUtf8(std::string_view Bytes) {
    return !IsPlainAscii(Bytes) && IsValidUtf8(Bytes);
}

} // namespace

std::string DecodeDescription(std::string_view Bytes) {
    Bytes = Bytes.substr(0, Bytes.find('\0'));
    std::string Text;
    if (ReadsAsUtf8(Bytes)) {
        if (Bytes.starts_with(Utf8Mark)) Bytes.remove_prefix(Utf8Mark.size());
        Text.assign(Bytes);
    } else {
        Text = Cp1252ToUtf8(std::string(Bytes));
    }
    std::string Memo;
    Memo.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\r' || Text[i] == '\n') {
            if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
            if (i + 1 < Text.size()) Memo.push_back('\n');
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

std::string ReadDescriptionFile(const std::filesystem::path& Name) {
    TDataFile File;
    File.OpenForReading(Name);
    std::string Bytes(static_cast<std::size_t>(File.Length()), '\0');
    Bytes.resize(File.Read(Bytes.data(), Bytes.size()));
    return DecodeDescription(Bytes);
}

void WriteDescriptionFile(const std::filesystem::path& Name, std::string_view MemoText) {
    const std::string Bytes = EncodeDescription(MemoText);
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
