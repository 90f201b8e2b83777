#pragma once
// File failures raise the runtime's I/O error, the same class a failing port operation with a
// system error raises, so the application shows either with one handler.

namespace vaultix::transfer {

// Raises platform::EInOutError with the user's text for ErrorNumber (FileErrorMessage) and
// ErrorNumber itself.
[[noreturn]] void RaiseFileError(int ErrorNumber);

// Raises the runtime's end-of-file I/O error: a read wanted bytes that the file does not have.
[[noreturn]] void RaiseEndOfFile();

// Raises the I/O error for a name that stands for something other than a regular file (Mode
// from stat): a folder, a named pipe, a device or a socket, said in words.
[[noreturn]] void RaiseNotAFile(unsigned Mode);

} // namespace vaultix::transfer
