// Error numbers of the engine: platform-facing functions return 0 or a Windows error number,
// and the engine's own failures use the same numbers on every platform.
#pragma once
#include <cstdint>

namespace tvd {

using ErrorCode = std::uint32_t;

namespace err {
inline constexpr ErrorCode kSuccess = 0;
inline constexpr ErrorCode kInvalidFunction = 1;
inline constexpr ErrorCode kFileNotFound = 2;
inline constexpr ErrorCode kPathNotFound = 3;
inline constexpr ErrorCode kAccessDenied = 5;
inline constexpr ErrorCode kInvalidHandle = 6;
inline constexpr ErrorCode kNotEnoughMemory = 8;
inline constexpr ErrorCode kBadFormat = 11;
inline constexpr ErrorCode kInvalidData = 13;
inline constexpr ErrorCode kWriteProtect = 19;
inline constexpr ErrorCode kNotReady = 21;
inline constexpr ErrorCode kCrc = 23;
inline constexpr ErrorCode kWriteFault = 29;
inline constexpr ErrorCode kReadFault = 30;
inline constexpr ErrorCode kGenFailure = 31;
inline constexpr ErrorCode kSharingViolation = 32;
inline constexpr ErrorCode kHandleEof = 38;
inline constexpr ErrorCode kNotSupported = 50;
inline constexpr ErrorCode kFileExists = 80;
inline constexpr ErrorCode kInvalidParameter = 87;
inline constexpr ErrorCode kBrokenPipe = 109;
inline constexpr ErrorCode kInsufficientBuffer = 122;
inline constexpr ErrorCode kProcNotFound = 127;
inline constexpr ErrorCode kAlreadyExists = 183;
inline constexpr ErrorCode kMoreData = 234;
inline constexpr ErrorCode kNoMoreItems = 259;
inline constexpr ErrorCode kIoIncomplete = 996;
inline constexpr ErrorCode kIoPending = 997;
inline constexpr ErrorCode kIoDevice = 1117;
inline constexpr ErrorCode kDeviceNotConnected = 1167;
inline constexpr ErrorCode kCancelled = 1223;
inline constexpr ErrorCode kNoSystemResources = 1450;
inline constexpr ErrorCode kTimeout = 1460;
} // namespace err

// Maps a POSIX errno value to the Windows error number that means the same.
ErrorCode ErrorFromErrno(int e);

} // namespace tvd
