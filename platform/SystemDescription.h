#pragma once
// Texts that describe the program and the machine it runs on, for the dispatch log's header.

#include <ctime>
#include <string>
#include <string_view>

namespace vaultix::platform {

// The kernel as uname reports it: name, release, version and machine, blank-separated.
// "Unknown" when uname fails.
std::string OperatingSystemText();

// The compiler and its version that built this program, e.g. "GCC 12.2.0".
std::string CompilerText();

// The local date and time now as "dd/mm/yy, hh:mm:ss", with the date and time separators of
// the current LC_TIME locale in place of "/" and ":".
std::string LocalDateTimeText();

// The separator a locale's date or time format puts between its first two fields
// ("%d.%m.%Y" gives "."); Fallback when the format has none that is plain punctuation.
std::string SeparatorOfFormat(std::string_view Format, std::string_view Fallback);

// Time as "dd/mm/yy, hh:mm:ss" with the given separators.
std::string FormatDateTime(const std::tm& Time, std::string_view DateSeparator,
                           std::string_view TimeSeparator);

} // namespace vaultix::platform
