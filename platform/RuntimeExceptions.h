#pragma once
// The runtime's own exception family: a base that carries a message text, the input/output
// error with its error number, and the out-of-memory error. The serial layer's exceptions and
// the file operations build on these, so one handler can show any failure's text.

#include <exception>
#include <memory>
#include <string>

namespace vaultix::platform {

class Exception : public std::exception {
public:
    explicit Exception(std::string Message);

    const char* what() const noexcept override;
    const std::string& Message() const noexcept { return *FMessage; }

private:
    // Shared so that copying an exception while it propagates can never throw.
    std::shared_ptr<const std::string> FMessage;
};

class EInOutError : public Exception {
public:
    EInOutError(std::string Message, int ErrorCode);

    // The failed operation's error number (positive).
    int ErrorCode() const noexcept { return FErrorCode; }

private:
    int FErrorCode;
};

class EOutOfMemory : public Exception {
public:
    EOutOfMemory();
};

} // namespace vaultix::platform
