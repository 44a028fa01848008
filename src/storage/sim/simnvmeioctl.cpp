// The Windows 10 NVMe requests as the inbox driver answers them: protocol commands passed to
// the controller, and identify and log pages through the protocol-specific property query.
#include <algorithm>
#include <vector>

#include "storage/clnvme.h"
#include "storage/sim/simdevices.h"
#include "storage/w10nvmefun.h"

namespace tvd {
namespace {

ErrorCode ProtocolCommand(SimNvmeDevice& nvme, ByteView in, MutableByteView out,
                          std::uint32_t& returned) {
    using namespace w10nvme;
    // `in` and `out` may share memory: work on a copy.
    std::vector<std::uint8_t> req(in.begin(), in.end());
    ProtocolCommandView view;
    if (DecodeProtocolCommand(req, view) != err::kSuccess) return err::kInvalidParameter;
    if (out.size() < req.size()) return err::kInsufficientBuffer;
    if (!view.admin) return err::kInvalidFunction; // only the admin queue is simulated

    const MutableByteView data = MutableByteView(req).subspan(view.dataOffset, view.dataLength);
    std::uint8_t completion[kNvmeCompletionSize] = {};
    if (!nvme.Execute(ByteView(req).subspan(protocmd::kCommand, kNvmeCommandSize), view.direction,
                      data, completion))
        return err::kIoDevice;

    const bool ok = nvmecmd::CompletionOk(completion);
    StoreLe(MutableByteView(req), protocmd::kReturnStatus,
            ok ? protocmd::kStatusSuccess : protocmd::kStatusError);
    StoreLe(MutableByteView(req), protocmd::kErrorCode,
            std::uint32_t{nvmecmd::StatusField(completion)});
    StoreLe(MutableByteView(req), protocmd::kFixedProtocolReturnData,
            Le<std::uint32_t>(ByteView(completion), 0));
    if (view.errorInfoLength != 0) {
        const MutableByteView info =
            MutableByteView(req).subspan(view.errorInfoOffset, view.errorInfoLength);
        std::fill(info.begin(), info.end(), std::uint8_t{0});
        std::copy_n(completion, std::min(info.size(), kNvmeCompletionSize), info.begin());
    }
    std::copy(req.begin(), req.end(), out.begin());
    returned = static_cast<std::uint32_t>(req.size());
    return err::kSuccess;
}

ErrorCode ProtocolProperty(SimNvmeDevice& nvme, ByteView in, MutableByteView out,
                           std::uint32_t& returned) {
    using namespace w10nvme;
    PropertyRequest r;
    const ErrorCode e = DecodePropertyQuery(in, r);
    if (e != err::kSuccess) return e;

    std::vector<std::uint8_t> data(r.length, 0);
    nvmecmd::Command cmd;
    if (r.dataType == protodata::kDataTypeIdentify) {
        if (r.length < kNvmeDataSize || r.requestValue > 0xFF) return err::kInvalidParameter;
        data.resize(kNvmeDataSize);
        cmd = nvmecmd::Identify(r.subValue, static_cast<std::uint8_t>(r.requestValue));
    } else {
        if (r.requestValue > 0xFF || r.length % 4 != 0) return err::kInvalidParameter;
        cmd = nvmecmd::GetLogPage(static_cast<std::uint8_t>(r.requestValue), r.length / 4 - 1);
    }
    std::uint8_t completion[kNvmeCompletionSize] = {};
    if (!nvme.Execute(cmd, DataDirection::kIn, data, completion)) return err::kIoDevice;
    if (!nvmecmd::CompletionOk(completion)) return err::kIoDevice;
    if (!EncodePropertyAnswer(r, data, out, returned)) return err::kInsufficientBuffer;
    return err::kSuccess;
}

} // namespace

ErrorCode SimNvmeIoControl(SimNvmeDevice& nvme, std::uint32_t code, ByteView in,
                           MutableByteView out, std::uint32_t& returned) {
    returned = 0;
    switch (code) {
    case ioctl::kStorageProtocolCommand:
        return ProtocolCommand(nvme, in, out, returned);
    case ioctl::kStorageQueryProperty:
        return ProtocolProperty(nvme, in, out, returned);
    default:
        return err::kNotSupported;
    }
}

} // namespace tvd
