#include "transfer/FileError.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>

#include "platform/RuntimeExceptions.h"
#include "platform/SystemErrorText.h"

namespace vaultix::transfer {

namespace {

// The runtime's own error number for a read past the end of a file.
constexpr int RuntimeEndOfFile = 100;

// What a name that is not a regular file stands for, as the user would call it.
const char* KindOf(unsigned Mode) {
    if (S_ISDIR(Mode)) return "a folder";
    if (S_ISFIFO(Mode)) return "a named pipe (FIFO)";
    if (S_ISCHR(Mode) || S_ISBLK(Mode)) return "a device";
    if (S_ISSOCK(Mode)) return "a socket";
    return "not a regular file";
}

} // namespace

void RaiseNotAFile(unsigned Mode) {
    throw platform::EInOutError(std::string("This is ") + KindOf(Mode) +
                                    ", not a file: choose a backup file.",
                                S_ISDIR(Mode) ? EISDIR : EINVAL);
}

void RaiseFileError(int ErrorNumber) {
    std::string Text = platform::FileErrorMessage(ErrorNumber);
    if (Text.empty()) Text = "I/O error " + std::to_string(ErrorNumber);
    throw platform::EInOutError(std::move(Text), ErrorNumber);
}

void RaiseEndOfFile() {
    throw platform::EInOutError(platform::EndOfFileText, RuntimeEndOfFile);
}

} // namespace vaultix::transfer
