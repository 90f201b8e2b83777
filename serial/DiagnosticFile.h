#pragma once
// The text file the trace and the dispatch log are written to: buffered output with CR LF line
// ends, remembering the first failure so that the caller checks once at the end.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace vaultix::serial {

class TDiagnosticFile {
public:
    TDiagnosticFile() = default;
    TDiagnosticFile(const TDiagnosticFile&) = delete;
    TDiagnosticFile& operator=(const TDiagnosticFile&) = delete;
    ~TDiagnosticFile();

    // Appends to an existing file when Append is set, else creates or truncates it.
    // 0, or the failure's SystemErrorCode.
    std::int32_t Open(const std::string& FileName, bool Append);

    void Write(std::string_view Text);
    void EndLine() { Write("\r\n"); }
    void WriteLine(std::string_view Text) {
        Write(Text);
        EndLine();
    }

    // 0, or the SystemErrorCode of the first write or close that failed.
    std::int32_t Close();

private:
    void Fail();

    std::FILE* File = nullptr;
    int Error = 0;
    char Buffer[512];
};

} // namespace vaultix::serial
