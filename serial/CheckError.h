#pragma once
// Turns the serial layer's result codes into exceptions, so that callers above the port
// component see failures as exceptions and never as codes.

#include <cstdint>

namespace vaultix::serial {

// Returns Code when it is 0 or positive, or when PortLoading is set (a port being loaded from
// stored configuration raises nothing; its caller ignores the code). Otherwise raises and does
// not return:
// - a code with a class of its own raises that class (EOxException family);
// - a code carrying a Linux error number (SystemErrorCodes.h) raises platform::EInOutError with
//   the code's text and that error number;
// - a runtime I/O error (-162 to -2) raises platform::EInOutError with the code's text and
//   error number -Code, except -8, which raises platform::EOutOfMemory;
// - any other code raises a plain EOxException "Orvex exception" with ResultCode 0.
std::int32_t CheckError(bool PortLoading, std::int32_t Code);

} // namespace vaultix::serial
