#pragma once
// How vaultix-cli talks to the user: failures as one line on standard error, texts made fit for
// a terminal, and the failure that carries its exit status up to the program's end.

#include "tools/cli/CliCommandLine.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vaultix::cli {

// A command that cannot do what was asked; Status is the exit status it ends the program with.
class ECliFailure : public std::runtime_error {
public:
    ECliFailure(TCliExit AStatus, const std::string& Text)
        : std::runtime_error(Text), Status(AStatus) {}
    TCliExit Status;
};

// The window's texts break lines with "\r" (or "\r\n"); on one line they read as sentences.
// Other control characters (from a file name, say) are escaped as "\x1b".
std::string OneLine(std::string_view Text);
// The same texts with their line breaks as "\n", for standard output.
std::string WithNewlines(std::string_view Text);

// "vaultix-cli: Text" on standard error, as one line.
void PrintError(std::string_view Text);

// Text from a file or the line with every control character (a model name may hold zero
// bytes or escape sequences) shown as "\x1b", on one line.
std::string Printable(std::string_view Utf8);

// The number of characters in UTF-8 text, for lining up columns.
std::size_t DisplayWidth(std::string_view Utf8);

// SHA-256 of Bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::span<const std::uint8_t> Bytes);

} // namespace vaultix::cli
