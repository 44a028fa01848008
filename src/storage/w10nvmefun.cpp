#include "storage/w10nvmefun.h"

#include <algorithm>
#include <limits>

#include "storage/clnvme.h"

namespace tvd::w10nvme {
namespace {

inline constexpr std::uint32_t kMax32 = std::numeric_limits<std::uint32_t>::max();

void Put(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v) {
    StoreLe(MutableByteView(b), off, v);
}

std::uint32_t U32(ByteView b, std::size_t off) {
    return Le<std::uint32_t>(b, off);
}

} // namespace

// ---- Protocol command

ErrorCode BuildProtocolCommand(const ProtocolRequest& r, std::vector<std::uint8_t>& buffer) {
    using namespace protocmd;
    buffer.clear();
    if (r.command.size() != kNvmeCommandSize) return err::kInvalidParameter;
    std::size_t toDevice = 0, fromDevice = 0;
    if (r.direction == DataDirection::kOut) toDevice = r.dataOut.size();
    if (r.direction == DataDirection::kIn) fromDevice = r.dataInLength;
    const std::size_t errorInfo = r.wantErrorInfo ? kErrorInfoSize : 0;
    const std::size_t dataOffset = kHeaderSize + errorInfo;
    const std::size_t length = toDevice + fromDevice;
    if (length > kMax32 - dataOffset) return err::kInvalidParameter;

    buffer.assign(dataOffset + length, 0);
    Put(buffer, kVersion, kStructureVersion);
    Put(buffer, kLength, static_cast<std::uint32_t>(kStructSize));
    Put(buffer, kProtocolType, kProtocolNvme);
    Put(buffer, kFlags, kFlagAdapterRequest);
    Put(buffer, kCommandLength, static_cast<std::uint32_t>(kNvmeCommandSize));
    Put(buffer, kErrorInfoLength, static_cast<std::uint32_t>(errorInfo));
    Put(buffer, kDataToDeviceLength, static_cast<std::uint32_t>(toDevice));
    Put(buffer, kDataFromDeviceLength, static_cast<std::uint32_t>(fromDevice));
    Put(buffer, kTimeOutValue, kTimeoutSeconds);
    if (errorInfo) Put(buffer, kErrorInfoOffset, static_cast<std::uint32_t>(kHeaderSize));
    if (toDevice) Put(buffer, kDataToDeviceOffset, static_cast<std::uint32_t>(dataOffset));
    if (fromDevice) Put(buffer, kDataFromDeviceOffset, static_cast<std::uint32_t>(dataOffset));
    Put(buffer, kCommandSpecific, r.admin ? kAdminCommand : kNvmCommand);
    std::copy(r.command.begin(), r.command.end(), buffer.begin() + kCommand);
    if (toDevice) std::copy(r.dataOut.begin(), r.dataOut.end(), buffer.begin() + dataOffset);
    return err::kSuccess;
}

ErrorCode ParseProtocolCommandAnswer(ByteView buffer, std::uint32_t returned, bool wantErrorInfo,
                                     MutableByteView dataIn, std::uint8_t* completion) {
    using namespace protocmd;
    if (returned == 0 || returned > buffer.size() || buffer.size() < kHeaderSize)
        return err::kInvalidData;
    const std::size_t dataOffset = kHeaderSize + (wantErrorInfo ? kErrorInfoSize : 0);
    if (!InBounds(buffer.size(), dataOffset, dataIn.size())) return err::kInvalidData;

    bool completionOk = true;
    if (wantErrorInfo) {
        const ByteView info = buffer.subspan(kHeaderSize, kNvmeCompletionSize);
        if (completion) std::copy(info.begin(), info.end(), completion);
        // Left zero-filled when the driver had nothing to report: status 0.
        completionOk = nvmecmd::CompletionOk(info);
    }
    if (U32(buffer, kReturnStatus) != kStatusSuccess || !completionOk) return err::kIoDevice;
    if (!dataIn.empty()) {
        const ByteView src = buffer.subspan(dataOffset, dataIn.size());
        std::copy(src.begin(), src.end(), dataIn.begin());
    }
    return err::kSuccess;
}

ErrorCode DecodeProtocolCommand(ByteView b, ProtocolCommandView& out) {
    using namespace protocmd;
    out = ProtocolCommandView{};
    if (b.size() < kHeaderSize || U32(b, kVersion) != kStructureVersion ||
        U32(b, kLength) != kStructSize || U32(b, kProtocolType) != kProtocolNvme ||
        U32(b, kCommandLength) != kNvmeCommandSize)
        return err::kInvalidParameter;
    const std::uint32_t kind = U32(b, kCommandSpecific);
    if (kind != kAdminCommand && kind != kNvmCommand) return err::kInvalidParameter;
    out.admin = kind == kAdminCommand;

    const std::uint32_t toLen = U32(b, kDataToDeviceLength);
    const std::uint32_t fromLen = U32(b, kDataFromDeviceLength);
    if (toLen != 0 && fromLen != 0) return err::kInvalidParameter;
    out.errorInfoLength = U32(b, kErrorInfoLength);
    out.errorInfoOffset = out.errorInfoLength ? U32(b, kErrorInfoOffset) : 0;
    if (out.errorInfoLength != 0 && (out.errorInfoOffset < kHeaderSize ||
                                     !InBounds(b.size(), out.errorInfoOffset, out.errorInfoLength)))
        return err::kInvalidParameter;
    if (toLen != 0) {
        out.direction = DataDirection::kOut;
        out.dataOffset = U32(b, kDataToDeviceOffset);
        out.dataLength = toLen;
    } else if (fromLen != 0) {
        out.direction = DataDirection::kIn;
        out.dataOffset = U32(b, kDataFromDeviceOffset);
        out.dataLength = fromLen;
    }
    if (out.dataLength != 0 &&
        (out.dataOffset < kHeaderSize || !InBounds(b.size(), out.dataOffset, out.dataLength)))
        return err::kInvalidParameter;
    return err::kSuccess;
}

// ---- Protocol-specific property query

PropertyRequest IdentifyRequest(std::uint32_t nsid, std::uint8_t cns) {
    PropertyRequest r;
    r.propertyId = cns == 1 ? protoquery::kAdapterProperty : protoquery::kDeviceProperty;
    r.dataType = protodata::kDataTypeIdentify;
    r.requestValue = cns;
    r.subValue = nsid;
    r.length = static_cast<std::uint32_t>(kNvmeDataSize);
    return r;
}

PropertyRequest LogPageRequest(std::uint8_t logId, std::uint32_t length) {
    PropertyRequest r;
    r.propertyId = protoquery::kDeviceProperty;
    r.dataType = protodata::kDataTypeLogPage;
    r.requestValue = logId;
    r.subValue = 0;
    r.length = length;
    return r;
}

std::vector<std::uint8_t> BuildPropertyQuery(const PropertyRequest& r) {
    constexpr std::size_t s = protoquery::kSpecific;
    std::vector<std::uint8_t> b(protoquery::kHeaderSize + std::size_t{r.length}, 0);
    Put(b, protoquery::kPropertyId, r.propertyId);
    Put(b, protoquery::kQueryType, protoquery::kStandardQuery);
    Put(b, s + protodata::kProtocolType, protocmd::kProtocolNvme);
    Put(b, s + protodata::kDataType, r.dataType);
    Put(b, s + protodata::kRequestValue, r.requestValue);
    Put(b, s + protodata::kRequestSubValue, r.subValue);
    Put(b, s + protodata::kDataOffset, static_cast<std::uint32_t>(protodata::kSize));
    Put(b, s + protodata::kDataLength, r.length);
    return b;
}

ErrorCode ParsePropertyAnswer(ByteView buffer, std::uint32_t returned, MutableByteView out) {
    constexpr std::size_t s = protodesc::kSpecific;
    if (returned == 0 || returned > buffer.size()) return err::kInvalidData;
    const ByteView answer = buffer.first(returned);
    std::uint32_t version = 0, size = 0, offset = 0, length = 0;
    if (!LoadLe(answer, protodesc::kVersion, version) || !LoadLe(answer, protodesc::kSize, size) ||
        !LoadLe(answer, s + protodata::kDataOffset, offset) ||
        !LoadLe(answer, s + protodata::kDataLength, length))
        return err::kInvalidData;
    if (version != protodesc::kDescriptorSize || size != protodesc::kDescriptorSize ||
        offset < protodata::kSize || length > out.size())
        return err::kInvalidData;
    // The copy must come from what the driver actually returned.
    if (!InBounds(answer.size(), s + std::size_t{offset}, out.size())) return err::kInvalidData;
    const ByteView src = answer.subspan(s + offset, out.size());
    std::copy(src.begin(), src.end(), out.begin());
    return err::kSuccess;
}

ErrorCode DecodePropertyQuery(ByteView b, PropertyRequest& out) {
    constexpr std::size_t s = protoquery::kSpecific;
    out = PropertyRequest{};
    std::uint32_t id = 0;
    if (!LoadLe(b, protoquery::kPropertyId, id)) return err::kInvalidParameter;
    if (id != protoquery::kAdapterProperty && id != protoquery::kDeviceProperty)
        return err::kNotSupported;
    if (b.size() < s + protodata::kSize) return err::kInvalidParameter;
    if (U32(b, s + protodata::kProtocolType) != protocmd::kProtocolNvme) return err::kNotSupported;
    if (U32(b, protoquery::kQueryType) != protoquery::kStandardQuery) return err::kInvalidParameter;
    out.propertyId = id;
    out.dataType = U32(b, s + protodata::kDataType);
    out.requestValue = U32(b, s + protodata::kRequestValue);
    out.subValue = U32(b, s + protodata::kRequestSubValue);
    out.length = U32(b, s + protodata::kDataLength);
    const std::uint32_t offset = U32(b, s + protodata::kDataOffset);
    if (out.dataType != protodata::kDataTypeIdentify && out.dataType != protodata::kDataTypeLogPage)
        return err::kInvalidParameter;
    if (out.length == 0 || offset < protodata::kSize ||
        !InBounds(b.size(), s + std::size_t{offset}, out.length))
        return err::kInvalidParameter;
    return err::kSuccess;
}

bool EncodePropertyAnswer(const PropertyRequest& r, ByteView data, MutableByteView out,
                          std::uint32_t& returned) {
    constexpr std::size_t s = protodesc::kSpecific;
    returned = 0;
    const std::size_t dataAt = protodesc::kDescriptorSize;
    if (!InBounds(out.size(), dataAt, data.size()) || data.size() > kMax32 - dataAt) return false;
    std::fill(out.begin(), out.begin() + dataAt, std::uint8_t{0});
    StoreLe(out, protodesc::kVersion, static_cast<std::uint32_t>(protodesc::kDescriptorSize));
    StoreLe(out, protodesc::kSize, static_cast<std::uint32_t>(protodesc::kDescriptorSize));
    StoreLe(out, s + protodata::kProtocolType, protocmd::kProtocolNvme);
    StoreLe(out, s + protodata::kDataType, r.dataType);
    StoreLe(out, s + protodata::kRequestValue, r.requestValue);
    StoreLe(out, s + protodata::kRequestSubValue, r.subValue);
    StoreLe(out, s + protodata::kDataOffset, static_cast<std::uint32_t>(protodata::kSize));
    StoreLe(out, s + protodata::kDataLength, static_cast<std::uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), out.begin() + dataAt);
    returned = static_cast<std::uint32_t>(dataAt + data.size());
    return true;
}

} // namespace tvd::w10nvme
