#include "serial/DiagnosticFile.h"

#include <cerrno>

#include "serial/SystemErrorCodes.h"

namespace vaultix::serial {

TDiagnosticFile::~TDiagnosticFile() {
    Close();
}

std::int32_t TDiagnosticFile::Open(const std::string& FileName, bool Append) {
    Close();
    Error = 0;
    errno = 0;
    File = std::fopen(FileName.c_str(), Append ? "ab" : "wb");
    if (File == nullptr) {
        Fail();
        return SystemErrorCode(Error);
    }
    std::setvbuf(File, Buffer, _IOFBF, sizeof Buffer);
    return 0;
}

void TDiagnosticFile::Write(std::string_view Text) {
    if (File == nullptr || Error != 0 || Text.empty()) return;
    errno = 0;
    if (std::fwrite(Text.data(), 1, Text.size(), File) != Text.size()) Fail();
}

std::int32_t TDiagnosticFile::Close() {
    if (File != nullptr) {
        errno = 0;
        if (std::fclose(File) != 0 && Error == 0) Fail();
        File = nullptr;
    }
    return SystemErrorCode(Error);
}

void TDiagnosticFile::Fail() {
    // Some C libraries leave errno alone on a short write; the caller must still see a failure.
    if (Error == 0) Error = errno != 0 ? errno : EIO;
}

} // namespace vaultix::serial
