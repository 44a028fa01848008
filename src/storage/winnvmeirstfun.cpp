#include "storage/winnvmeirstfun.h"

#include <algorithm>

#include "storage/clnvme.h"

namespace tvd::irstnvme {

std::vector<std::uint8_t> BuildRequest(const ScsiAddress& address, ByteView command) {
    using namespace layout;
    std::vector<std::uint8_t> b(kSize, 0);
    const MutableByteView v(b);
    StoreLe(v, srbio::kHeaderLength, static_cast<std::uint32_t>(srbio::kSize));
    std::copy_n(kSignature, srbio::kSignatureSize, b.begin() + srbio::kSignature);
    StoreLe(v, srbio::kTimeout, kTimeoutSeconds);
    StoreLe(v, srbio::kControlCode, kControlCode);
    StoreLe(v, srbio::kLength, static_cast<std::uint32_t>(kSize - srbio::kSize));
    b[kVersion] = kVersionValue;
    b[kPathId] = address.pathId;
    b[kTargetId] = address.targetId;
    b[kLun] = address.lun;
    if (command.size() == kNvmeCommandSize)
        std::copy(command.begin(), command.end(), b.begin() + kCommand);
    StoreLe(v, kDataOffset, static_cast<std::uint32_t>(kData));
    StoreLe(v, kDataLength, static_cast<std::uint32_t>(kDataSize));
    return b;
}

ErrorCode ParseAnswer(ByteView buffer, std::uint32_t returned, MutableByteView data,
                      std::uint8_t* completion) {
    using namespace layout;
    if (data.size() > kDataSize) return err::kInvalidParameter;
    if (returned == 0 || buffer.size() < kSize) return err::kInvalidData;
    const ByteView cqe = buffer.subspan(kCompletion, kNvmeCompletionSize);
    if (completion) std::copy(cqe.begin(), cqe.end(), completion);
    if (!nvmecmd::CompletionOk(cqe)) return err::kIoDevice;
    const ByteView src = buffer.subspan(kData, data.size());
    std::copy(src.begin(), src.end(), data.begin());
    return err::kSuccess;
}

} // namespace tvd::irstnvme
