#include "storage/clnvme.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "storage/nvmeidentifyutil.h"
#include "storage/w10nvmefun.h"
#include "storage/winnvmeirstfun.h"
#include "storage/devicehandleutil.h"

namespace tvd {

// ---- Command blocks

namespace nvmecmd {
namespace {
inline constexpr std::size_t kOpcode = 0, kNsid = 4, kCdw10 = 40, kCdw11 = 44;
inline constexpr std::uint8_t kOpIdentify = 0x06, kOpGetLogPage = 0x02, kOpSecuritySend = 0x81,
                              kOpSecurityReceive = 0x82, kOpSanitize = 0x84;
inline constexpr std::uint32_t kAllNamespaces = 0xFFFFFFFFu;
inline constexpr std::size_t kStatus = 14;

Command Make(std::uint8_t opcode, std::uint32_t nsid, std::uint32_t cdw10, std::uint32_t cdw11) {
    Command c{};
    c[kOpcode] = opcode;
    StoreLe(MutableByteView(c), kNsid, nsid);
    StoreLe(MutableByteView(c), kCdw10, cdw10);
    StoreLe(MutableByteView(c), kCdw11, cdw11);
    return c;
}

std::uint32_t SecurityCdw10(std::uint8_t protocol, std::uint16_t protocolSpecific) {
    return (std::uint32_t{protocol} << 24) | (std::uint32_t{protocolSpecific} << 8);
}
} // namespace

Command Identify(std::uint32_t nsid, std::uint8_t cns) {
    return Make(kOpIdentify, nsid, cns, 0);
}

Command GetLogPage(std::uint8_t logId, std::uint32_t dwordsMinusOne) {
    return Make(kOpGetLogPage, kAllNamespaces, logId | ((dwordsMinusOne & 0xFFFu) << 16), 0);
}

Command SecurityReceive(std::uint8_t protocol, std::uint16_t protocolSpecific,
                        std::uint32_t allocationLength) {
    return Make(kOpSecurityReceive, 0, SecurityCdw10(protocol, protocolSpecific), allocationLength);
}

Command SecuritySend(std::uint8_t protocol, std::uint16_t protocolSpecific,
                     std::uint32_t transferLength) {
    return Make(kOpSecuritySend, 0, SecurityCdw10(protocol, protocolSpecific), transferLength);
}

Command Sanitize(std::uint32_t cdw10) {
    return Make(kOpSanitize, 0, cdw10, 0);
}

std::uint16_t StatusField(ByteView completion) {
    return Le<std::uint16_t>(completion, kStatus, 0xFFFF);
}
std::uint8_t StatusCode(ByteView completion) {
    return static_cast<std::uint8_t>((StatusField(completion) >> 1) & 0xFFu);
}
std::uint8_t StatusCodeType(ByteView completion) {
    return static_cast<std::uint8_t>((StatusField(completion) >> 9) & 0x7u);
}
bool CompletionOk(ByteView completion) {
    return completion.size() >= kNvmeCompletionSize && StatusCode(completion) == 0 &&
           StatusCodeType(completion) == 0;
}
} // namespace nvmecmd

// ---- clNvme

namespace {
std::unique_ptr<std::uint8_t[]> NewDataBuffer() {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[kNvmeDataSize]());
}
ByteView View(const std::unique_ptr<std::uint8_t[]>& p) {
    return p ? ByteView(p.get(), kNvmeDataSize) : ByteView{};
}
} // namespace

bool clNvme::IdentifyNvme(std::uint32_t nsid, std::uint8_t cns, MutableByteView buffer) {
    if (buffer.size() < kNvmeDataSize) return false;
    const auto cmd = nvmecmd::Identify(nsid, cns);
    return ExecDataIn(true, cmd, buffer.first(kNvmeDataSize), nullptr);
}

bool clNvme::GetLogPage(std::uint8_t logId, std::uint32_t dwordsMinusOne, MutableByteView buffer) {
    if (buffer.empty()) return false;
    const auto cmd = nvmecmd::GetLogPage(logId, dwordsMinusOne);
    return ExecDataIn(true, cmd, buffer, nullptr);
}

bool clNvme::SecurityReceive(std::uint8_t protocol, std::uint16_t protocolSpecific,
                             MutableByteView buffer) {
    if (!nvmeid::SecuritySupported(GetController()) || buffer.size() > 0xFFFFFFFFu) return false;
    const auto cmd = nvmecmd::SecurityReceive(protocol, protocolSpecific,
                                              static_cast<std::uint32_t>(buffer.size()));
    return ExecDataIn(true, cmd, buffer, nullptr);
}

bool clNvme::SecuritySend(std::uint8_t protocol, std::uint16_t protocolSpecific, ByteView buffer) {
    if (!nvmeid::SecuritySupported(GetController()) || buffer.size() > 0xFFFFFFFFu) return false;
    const auto cmd = nvmecmd::SecuritySend(protocol, protocolSpecific,
                                           static_cast<std::uint32_t>(buffer.size()));
    return ExecDataOut(true, cmd, buffer, nullptr);
}

ByteView clNvme::GetController() {
    if (controller_) return View(controller_);
    auto buf = NewDataBuffer();
    if (!buf) return {};
    const bool ok = IdentifyNvme(0, 1, MutableByteView(buf.get(), kNvmeDataSize));
    Close();
    if (!ok || !nvmeid::ControllerValid(View(buf))) return {};
    controller_ = std::move(buf);
    return View(controller_);
}

void clNvme::SetController(ByteView data) {
    if (data.size() < kNvmeDataSize) return;
    auto buf = NewDataBuffer();
    if (!buf) return;
    std::copy_n(data.begin(), kNvmeDataSize, buf.get());
    controller_ = std::move(buf);
}

ByteView clNvme::GetNamespace(std::uint32_t nsid) {
    if (namespace_ && namespaceId_ != 0 && nsid == namespaceId_) return View(namespace_);
    if (!namespace_) namespace_ = NewDataBuffer();
    if (!namespace_) {
        namespaceId_ = 0;
        return {};
    }
    if (!IdentifyNvme(nsid, 0, MutableByteView(namespace_.get(), kNvmeDataSize))) {
        namespaceId_ = 0;
        return {};
    }
    namespaceId_ = nsid;
    return View(namespace_);
}

std::uint32_t clNvme::FirstActiveNamespace() {
    std::vector<std::uint8_t> list(kNvmeDataSize, 0);
    if (!IdentifyNvme(0, 2, list)) return 0;
    return Le<std::uint32_t>(list, 0);
}

namespace {
bool TextOf(ByteView ctrl, std::string (*field)(ByteView), std::string& out) {
    out.clear();
    if (ctrl.empty()) return false;
    out = field(ctrl);
    return true;
}
} // namespace

bool clNvme::GetModel(std::string& out) {
    return TextOf(GetController(), nvmeid::Model, out);
}
bool clNvme::GetSerial(std::string& out) {
    return TextOf(GetController(), nvmeid::Serial, out);
}
bool clNvme::GetFirmware(std::string& out) {
    return TextOf(GetController(), nvmeid::Firmware, out);
}
std::uint16_t clNvme::PciVendorId() {
    return nvmeid::PciVendorId(GetController());
}
bool clNvme::SanitizeSupported() {
    return nvmeid::Sanicap(GetController()) != 0;
}

bool clNvme::Sanitize(std::uint32_t cdw10) {
    // A controller that does not announce SANITIZE never gets one.
    if (!SanitizeSupported()) return false;
    std::uint8_t completion[kNvmeCompletionSize] = {};
    const auto cmd = nvmecmd::Sanitize(cdw10);
    return ExecNonData(true, cmd, completion) && nvmecmd::CompletionOk(completion);
}

// ---- clWinNvme

void clWinNvme::Open() {
    if (handle_.IsOpen()) return;
    const ErrorCode e = OpenDevice(path_, handle_);
    lastError_ = e;
}

ErrorCode clWinNvme::Send(std::uint32_t code, ByteView in, MutableByteView out,
                          std::uint32_t& returned) {
    returned = 0;
    if (!handle_.IsOpen()) return err::kFileNotFound;
    return Storage().IoControl(handle_, code, in, out, returned);
}

// ---- clW10Nvme

namespace {
bool FitsIoBuffer(std::size_t n) {
    return n <= 0x7FFFFFFFu;
}
} // namespace

bool clW10Nvme::ExecNonData(bool admin, ByteView command, std::uint8_t* completion) {
    return Exec(admin, command, DataDirection::kNone, {}, {}, completion);
}
bool clW10Nvme::ExecDataIn(bool admin, ByteView command, MutableByteView data,
                           std::uint8_t* completion) {
    return Exec(admin, command, DataDirection::kIn, data, {}, completion);
}
bool clW10Nvme::ExecDataOut(bool admin, ByteView command, ByteView data, std::uint8_t* completion) {
    return Exec(admin, command, DataDirection::kOut, {}, data, completion);
}

bool clW10Nvme::Exec(bool admin, ByteView command, DataDirection dir, MutableByteView dataIn,
                     ByteView dataOut, std::uint8_t* completion) {
    if (completion) std::memset(completion, 0, kNvmeCompletionSize);
    Open();
    if (!IsOpen()) return Fail(err::kFileNotFound);
    w10nvme::ProtocolRequest req;
    req.admin = admin;
    req.command = command;
    req.direction = dir;
    req.dataOut = dataOut;
    req.dataInLength = dataIn.size();
    // The driver reports a command's own failure through the completion in the error info:
    // ask for it whenever the caller wants the completion.
    req.wantErrorInfo = completion != nullptr;
    std::vector<std::uint8_t> buf;
    ErrorCode e = w10nvme::BuildProtocolCommand(req, buf);
    if (e != err::kSuccess) return Fail(e);
    if (!FitsIoBuffer(buf.size())) return Fail(err::kNoSystemResources);
    std::uint32_t returned = 0;
    e = Send(ioctl::kStorageProtocolCommand, buf, buf, returned);
    if (e != err::kSuccess) return Fail(e);
    e = w10nvme::ParseProtocolCommandAnswer(buf, returned, req.wantErrorInfo, dataIn, completion);
    if (e != err::kSuccess) return Fail(e);
    Succeed();
    return true;
}

bool clW10Nvme::Query(const w10nvme::PropertyRequest& request, MutableByteView out) {
    Open();
    if (!IsOpen()) return Fail(err::kFileNotFound);
    std::vector<std::uint8_t> buf = w10nvme::BuildPropertyQuery(request);
    if (!FitsIoBuffer(buf.size())) return Fail(err::kNoSystemResources);
    std::uint32_t returned = 0;
    ErrorCode e = Send(ioctl::kStorageQueryProperty, buf, buf, returned);
    if (e != err::kSuccess) return Fail(e);
    e = w10nvme::ParsePropertyAnswer(buf, returned, out);
    if (e != err::kSuccess) return Fail(e);
    Succeed();
    return true;
}

bool clW10Nvme::IdentifyNvme(std::uint32_t nsid, std::uint8_t cns, MutableByteView buffer) {
    if (buffer.size() < kNvmeDataSize) return Fail(err::kInvalidParameter);
    return Query(w10nvme::IdentifyRequest(nsid, cns), buffer.first(kNvmeDataSize));
}

bool clW10Nvme::GetLogPage(std::uint8_t logId, std::uint32_t dwordsMinusOne,
                           MutableByteView buffer) {
    (void)dwordsMinusOne; // the driver sizes the request from the length
    if (buffer.empty() || buffer.size() > 0xFFFFFFFFu) return Fail(err::kInvalidParameter);
    return Query(w10nvme::LogPageRequest(logId, static_cast<std::uint32_t>(buffer.size())), buffer);
}

// ---- clWinNvmeIrst

clWinNvmeIrst::clWinNvmeIrst(const ScsiAddress& a)
    : clWinNvme("Scsi" + std::to_string(a.portNumber) + ":"), address(a) {}

bool clWinNvmeIrst::ExecDataIn(bool admin, ByteView command, MutableByteView data,
                               std::uint8_t* completion) {
    if (completion) std::memset(completion, 0, kNvmeCompletionSize);
    if (!admin || command.size() != kNvmeCommandSize || data.size() > irstnvme::layout::kDataSize)
        return Fail(err::kInvalidParameter);
    Open();
    if (!IsOpen()) return Fail(err::kFileNotFound);
    std::vector<std::uint8_t> buf = irstnvme::BuildRequest(address, command);
    std::uint32_t returned = 0;
    ErrorCode e = Send(ioctl::kScsiMiniport, buf, buf, returned);
    if (e != err::kSuccess) return Fail(e);
    e = irstnvme::ParseAnswer(buf, returned, data, completion);
    if (e != err::kSuccess) return Fail(e);
    Succeed();
    return true;
}

// ---- clPlatformNvme

void clPlatformNvme::Open() {
    if (handle_.IsOpen()) return;
    lastError_ = OpenDevice(path_, handle_);
}

bool clPlatformNvme::ExecNonData(bool admin, ByteView command, std::uint8_t* completion) {
    return Exec(admin, command, DataDirection::kNone, {}, completion);
}

bool clPlatformNvme::ExecDataIn(bool admin, ByteView command, MutableByteView data,
                                std::uint8_t* completion) {
    return Exec(admin, command, DataDirection::kIn, data, completion);
}

bool clPlatformNvme::ExecDataOut(bool admin, ByteView command, ByteView data,
                                 std::uint8_t* completion) {
    // The request's buffer is writable; the caller's data stays untouched.
    std::vector<std::uint8_t> copy(data.begin(), data.end());
    return Exec(admin, command, DataDirection::kOut, copy, completion);
}

bool clPlatformNvme::Exec(bool admin, ByteView command, DataDirection dir, MutableByteView data,
                          std::uint8_t* completion) {
    if (completion) std::memset(completion, 0, kNvmeCompletionSize);
    if (command.size() != kNvmeCommandSize) {
        lastError_ = err::kInvalidParameter;
        return false;
    }
    Open();
    if (!handle_.IsOpen()) {
        if (lastError_ == err::kSuccess) lastError_ = err::kFileNotFound;
        return false;
    }
    NvmeCommandRequest req;
    req.admin = admin;
    std::copy(command.begin(), command.end(), req.command);
    req.direction = data.empty() ? DataDirection::kNone : dir;
    req.data = data;
    req.timeoutSeconds = timeout_;
    const ErrorCode e = Storage().NvmeCommand(handle_, req);
    if (e != err::kSuccess) {
        lastError_ = e;
        return false;
    }
    if (completion) std::copy_n(req.completion, kNvmeCompletionSize, completion);
    if (!nvmecmd::CompletionOk(req.completion)) {
        lastError_ = err::kIoDevice;
        return false;
    }
    lastError_ = err::kSuccess;
    return true;
}

} // namespace tvd
