#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/clicommands.h"
#include "cli/clierror.h"
#include "cli/storagesession.h"
#include "cli/textformat.h"
#include "foundation/fileutil.h"
#include "storage/ataidentifyutil.h"
#include "storage/clata.h"
#include "storage/nvmeidentifyutil.h"
#include "storage/storageplatform.h"
#include "storage/sim/simdrivespec.h"
#include "storage/devicehandleutil.h"

namespace tvd::cli {

namespace {

constexpr std::uint16_t kSmartStatusOk = 0x4FC2;       // LBA mid 4F, high C2
constexpr std::uint16_t kSmartStatusExceeded = 0xF42C; // LBA mid F4, high 2C
constexpr std::uint8_t kNvmeHealthLog = 0x02;

// Hex byte pairs without the trailing zero bytes, which the simulation pads back.
std::string HexBlock(ByteView b) {
    std::size_t n = b.size();
    while (n > 0 && b[n - 1] == 0)
        --n;
    return HexBytes(b.first(n));
}

// A value on one INI line: line breaks would end it early.
std::string OneLine(std::string s) {
    std::replace_if(
        s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return s;
}

class DriveFile {
public:
    void Section(const char* name) {
        text_ += std::string(text_.empty() ? "" : "\n") + "[" + name + "]\n";
    }
    void Comment(const std::string& text) { text_ += "; " + OneLine(text) + "\n"; }
    void Key(const std::string& key, const std::string& value) {
        if (value.empty()) return;
        text_ += key + "=" + OneLine(value) + "\n";
    }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

std::string DriveFileOf(DriveInterfaces& d) {
    clDisk* disk = d.disk;
    const ByteView identify(d.identify.data(), d.identify.size());
    const ByteView ctrl(d.controller.data(), d.controller.size());
    const ScsiIdentity scsi = DecodeInquiry(ByteView(
        d.scsi.inquiry, std::min<std::size_t>(d.scsi.inquiryLength, sizeof d.scsi.inquiry)));
    const bool hasAta = d.ata && !identify.empty();
    const bool hasNvme = d.nvme && !ctrl.empty();

    std::string model = scsi.product, serial, firmware = scsi.revision, vendor = scsi.vendor;
    if (hasAta) {
        model = Trimmed(ataid::Model(identify));
        serial = Trimmed(ataid::Serial(identify));
        firmware = Trimmed(ataid::Firmware(identify));
        vendor.clear();
    } else if (hasNvme) {
        model = Trimmed(nvmeid::Model(ctrl));
        serial = Trimmed(nvmeid::Serial(ctrl));
        firmware = Trimmed(nvmeid::Firmware(ctrl));
        vendor.clear();
    }

    DriveFile f;
    const char* path = disk->GetPath();
    f.Comment(std::string("captured from ") + (path ? path : "a drive") + " by tarvikdorn dump");
    // Said rather than silently lost: a drive made from this file differs from the original here.
    f.Comment("not captured: the partition table and the data (the image starts empty), and the "
              "USB device the drive hangs on");
    f.Section("Drive");
    f.Key("Bus", SimBusName(disk->GetBusType()));
    f.Key("Vendor", vendor);
    f.Key("Model", model);
    f.Key("Serial", serial);
    f.Key("Firmware", firmware);
    if (const std::uint64_t capacity = disk->GetCapacity())
        f.Key("Capacity", std::to_string(capacity));
    if (const std::uint32_t sector = disk->GetSectorSize())
        f.Key("SectorSize", std::to_string(sector));
    if (disk->IsRemovable()) f.Key("Removable", "1");
    if (DeviceHandle h; path && OpenDevice(path, h) == err::kSuccess) {
        bool trim = false;
        if (Storage().QueryTrimEnabled(h, trim) == err::kSuccess && trim) f.Key("Trim", "1");
    }
    PciLinkInfo link;
    if (const std::uint32_t controller = Storage().ControllerOf(disk->DevInst());
        controller && Storage().GetPciLink(controller, link) == err::kSuccess &&
        (link.currentSpeed || link.currentWidth)) {
        f.Section("Pci");
        f.Key("Speed", std::to_string(link.currentSpeed));
        f.Key("Width", std::to_string(link.currentWidth));
        f.Key("MaxSpeed", std::to_string(link.maxSpeed));
        f.Key("MaxWidth", std::to_string(link.maxWidth));
    }

    if (hasAta) {
        f.Section("Ata");
        f.Key("Identify", HexBlock(identify));
        std::vector<std::uint8_t> buffer(kAtaSectorSize);
        if (d.ata->SmartReadData(buffer)) f.Key("SmartData", HexBlock(buffer));
        std::fill(buffer.begin(), buffer.end(), 0);
        if (d.ata->SmartReadThresholds(buffer)) f.Key("SmartThresholds", HexBlock(buffer));
        const std::uint16_t status = d.ata->SmartReturnStatus();
        if (status == kSmartStatusOk) f.Key("SmartStatus", "ok");
        if (status == kSmartStatusExceeded) f.Key("SmartStatus", "exceeded");
    }
    if (hasNvme) {
        f.Section("Nvme");
        f.Key("Controller", HexBlock(ctrl));
        f.Key("Namespace." + std::to_string(d.namespaceId),
              HexBlock(ByteView(d.nvmeNamespace.data(), d.nvmeNamespace.size())));
        std::vector<std::uint8_t> log(kNvmeLogSize);
        if (d.nvme->GetLogPage(kNvmeHealthLog, kNvmeLogSize / 4 - 1, log))
            f.Key("Log.02", HexBlock(log));
    }
    if (d.hasScsi) {
        const std::size_t n =
            std::min<std::size_t>({d.scsi.inquiryLength, sizeof d.scsi.inquiry, kSimInquiryMax});
        f.Section("Scsi");
        f.Key("Inquiry", HexBlock(ByteView(d.scsi.inquiry, n)));
    }
    return f.Text();
}

struct DumpOptions {
    std::string drive, output;
    bool force = false;
};

int ParseArgs(const Options& o, DumpOptions& dopt, std::FILE* out, std::FILE* err) {
    for (std::size_t i = 0; i < o.args.size(); ++i) {
        const std::string& a = o.args[i];
        if (a == "--force") {
            dopt.force = true;
        } else if (a == "--output" || a == "-o") {
            if (i + 1 >= o.args.size() || o.args[i + 1].empty()) {
                return Fail(o, out, err, 2, "dump: --output needs a file");
            }
            dopt.output = o.args[++i];
        } else if (a.rfind("--output=", 0) == 0 && a.size() > 9) {
            dopt.output = a.substr(9);
        } else if (!a.empty() && a[0] == '-') {
            return Fail(o, out, err, 2, "dump: unknown option " + a);
        } else if (dopt.drive.empty()) {
            dopt.drive = a;
        } else {
            return Fail(o, out, err, 2, "dump takes one drive");
        }
    }
    if (dopt.drive.empty()) {
        return Fail(o, out, err, 2, "usage: tarvikdorn dump DRIVE [--output FILE [--force]]");
    }
    return 0;
}

} // namespace

int CmdDump(const Options& o, std::FILE* out, std::FILE* err) {
    DumpOptions dopt;
    if (int status = ParseArgs(o, dopt, out, err)) return status;
    if (!dopt.output.empty() && !dopt.force) {
        // Checked before the drives are touched, so a refusal costs nothing. The name itself
        // counts, so a dangling link is an existing file too.
        std::error_code ec;
        const auto name = std::filesystem::u8path(dopt.output);
        if (std::filesystem::symlink_status(name, ec).type() !=
            std::filesystem::file_type::not_found)
            return Fail(o, out, err, 1, dopt.output + " exists; --force replaces it");
    }
    StorageSession session;
    const DeviceBurst burst; // each drive is opened once for the whole command
    std::string problem;
    if (ErrorCode e = session.Open(o.simulate, problem, err))
        return Fail(o, out, err, 1, problem, e);
    clDisk* disk = session.FindDisk(dopt.drive);
    if (!disk) return Fail(o, out, err, 1, "no drive " + dopt.drive + " (see tarvikdorn list)");
    DriveInterfaces d = OpenDriveInterfaces(disk);
    if (d.openError) {
        const char* path = disk->GetPath();
        return Fail(o, out, err, 1, std::string("cannot open ") + (path ? path : dopt.drive),
                    d.openError);
    }
    // Without a capacity the file would load as the default 1 GiB disk: no copy at all.
    if (disk->GetCapacity() == 0) {
        const char* path = disk->GetPath();
        return Fail(o, out, err, 1,
                    std::string(path ? path : dopt.drive) +
                        " reports no capacity (no medium?); a drive file needs one");
    }
    const std::string text = DriveFileOf(d);
    if (dopt.output.empty()) {
        std::fputs(text.c_str(), out);
        return 0;
    }
    // Written beside the target and renamed over it: a link at the name is replaced, never
    // followed, and a failed write leaves nothing behind.
    const ErrorCode e = WriteWholeFile(
        dopt.output, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (e) return Fail(o, out, err, 1, "cannot write " + dopt.output, e);
    return 0;
}

} // namespace tvd::cli
