#include "platform/ProfileFile.h"

#include "platform/RuntimeExceptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

namespace vaultix::platform {

namespace {

constexpr std::size_t npos = std::string::npos;
constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";

std::string Trim(const std::string& S) {
    const auto first = S.find_first_not_of(" \t\r\n");
    if (first == npos) return {};
    const auto last = S.find_last_not_of(" \t\r\n");
    return S.substr(first, last - first + 1);
}

bool SameName(const std::string& A, const std::string& B) {
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The section name of a "[name]" line, or nullopt.
std::optional<std::string> SectionName(const std::string& Line) {
    const std::string t = Trim(Line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    const auto close = t.find(']');
    if (close == npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// Key and value of a "key=value" line.
std::optional<std::pair<std::string, std::string>> KeyValue(const std::string& Line) {
    const auto eq = Line.find('=');
    if (eq == npos) return std::nullopt;
    const std::string key = Trim(Line.substr(0, eq));
    if (key.empty() || key.front() == ';') return std::nullopt;
    return std::make_pair(key, Trim(Line.substr(eq + 1)));
}

} // namespace

std::optional<int> ParseProfileInteger(const std::string& Text) {
    const std::string Trimmed = Trim(Text);
    std::string_view t = Trimmed;
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    // Only digits may follow: a second sign ("--5") or a blank makes the value no integer.
    if (t.empty() || !std::isxdigit(static_cast<unsigned char>(t.front()))) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value, base);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    // A value the key cannot hold is no value; wrapping it would make up another one.
    const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : INT32_MAX;
    if (value > limit) return std::nullopt;
    return negative ? static_cast<int>(-static_cast<std::int64_t>(value)) : static_cast<int>(value);
}

TProfileFile::TProfileFile(std::string FileName) : FileName_(std::move(FileName)) {
    Load();
}

void TProfileFile::Load() {
    Lines_.clear();
    std::ifstream in(FileName_, std::ios::binary);
    std::string line;
    ByteOrderMark_ = false;
    while (std::getline(in, line)) {
        // An editor's byte-order mark would otherwise hide the first section's header.
        if (Lines_.empty() && line.starts_with(Utf8Mark)) {
            line.erase(0, Utf8Mark.size());
            ByteOrderMark_ = true;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Lines_.push_back(line);
    }
}

void TProfileFile::Save() const {
    std::ostringstream text;
    if (ByteOrderMark_) text << Utf8Mark;
    for (const auto& l : Lines_)
        text << l << "\r\n";
    bool ok = false;
    if (std::FILE* f = std::fopen(FileName_.c_str(), "wb")) {
        const std::string s = text.str();
        ok = std::fwrite(s.data(), 1, s.size(), f) == s.size();
        ok = (std::fclose(f) == 0) && ok;
    }
    if (!ok) throw EProfileWriteError("In " + FileName_ + " kann nicht geschrieben werden");
}

std::size_t TProfileFile::FindSection(const std::string& Section) const {
    for (std::size_t i = 0; i < Lines_.size(); ++i) {
        const auto name = SectionName(Lines_[i]);
        if (name && SameName(*name, Section)) return i;
    }
    return npos;
}

std::size_t TProfileFile::SectionEnd(std::size_t SectionLine) const {
    std::size_t i = SectionLine + 1;
    while (i < Lines_.size() && !SectionName(Lines_[i]))
        ++i;
    return i;
}

std::size_t TProfileFile::FindKey(std::size_t SectionLine, const std::string& Key) const {
    const std::size_t end = SectionEnd(SectionLine);
    for (std::size_t i = SectionLine + 1; i < end; ++i) {
        const auto kv = KeyValue(Lines_[i]);
        if (kv && SameName(kv->first, Key)) return i;
    }
    return npos;
}

std::optional<std::string> TProfileFile::ReadString(const std::string& Section,
                                                    const std::string& Key) const {
    const std::size_t s = FindSection(Section);
    if (s == npos) return std::nullopt;
    const std::size_t k = FindKey(s, Key);
    if (k == npos) return std::nullopt;
    return KeyValue(Lines_[k])->second;
}

int TProfileFile::ReadInteger(const std::string& Section, const std::string& Key,
                              int Default) const {
    const auto text = ReadString(Section, Key);
    if (!text) return Default;
    return ParseProfileInteger(*text).value_or(Default);
}

bool TProfileFile::ReadBool(const std::string& Section, const std::string& Key,
                            bool Default) const {
    return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

void TProfileFile::WriteString(const std::string& Section, const std::string& Key,
                               const std::string& Value) {
    Load(); // another program may have changed the file meanwhile
    const std::string line = Key + "=" + Value;
    std::size_t s = FindSection(Section);
    if (s == npos) {
        if (!Lines_.empty() && !Trim(Lines_.back()).empty()) Lines_.emplace_back();
        Lines_.push_back("[" + Section + "]");
        Lines_.push_back(line);
    } else if (const std::size_t k = FindKey(s, Key); k != npos) {
        Lines_[k] = line;
    } else {
        // After the section's last non-empty line.
        std::size_t at = SectionEnd(s);
        while (at > s + 1 && Trim(Lines_[at - 1]).empty())
            --at;
        Lines_.insert(Lines_.begin() + static_cast<std::ptrdiff_t>(at), line);
    }
    Save();
}

void TProfileFile::WriteInteger(const std::string& Section, const std::string& Key, int Value) {
    WriteString(Section, Key, std::to_string(Value));
}

void TProfileFile::WriteBool(const std::string& Section, const std::string& Key, bool Value) {
    WriteString(Section, Key, Value ? "1" : "0");
}

} // namespace vaultix::platform
