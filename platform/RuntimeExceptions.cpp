#include "platform/RuntimeExceptions.h"

#include <utility>

namespace vaultix::platform {

Exception::Exception(std::string Message)
    : FMessage(std::make_shared<const std::string>(std::move(Message))) {}

const char* Exception::what() const noexcept {
    return FMessage->c_str();
}

EInOutError::EInOutError(std::string Message, int ErrorCode)
    : Exception(std::move(Message)), FErrorCode(ErrorCode) {}

EOutOfMemory::EOutOfMemory() : Exception("Out of memory") {}

} // namespace vaultix::platform
