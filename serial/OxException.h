#pragma once
// Root of the serial layer's exception family: a runtime exception that also carries the
// result code it was raised for.

#include <cstdint>
#include <string>

#include "platform/RuntimeExceptions.h"

namespace vaultix::serial {

class EOxException : public platform::Exception {
public:
    // ResultCode := Code, message := the code's text.
    explicit EOxException(std::int32_t Code);

    // ResultCode := 0, message := Text; for failures that have no code of their own.
    static EOxException CreateText(std::string Text);

    std::int32_t ResultCode() const noexcept { return FResultCode; }

private:
    EOxException(std::int32_t Code, std::string Text);

    std::int32_t FResultCode;
};

} // namespace vaultix::serial
