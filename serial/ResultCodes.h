#pragma once
// Result codes of the serial layer: 0 or positive is success, negative is a failure whose
// range names its group. Linux error numbers travel in ranges of their own (SystemErrorCodes.h).

#include <cstdint>

namespace vaultix::serial {

inline constexpr std::int32_t ecOK = 0;

// The older runtime's input/output error numbers occupy -162 to -2; they surface as the
// runtime's I/O error rather than as serial exceptions.
inline constexpr std::int32_t ecLowestIoError = -162;
inline constexpr std::int32_t ecHighestIoError = -2;
inline constexpr std::int32_t ecInsufficientMemory = -8;

// General
inline constexpr std::int32_t ecBadHandle = -1001;
inline constexpr std::int32_t ecBadArgument = -1002;
inline constexpr std::int32_t ecGotQuitMsg = -1003;
inline constexpr std::int32_t ecBufferTooBig = -1004;
inline constexpr std::int32_t ecPortNotAssigned = -1005;
inline constexpr std::int32_t ecInternal = -1006;
inline constexpr std::int32_t ecModemNotAssigned = -1007;
inline constexpr std::int32_t ecPhonebookNotAssigned = -1008;
inline constexpr std::int32_t ecCannotUseWithWinSock = -1009;

// Opening a port
inline constexpr std::int32_t ecBadId = -2001;
inline constexpr std::int32_t ecBaudRate = -2002;
inline constexpr std::int32_t ecByteSize = -2003;
inline constexpr std::int32_t ecDefault = -2004;
inline constexpr std::int32_t ecHardware = -2005;
inline constexpr std::int32_t ecMemory = -2006;
inline constexpr std::int32_t ecCommNotOpen = -2007;
inline constexpr std::int32_t ecAlreadyOpen = -2008;
inline constexpr std::int32_t ecNoHandles = -2009;
inline constexpr std::int32_t ecNoTimers = -2010;
inline constexpr std::int32_t ecNoPortSelected = -2011;
inline constexpr std::int32_t ecNotOpenedByTapi = -2012;

// Serial input and output
inline constexpr std::int32_t ecNullApi = -3001;
inline constexpr std::int32_t ecNotSupported = -3002;
inline constexpr std::int32_t ecRegisterHandlerFailed = -3003;
inline constexpr std::int32_t ecPutBlockFail = -3004;
inline constexpr std::int32_t ecGetBlockFail = -3005;
inline constexpr std::int32_t ecOutputBufferTooSmall = -3006;
inline constexpr std::int32_t ecBufferIsEmpty = -3007;
inline constexpr std::int32_t ecTracingNotEnabled = -3008;
inline constexpr std::int32_t ecLoggingNotEnabled = -3009;
inline constexpr std::int32_t ecBaseAddressNotSet = -3010;

} // namespace vaultix::serial
