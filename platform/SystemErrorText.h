#pragma once
// The operating system's own wording for an error number.

#include <string>

namespace vaultix::platform {

// The system's message text for ErrorNumber in the neutral ("C") language, at most 255
// characters, exactly as the system gives it. Empty when the system has no text of its own for
// the number (a generic "Unknown error N" counts as none).
std::string SystemErrorText(int ErrorNumber);

// Makes a system message fit on one line: each control character becomes a space, then every
// run of spaces shrinks to one. A trailing space is kept.
std::string NormaliseSystemText(std::string Text);

// The runtime's words for the failures of file operations that have them.
inline constexpr char FileAccessDeniedText[] = "File access denied";
inline constexpr char InvalidFileHandleText[] = "Invalid file handle";
inline constexpr char EndOfFileText[] = "Attempt to read beyond end of file";
inline constexpr char DiskFullText[] = "Disk is full";
inline constexpr char WriteProtectedText[] = "Disk is write-protected";

// The user's text for the error number a file operation failed with: the runtime's words where
// they state the failure exactly (EACCES and EPERM, EBADF, ENOSPC, EROFS), else the system's own
// text for the number, made one line, else "System error N". Empty for a number below 1.
std::string FileErrorMessage(int ErrorNumber);

} // namespace vaultix::platform
