// Command pass-through of the Linux back end: SCSI CDBs through SG_IO (which also carries ATA
// commands to libata's SCSI/ATA Translation) and NVMe commands through the NVMe driver's
// pass-through requests.
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <limits>

#include "storage/linux/linuxstorage.h"

namespace tvd {

namespace {

constexpr std::uint8_t kDriverSense = 0x08; // DRIVER_SENSE: sense data came back, not an error
constexpr std::uint16_t kDidTimeOut = 0x03; // DID_TIME_OUT

// The offsets of the submission-queue entry the pass-through request is filled from.
struct NvmeSqeLayout {
    static constexpr std::size_t kOpcode = 0, kFlags = 1, kNsid = 4, kCdw2 = 8, kCdw3 = 12,
                                 kCdw10 = 40;
};
static_assert(NvmeSqeLayout::kCdw10 + 6 * 4 == kNvmeCommandSize);
static_assert(sizeof(nvme_admin_cmd) == 72 && offsetof(nvme_admin_cmd, cdw10) == 40 &&
              offsetof(nvme_admin_cmd, result) == 68);

std::uint32_t TimeoutMs(std::uint32_t seconds) {
    constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max() / 1000;
    return std::min(seconds, kMax) * 1000;
}

} // namespace

namespace linuxsys {

ErrorCode ScsiIoctl(int fd, ScsiCommandRequest& r) {
    r.status = 0xFF;
    r.transferred = 0;
    r.senseLength = 0;
    if (fd < 0) return err::kInvalidHandle;
    if (r.cdb.size() < 6 || r.cdb.size() > 16 ||
        r.data.size() > std::numeric_limits<unsigned int>::max())
        return err::kInvalidParameter;
    const bool moves = r.direction != DataDirection::kNone && !r.data.empty();
    std::uint8_t cdb[16] = {};
    std::memcpy(cdb, r.cdb.data(), r.cdb.size());

    sg_io_hdr_t hdr{};
    hdr.interface_id = 'S';
    hdr.dxfer_direction = !moves                              ? SG_DXFER_NONE
                          : r.direction == DataDirection::kIn ? SG_DXFER_FROM_DEV
                                                              : SG_DXFER_TO_DEV;
    hdr.cmd_len = static_cast<unsigned char>(r.cdb.size());
    hdr.cmdp = cdb;
    hdr.dxfer_len = moves ? static_cast<unsigned int>(r.data.size()) : 0;
    hdr.dxferp = moves ? r.data.data() : nullptr;
    hdr.mx_sb_len = sizeof(r.sense);
    hdr.sbp = r.sense;
    hdr.timeout = TimeoutMs(r.timeoutSeconds);
    if (::ioctl(fd, SG_IO, &hdr) != 0) return ErrorFromErrno(errno);

    r.senseLength = static_cast<std::uint8_t>(std::min<unsigned>(hdr.sb_len_wr, sizeof(r.sense)));
    if (hdr.host_status == kDidTimeOut) return err::kTimeout;
    const std::uint8_t driver = hdr.driver_status & 0x0F;
    if (hdr.host_status != 0 || (driver != 0 && driver != kDriverSense)) return err::kIoDevice;
    r.status = hdr.status;
    const int resid = std::clamp<int>(hdr.resid, 0, static_cast<int>(hdr.dxfer_len));
    r.transferred = hdr.dxfer_len - static_cast<unsigned>(resid);
    return err::kSuccess;
}

ErrorCode NvmeIoctl(int fd, NvmeCommandRequest& r) {
    std::memset(r.completion, 0, sizeof(r.completion));
    if (fd < 0) return err::kInvalidHandle;
    if (r.data.size() > std::numeric_limits<std::uint32_t>::max()) return err::kInvalidParameter;
    const ByteView sqe(r.command, sizeof(r.command));
    const bool moves = r.direction != DataDirection::kNone && !r.data.empty();

    nvme_admin_cmd cmd{};
    cmd.opcode = sqe[NvmeSqeLayout::kOpcode];
    cmd.flags = sqe[NvmeSqeLayout::kFlags];
    cmd.nsid = Le<std::uint32_t>(sqe, NvmeSqeLayout::kNsid);
    cmd.cdw2 = Le<std::uint32_t>(sqe, NvmeSqeLayout::kCdw2);
    cmd.cdw3 = Le<std::uint32_t>(sqe, NvmeSqeLayout::kCdw3);
    // The metadata and data pointers of the entry mean nothing here: the driver maps the
    // request's own buffer, and no separate metadata buffer is ever passed.
    cmd.addr = moves ? reinterpret_cast<std::uintptr_t>(r.data.data()) : 0;
    cmd.data_len = moves ? static_cast<std::uint32_t>(r.data.size()) : 0;
    std::uint32_t* cdw[] = {&cmd.cdw10, &cmd.cdw11, &cmd.cdw12, &cmd.cdw13, &cmd.cdw14, &cmd.cdw15};
    for (std::size_t i = 0; i < 6; ++i)
        *cdw[i] = Le<std::uint32_t>(sqe, NvmeSqeLayout::kCdw10 + 4 * i);
    cmd.timeout_ms = TimeoutMs(r.timeoutSeconds);

    const int ret = ::ioctl(fd, r.admin ? NVME_IOCTL_ADMIN_CMD : NVME_IOCTL_IO_CMD, &cmd);
    if (ret < 0) return ErrorFromErrno(errno);
    const MutableByteView cqe(r.completion, sizeof(r.completion));
    StoreLe<std::uint32_t>(cqe, 0, cmd.result);
    // A positive answer is the completion's status field without its phase bit.
    StoreLe<std::uint16_t>(cqe, 14, static_cast<std::uint16_t>(ret << 1));
    return err::kSuccess;
}

} // namespace linuxsys

ErrorCode LinuxStorage::ScsiCommand(DeviceHandle& h, ScsiCommandRequest& request) {
    if (!h.IsOpen()) return err::kInvalidHandle;
    return linuxsys::ScsiIoctl(linuxsys::HandleFd(h), request);
}

ErrorCode LinuxStorage::NvmeCommand(DeviceHandle& h, NvmeCommandRequest& request) {
    if (!h.IsOpen()) return err::kInvalidHandle;
    return linuxsys::NvmeIoctl(linuxsys::HandleFd(h), request);
}

} // namespace tvd
