#pragma once
// Where an exception that escapes a dispatcher thread ends up. A background thread cannot let it
// propagate (that would end the process), so it hands it to the application's exception display,
// which the program installs; until then it is printed to the standard error stream.

#include <exception>
#include <functional>

namespace vaultix::serial {

using TThreadExceptionHandler = std::function<void(std::exception_ptr Error)>;

// Installs the display; an empty function restores the default. Thread-safe.
void SetThreadExceptionHandler(TThreadExceptionHandler Handler);

// Hands Error to the installed display. Never throws: a display that throws is ignored.
void ShowThreadException(std::exception_ptr Error);

} // namespace vaultix::serial
