#pragma once
// The text of every result code, and the lookup that the exceptions take their messages from.

#include "platform/SystemErrorText.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vaultix::serial {

struct TMessageEntry {
    std::int32_t Code;
    std::string_view Text;
};

// All entries, in ascending order of the code's absolute value; no absolute value occurs twice.
std::span<const TMessageEntry> MessageTable();

// The text for Code. Only the low 16 bits of Code count, taken as signed, and the sign does not:
// 2011 and -2011 read the same. A code that carries a Linux error number reads as
// SystemErrorMessage says. A code the table lacks gets the operating system's text for the
// error number (normalised), or an empty text when the system has none either.
std::string MessageFor(std::int32_t Code);

using platform::NormaliseSystemText;

} // namespace vaultix::serial
