// Request and answer buffers of the Windows 10 storage protocol interface for NVMe: the
// protocol command (IOCTL_STORAGE_PROTOCOL_COMMAND) and the protocol-specific property query
// (IOCTL_STORAGE_QUERY_PROPERTY). Every field is 32 bits wide, so the layout is the same for
// both pointer widths; the Windows build checks it against the system headers where they
// define the structures.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/commandtypes.h"

namespace tvd::w10nvme {

// STORAGE_PROTOCOL_COMMAND, followed by the command, the error info and the data.
namespace protocmd {
inline constexpr std::size_t kVersion = 0, kLength = 4, kProtocolType = 8, kFlags = 12,
                             kReturnStatus = 16, kErrorCode = 20, kCommandLength = 24,
                             kErrorInfoLength = 28, kDataToDeviceLength = 32,
                             kDataFromDeviceLength = 36, kTimeOutValue = 40, kErrorInfoOffset = 44,
                             kDataToDeviceOffset = 48, kDataFromDeviceOffset = 52,
                             kCommandSpecific = 56, kFixedProtocolReturnData = 60, kCommand = 80;
inline constexpr std::size_t kStructSize = 84; // sizeof, with a 4-byte command array
inline constexpr std::size_t kHeaderSize = kCommand + kNvmeCommandSize; // 144
inline constexpr std::size_t kErrorInfoSize = 64;
inline constexpr std::uint32_t kStructureVersion = 1;
inline constexpr std::uint32_t kProtocolNvme = 3;
inline constexpr std::uint32_t kFlagAdapterRequest = 0x80000000u;
inline constexpr std::uint32_t kTimeoutSeconds = 10;
inline constexpr std::uint32_t kAdminCommand = 1, kNvmCommand = 2; // CommandSpecific
// ReturnStatus values.
inline constexpr std::uint32_t kStatusPending = 0, kStatusSuccess = 1, kStatusError = 2,
                               kStatusInvalidRequest = 3, kStatusNotSupported = 0xFF;
} // namespace protocmd

// STORAGE_PROTOCOL_SPECIFIC_DATA.
namespace protodata {
inline constexpr std::size_t kProtocolType = 0, kDataType = 4, kRequestValue = 8,
                             kRequestSubValue = 12, kDataOffset = 16, kDataLength = 20,
                             kFixedReturnData = 24, kRequestSubValue2 = 28, kRequestSubValue3 = 32,
                             kRequestSubValue4 = 36, kSize = 40;
inline constexpr std::uint32_t kDataTypeIdentify = 1, kDataTypeLogPage = 2;
} // namespace protodata

// STORAGE_PROPERTY_QUERY carrying the protocol-specific data in AdditionalParameters; the
// buffer is this header plus the data length (the answer is written over it).
namespace protoquery {
inline constexpr std::size_t kPropertyId = 0, kQueryType = 4, kSpecific = 8, kHeaderSize = 52;
inline constexpr std::uint32_t kAdapterProperty = 49, kDeviceProperty = 50;
inline constexpr std::uint32_t kStandardQuery = 0;
} // namespace protoquery

// STORAGE_PROTOCOL_DATA_DESCRIPTOR, the answer.
namespace protodesc {
inline constexpr std::size_t kVersion = 0, kSize = 4, kSpecific = 8, kDescriptorSize = 48;
}

// ---- Protocol command

struct ProtocolRequest {
    bool admin = true;
    ByteView command; // 64 bytes
    DataDirection direction = DataDirection::kNone;
    ByteView dataOut;             // sent for kOut
    std::size_t dataInLength = 0; // asked for kIn
    bool wantErrorInfo = false;   // reserve the error-info area for the completion
};
// The zero-filled request buffer (input and output). 87 for a command that is not 64 bytes or
// a length beyond 32 bits.
ErrorCode BuildProtocolCommand(const ProtocolRequest& request, std::vector<std::uint8_t>& buffer);
// The answer in `buffer` (`returned` bytes came back). Success only when something came back,
// ReturnStatus says success and, when the error info was asked for, the completion in it has
// status 0. The completion (at most 16 bytes of the error info) is copied whenever the request
// came back; the data-in bytes only on success. 13 when nothing or too much came back, 1117
// when the device or driver reports the command failed.
ErrorCode ParseProtocolCommandAnswer(ByteView buffer, std::uint32_t returned, bool wantErrorInfo,
                                     MutableByteView dataIn, std::uint8_t* completion);

// A request as the device side sees it, checked against the buffer it came in.
struct ProtocolCommandView {
    bool admin = true;
    DataDirection direction = DataDirection::kNone;
    std::size_t dataOffset = 0, dataLength = 0;
    std::size_t errorInfoOffset = 0, errorInfoLength = 0;
};
// 87 for anything malformed (version, protocol, lengths, offsets outside the buffer, both
// directions at once).
ErrorCode DecodeProtocolCommand(ByteView buffer, ProtocolCommandView& out);

// ---- Protocol-specific property query

struct PropertyRequest {
    std::uint32_t propertyId = protoquery::kDeviceProperty;
    std::uint32_t dataType = protodata::kDataTypeIdentify;
    std::uint32_t requestValue = 0;
    std::uint32_t subValue = 0;
    std::uint32_t length = 0;
};
PropertyRequest IdentifyRequest(std::uint32_t nsid, std::uint8_t cns);
PropertyRequest LogPageRequest(std::uint8_t logId, std::uint32_t length);
std::vector<std::uint8_t> BuildPropertyQuery(const PropertyRequest& request);
// Copies `out.size()` bytes (the requested length) of a valid answer: something came back, the
// descriptor's Version and Size are 48, ProtocolDataOffset is at least 40, ProtocolDataLength
// does not exceed the requested length, and the copied bytes lie inside what came back.
// Otherwise 13.
ErrorCode ParsePropertyAnswer(ByteView buffer, std::uint32_t returned, MutableByteView out);

// Device side: kNotSupported for a query that is not a protocol-specific property (another
// property id, or not NVMe), 87 for a malformed one.
ErrorCode DecodePropertyQuery(ByteView buffer, PropertyRequest& out);
// Writes the answer descriptor and `data` into `out`; false when it does not fit. `returned`
// is the answer's length.
bool EncodePropertyAnswer(const PropertyRequest& request, ByteView data, MutableByteView out,
                          std::uint32_t& returned);

} // namespace tvd::w10nvme
