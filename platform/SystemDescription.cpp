#include "platform/SystemDescription.h"

#include <cctype>
#include <cstdio>
#include <langinfo.h>
#include <sys/utsname.h>

namespace vaultix::platform {

std::string OperatingSystemText() {
    utsname name{};
    if (uname(&name) != 0) return "Unknown";
    std::string text = name.sysname;
    for (const char* part : {name.release, name.version, name.machine}) {
        text += ' ';
        text += part;
    }
    return text;
}

std::string CompilerText() {
#if defined(__clang__)
    std::string text = "Clang " __clang_version__;
#elif defined(__GNUC__)
    std::string text = "GCC " __VERSION__;
#else
    std::string text = "C++ compiler";
#endif
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string SeparatorOfFormat(std::string_view Format, std::string_view Fallback) {
    // Skip the first conversion ("%d", "%-d", "%Ey", ...), then take what stands before the
    // next one.
    std::size_t pos = Format.find('%');
    if (pos == std::string_view::npos) return std::string(Fallback);
    ++pos;
    while (pos < Format.size() &&
           std::string_view("-_0^#EO").find(Format[pos]) != std::string_view::npos)
        ++pos;
    ++pos;
    if (pos >= Format.size()) return std::string(Fallback);
    const std::size_t end = Format.find('%', pos);
    if (end == std::string_view::npos) return std::string(Fallback);
    const std::string_view separator = Format.substr(pos, end - pos);
    if (separator.empty()) return std::string(Fallback);
    for (const char c : separator) {
        // Letters (and the bytes of non-ASCII words) are part of a field, not a separator.
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || std::isalnum(u) || !std::isprint(u)) return std::string(Fallback);
    }
    return std::string(separator);
}

std::string FormatDateTime(const std::tm& Time, std::string_view DateSeparator,
                           std::string_view TimeSeparator) {
    const auto two = [](int Value) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02d", Value % 100);
        return std::string(digits);
    };
    std::string text;
    text += two(Time.tm_mday);
    text += DateSeparator;
    text += two(Time.tm_mon + 1);
    text += DateSeparator;
    text += two(Time.tm_year);
    text += ", ";
    text += two(Time.tm_hour);
    text += TimeSeparator;
    text += two(Time.tm_min);
    text += TimeSeparator;
    text += two(Time.tm_sec);
    return text;
}

std::string LocalDateTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string date = SeparatorOfFormat(nl_langinfo(D_FMT), "/");
    const std::string time = SeparatorOfFormat(nl_langinfo(T_FMT), ":");
    return FormatDateTime(local, date, time);
}

} // namespace vaultix::platform
