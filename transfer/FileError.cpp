#include "transfer/FileError.h"

#include <string>

#include "platform/RuntimeExceptions.h"
#include "platform/SystemErrorText.h"

namespace vaultix::transfer {

namespace {

// The runtime's own error number for a read past the end of a file.
constexpr int RuntimeEndOfFile = 100;

} // namespace

void RaiseFileError(int ErrorNumber) {
    std::string Text = platform::FileErrorMessage(ErrorNumber);
    if (Text.empty()) Text = "I/O error " + std::to_string(ErrorNumber);
    throw platform::EInOutError(std::move(Text), ErrorNumber);
}

void RaiseEndOfFile() {
    throw platform::EInOutError(platform::EndOfFileText, RuntimeEndOfFile);
}

} // namespace vaultix::transfer
