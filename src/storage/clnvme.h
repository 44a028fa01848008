// The NVMe command interface: admin commands described by the 64-byte submission-queue entry,
// sent by one implementation per platform path, and the operations built on them (identify
// controller and namespace with their caches, the active namespace list, log pages, security
// send/receive, SANITIZE, model/serial/firmware).
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/bytesutil.h"
#include "foundation/clzoltitem.h"
#include "storage/commandtypes.h"
#include "storage/storageplatform.h"

namespace tvd {

namespace w10nvme {
struct PropertyRequest;
}

class clNvme {
public:
    TVD_ISA_ROOT(clNvme)

    clNvme() = default;
    clNvme(const clNvme&) = delete;
    clNvme& operator=(const clNvme&) = delete;
    virtual ~clNvme() = default;

    virtual void Open() {}
    virtual void Close() {}
    // `completion` (optional, 16 bytes) receives the completion-queue entry.
    virtual bool ExecNonData(bool admin, ByteView command, std::uint8_t* completion) {
        (void)admin;
        (void)command;
        (void)completion;
        return false;
    }
    virtual bool ExecDataIn(bool admin, ByteView command, MutableByteView data,
                            std::uint8_t* completion) {
        (void)admin;
        (void)command;
        (void)data;
        (void)completion;
        return false;
    }
    virtual bool ExecDataOut(bool admin, ByteView command, ByteView data,
                             std::uint8_t* completion) {
        (void)admin;
        (void)command;
        (void)data;
        (void)completion;
        return false;
    }
    virtual bool IdentifyNvme(std::uint32_t nsid, std::uint8_t cns, MutableByteView buffer);
    virtual bool GetLogPage(std::uint8_t logId, std::uint32_t dwordsMinusOne,
                            MutableByteView buffer);
    virtual bool SecurityReceive(std::uint8_t protocol, std::uint16_t protocolSpecific,
                                 MutableByteView buffer);
    virtual bool SecuritySend(std::uint8_t protocol, std::uint16_t protocolSpecific,
                              ByteView buffer);

    // Cached IDENTIFY CONTROLLER data (4096 bytes); empty when none. First use identifies,
    // keeps only a plausible answer (not all zero) and closes; a failure is retried next time.
    ByteView GetController();
    // Sets the cache from data the interface choice already read (4096 bytes).
    void SetController(ByteView data);
    // IDENTIFY NAMESPACE of `nsid`; the same NSID twice issues one identify.
    ByteView GetNamespace(std::uint32_t nsid);
    std::uint32_t FirstActiveNamespace();
    bool GetModel(std::string& out);    // bytes 24-63
    bool GetSerial(std::string& out);   // bytes 4-23
    bool GetFirmware(std::string& out); // bytes 64-71
    std::uint16_t PciVendorId();        // 0 without controller data
    bool SanitizeSupported();           // SANICAP non-zero
    // SANITIZE with the action value; true when the request succeeds and the completion's
    // status code is 0.
    bool Sanitize(std::uint32_t cdw10);

    std::uint32_t NamespaceId() const noexcept { return namespaceId_; }

private:
    std::unique_ptr<std::uint8_t[]> controller_; // kNvmeDataSize bytes when set
    std::uint32_t namespaceId_ = 0;
    std::unique_ptr<std::uint8_t[]> namespace_;
};

// The 64-byte commands this layer builds (pure; tested byte by byte).
namespace nvmecmd {
using Command = std::array<std::uint8_t, kNvmeCommandSize>;
Command Identify(std::uint32_t nsid, std::uint8_t cns);
Command GetLogPage(std::uint8_t logId, std::uint32_t dwordsMinusOne);
Command SecurityReceive(std::uint8_t protocol, std::uint16_t protocolSpecific,
                        std::uint32_t allocationLength);
Command SecuritySend(std::uint8_t protocol, std::uint16_t protocolSpecific,
                     std::uint32_t transferLength);
Command Sanitize(std::uint32_t cdw10);
// The status field of a completion (bytes 14-15) and its status code (bits 1-8) and type
// (bits 9-11).
std::uint16_t StatusField(ByteView completion);
std::uint8_t StatusCode(ByteView completion);
std::uint8_t StatusCodeType(ByteView completion);
// Success by the completion alone: status code and status code type both 0.
bool CompletionOk(ByteView completion);
} // namespace nvmecmd

// A path with an open handle on Windows disk or port paths.
class clWinNvme : public clNvme {
public:
    TVD_ISA(clWinNvme, clNvme)

    explicit clWinNvme(std::string path) : path_(std::move(path)) {}
    ~clWinNvme() override { Close(); }
    // Opens the path (read/write, then read-only) when not open yet.
    void Open() override;
    void Close() override { handle_.Close(); }

    const std::string& Path() const noexcept { return path_; }
    bool IsOpen() const noexcept { return handle_.IsOpen(); }
    // Internal error of the last request: 2 no handle, 1450 no buffer, 13 no or inconsistent
    // data, otherwise the platform's.
    ErrorCode LastError() const noexcept { return lastError_; }

protected:
    ErrorCode Send(std::uint32_t code, ByteView in, MutableByteView out, std::uint32_t& returned);
    bool Fail(ErrorCode e) noexcept {
        lastError_ = e;
        return false;
    }
    void Succeed() noexcept { lastError_ = err::kSuccess; }

private:
    std::string path_;
    DeviceHandle handle_;
    ErrorCode lastError_ = err::kSuccess;
};

// The Windows 10 storage protocol requests of the inbox driver: commands through
// IOCTL_STORAGE_PROTOCOL_COMMAND, identify and log pages through the protocol-specific
// property query.
class clW10Nvme : public clWinNvme {
public:
    TVD_ISA(clW10Nvme, clWinNvme)
    using clWinNvme::clWinNvme;

    bool ExecNonData(bool admin, ByteView command, std::uint8_t* completion) override;
    bool ExecDataIn(bool admin, ByteView command, MutableByteView data,
                    std::uint8_t* completion) override;
    bool ExecDataOut(bool admin, ByteView command, ByteView data,
                     std::uint8_t* completion) override;
    bool IdentifyNvme(std::uint32_t nsid, std::uint8_t cns, MutableByteView buffer) override;
    bool GetLogPage(std::uint8_t logId, std::uint32_t dwordsMinusOne,
                    MutableByteView buffer) override;

private:
    bool Exec(bool admin, ByteView command, DataDirection dir, MutableByteView dataIn,
              ByteView dataOut, std::uint8_t* completion);
    bool Query(const w10nvme::PropertyRequest& request, MutableByteView out);
};

// Intel RST miniport pass-through on the controller's SCSI port ("Scsi<port>:"): admin
// data-in commands only, at most 4096 bytes.
class clWinNvmeIrst : public clWinNvme {
public:
    TVD_ISA(clWinNvmeIrst, clWinNvme)
    explicit clWinNvmeIrst(const ScsiAddress& address);

    bool ExecDataIn(bool admin, ByteView command, MutableByteView data,
                    std::uint8_t* completion) override;

    ScsiAddress address;
};

// Admin commands through the back end's NVMe pass-through (Linux NVME_IOCTL_ADMIN_CMD, the
// simulation). A command succeeds only when the platform delivered it and its completion
// status is 0.
class clPlatformNvme : public clNvme {
public:
    TVD_ISA(clPlatformNvme, clNvme)

    explicit clPlatformNvme(std::string path) : path_(std::move(path)) {}
    ~clPlatformNvme() override { Close(); }
    void Open() override;
    void Close() override { handle_.Close(); }

    bool ExecNonData(bool admin, ByteView command, std::uint8_t* completion) override;
    bool ExecDataIn(bool admin, ByteView command, MutableByteView data,
                    std::uint8_t* completion) override;
    bool ExecDataOut(bool admin, ByteView command, ByteView data,
                     std::uint8_t* completion) override;

    const std::string& Path() const noexcept { return path_; }
    ErrorCode LastError() const noexcept { return lastError_; }
    void SetTimeout(std::uint32_t seconds) noexcept { timeout_ = seconds; }

private:
    bool Exec(bool admin, ByteView command, DataDirection dir, MutableByteView data,
              std::uint8_t* completion);

    std::string path_;
    DeviceHandle handle_;
    ErrorCode lastError_ = err::kSuccess;
    std::uint32_t timeout_ = 10;
};

} // namespace tvd
