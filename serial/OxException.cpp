#include "serial/OxException.h"

#include <utility>

#include "serial/MessageTable.h"

namespace vaultix::serial {

EOxException::EOxException(std::int32_t Code) : EOxException(Code, MessageFor(Code)) {}

EOxException::EOxException(std::int32_t Code, std::string Text)
    : platform::Exception(std::move(Text)), FResultCode(Code) {}

EOxException EOxException::CreateText(std::string Text) {
    return EOxException(0, std::move(Text));
}

} // namespace vaultix::serial
