// Error texts on Linux: the engine's own English wording for the numbers it uses, worded as the
// Windows system messages so that both builds tell the user the same thing.
#include "foundation/errtextutil.h"

#include <cerrno>
#include <cstring>

#include "foundation/langutil.h"
#include "foundation/textconvutil.h"

namespace tvd {

namespace {

struct ErrorTextRow {
    ErrorCode code;
    const char* text;
};

constexpr ErrorTextRow kTexts[] = {
    {err::kSuccess, "The operation completed successfully."},
    {err::kInvalidFunction, "Incorrect function."},
    {err::kFileNotFound, "The system cannot find the file specified."},
    {err::kPathNotFound, "The system cannot find the path specified."},
    {err::kAccessDenied, "Access is denied."},
    {err::kInvalidHandle, "The handle is invalid."},
    {err::kNotEnoughMemory, "Not enough memory resources are available to process this command."},
    {err::kBadFormat, "An attempt was made to load a program with an incorrect format."},
    {err::kInvalidData, "The data is invalid."},
    {err::kWriteFault, "The system cannot write to the specified device."},
    {err::kReadFault, "The system cannot read from the specified device."},
    {err::kGenFailure, "A device attached to the system is not functioning."},
    {err::kSharingViolation,
     "The process cannot access the file because it is being used by another process."},
    {err::kHandleEof, "Reached the end of the file."},
    {err::kNotSupported, "The request is not supported."},
    {err::kFileExists, "The file exists."},
    {err::kInvalidParameter, "The parameter is incorrect."},
    {err::kBrokenPipe, "The pipe has been ended."},
    {112, "There is not enough space on the disk."}, // what ENOSPC maps to
    {err::kInsufficientBuffer, "The data area passed to a system call is too small."},
    {err::kProcNotFound, "The specified procedure could not be found."},
    {err::kAlreadyExists, "Cannot create a file when that file already exists."},
    {err::kMoreData, "More data is available."},
    {err::kNoMoreItems, "No more data is available."},
    {err::kIoDevice, "The request could not be performed because of an I/O device error."},
    {err::kCancelled, "The operation was canceled by the user."},
    {err::kNoSystemResources,
     "Insufficient system resources exist to complete the requested service."},
    {err::kTimeout, "This operation returned because the timeout period expired."},
};

} // namespace

// Only English texts exist here, whatever language is asked for.
std::string ErrorText(ErrorCode code, std::uint16_t /*langId*/, std::uint8_t* charset) {
    if (charset) *charset = CharsetFromLangId(1033);
    for (const auto& row : kTexts)
        if (row.code == code) return row.text;
    return "Error " + std::to_string(code);
}

std::u16string ErrorTextW(ErrorCode code, std::uint16_t langId, std::uint8_t* charset) {
    return Utf8ToUtf16(ErrorText(code, langId, charset));
}

std::string SystemErrorText(ErrorCode code) {
    // The errno each number comes from (ErrorFromErrno backwards).
    static constexpr struct {
        ErrorCode code;
        int error;
    } kErrnos[] = {
        {err::kFileNotFound, ENOENT},
        {err::kPathNotFound, ENOENT},
        {err::kAccessDenied, EACCES},
        {err::kInvalidHandle, EBADF},
        {err::kNotEnoughMemory, ENOMEM},
        {err::kFileExists, EEXIST},
        {err::kAlreadyExists, EEXIST},
        {err::kInvalidParameter, EINVAL},
        {err::kSharingViolation, EBUSY},
        {112, ENOSPC},
        {err::kIoDevice, EIO},
        {err::kNotSupported, EOPNOTSUPP},
        {err::kBrokenPipe, EPIPE},
        {err::kTimeout, ETIMEDOUT},
        {err::kCancelled, ECANCELED},
        {err::kWriteProtect, EROFS},
        {err::kNoSystemResources, ENOMEM},
        {err::kDeviceNotConnected, ENODEV},
    };
    for (const auto& row : kErrnos)
        if (row.code == code) return std::strerror(row.error);
    return ErrorText(code);
}

} // namespace tvd
