#include <utility>

#include "drive/clfundisk.h"
#include "drive/fundiskdescutil.h"
#include "drive/kernelfun.h"
#include "storage/ataidentifyutil.h"
#include "storage/clata.h"
#include "storage/clnvme.h"
#include "storage/storageplatform.h"
#include "storage/storagetypes.h"
#include "storage/devicehandleutil.h"

namespace tvd {

clFunDisk::~clFunDisk() = default;

void clFunDisk::Detach() noexcept {
    ata.reset();
    nvme.reset();
    scsi.scsi.reset();
    smart.smart.reset(); // it owns a command interface of its own
    disk = nullptr;
}

bool FunDiskBusAccepted(std::uint32_t busType) {
    switch (busType) {
    case bustype::kScsi:
    case bustype::kAta:
    case bustype::k1394:
    case bustype::kUsb:
    case bustype::kRaid:
    case bustype::kSata:
    case bustype::kSd:
    case bustype::kMmc:
    case bustype::kNvme:
        return true;
    default:
        return false;
    }
}

ZoltRef<clFunDisk> FunDiskCreate(clDisk* disk, const clDisk* systemDisk) {
    // The queries, the interfaces and the SMART monitor's first reading share one open.
    const DeviceBurst burst;
    if (!disk || !disk->HasMedia()) return nullptr;
    const bool removable = disk->IsRemovable();
    if (disk->IsUsb() && removable) return nullptr;
    const std::uint32_t busType = disk->GetBusType();
    if (!FunDiskBusAccepted(busType) && !Storage().AdmitsExtraBus(busType)) return nullptr;

    ZoltRef<clFunDisk> fd = MakeZoltRef<clFunDisk>(disk);
    if (!fd) return nullptr;
    const std::int64_t number = disk->GetDeviceNumber();
    fd->diskNumber =
        number >= 0 && number < kNoDiskNumber ? static_cast<std::uint32_t>(number) : kNoDiskNumber;
    fd->bytesPerSector = disk->GetSectorSize();
    fd->sizeBytes = disk->GetCapacity();
    fd->busType = busType;
    fd->removable = removable;

    FillScsiDiskInfo(fd->scsi, OpenScsiInterface(disk));
    fd->ata = OpenAtaInterface(disk);
    if (!fd->ata) {
        NvmeChoice choice = OpenNvmeInterface(disk);
        if (choice.nvme && choice.identify.size() == kNvmeIdentifySize)
            choice.nvme->SetController(choice.identify);
        fd->nvme = std::move(choice.nvme);
    }

    if (removable)
        fd->solidState = true;
    else if (busType == bustype::kSd || busType == bustype::kMmc || busType == bustype::kNvme)
        fd->solidState = true;
    else if (fd->ata)
        fd->solidState = ataid::IsSolidState(fd->ata->GetIdentify());
    else
        fd->solidState = fd->nvme != nullptr;

    SmartMonitorSetup(&fd->smart, disk, GetConfigPath(fd.Get()));

    // Cloning works in 512-byte sectors; the system disk is never overwritten.
    fd->cloneSource = fd->bytesPerSector == 512;
    fd->cloneTarget = fd->cloneSource && disk != systemDisk;
    CloseHandles(fd.Get());
    return fd;
}

std::string TrimTrailingBlanks(std::string text) {
    const std::size_t end = text.find_last_not_of(" \t");
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

namespace {

// Runs `build` once a text is wanted and not yet known; a failed build is retried next time.
template <class Build> const std::string* Cached(std::optional<std::string>& slot, Build build) {
    if (!slot) {
        std::string text;
        if (build(text)) slot = TrimTrailingBlanks(std::move(text));
    }
    return slot ? &*slot : nullptr;
}

} // namespace

const std::string* GetModel(clFunDisk* fd) {
    if (!fd) return nullptr;
    if (fd->Detached()) return fd->model ? &*fd->model : nullptr; // texts known before stay
    const std::string* text = Cached(fd->model, [fd](std::string& out) {
        bool ok = (fd->ata && fd->ata->GetModel(out) && !TrimTrailingBlanks(out).empty()) ||
                  (fd->nvme && fd->nvme->GetModel(out) && !TrimTrailingBlanks(out).empty());
        if (!ok && fd->scsi.inquiryLength) {
            out = DecodeInquiry(ByteView(fd->scsi.inquiry, fd->scsi.inquiryLength)).ModelText();
            ok = !out.empty();
        }
        return ok;
    });
    CloseHandles(fd);
    return text;
}

const std::string* GetSerial(clFunDisk* fd) {
    if (!fd) return nullptr;
    if (fd->Detached()) return fd->serial ? &*fd->serial : nullptr;
    const std::string* text = Cached(fd->serial, [fd](std::string& out) {
        if ((fd->ata && fd->ata->GetSerial(out) && !TrimTrailingBlanks(out).empty()) ||
            (fd->nvme && fd->nvme->GetSerial(out) && !TrimTrailingBlanks(out).empty()))
            return true;
        // A USB disk whose bridge passes no identify data, and a virtual machine's disk (which
        // answers no identify at all): the storage descriptor's serial.
        if (!fd->disk->IsUsb() && fd->busType != bustype::kVirtual) return false;
        out = QueryDescriptor(fd).serial;
        return !TrimTrailingBlanks(out).empty();
    });
    CloseHandles(fd);
    return text;
}

const std::string* GetDisplayModel(clFunDisk* fd) {
    if (!fd) return nullptr;
    if (!fd->displayModel)
        if (const std::string* m = GetModel(fd)) fd->displayModel = *m;
    return fd->displayModel ? &*fd->displayModel : nullptr;
}

std::uint16_t GetNvmeVendorId(clFunDisk* fd) {
    if (!fd || fd->Detached() || !fd->nvme) return 0;
    const std::uint16_t id = fd->nvme->PciVendorId();
    fd->nvme->Close();
    return id;
}

std::uint64_t GetSectorCount(const clFunDisk* fd) {
    if (!fd || fd->bytesPerSector == 0) return 0;
    return fd->sizeBytes / fd->bytesPerSector;
}

bool IsUsb(clFunDisk* fd) {
    return fd && !fd->Detached() && fd->disk->IsUsb();
}

const PartitionSnapshot* GetPartitions(clFunDisk* fd) {
    if (!fd) return nullptr;
    if (!fd->partitions && !fd->Detached() && fd->disk->GetPath()) {
        const std::string path = fd->disk->GetPath();
        auto snapshot = std::make_unique<PartitionSnapshot>();
        BuildDiskPartitionSnapshot(path, fd->sizeBytes, *NewPlatformVolumeLookup(path), *snapshot);
        fd->partitions = std::move(snapshot);
        CloseHandles(fd);
    }
    return fd->partitions.get();
}

bool HasWindowsPartition(clFunDisk* fd) {
    const PartitionSnapshot* s = GetPartitions(fd);
    if (!s) return false;
    for (const PartitionSnapshotEntry& e : s->entries)
        if (e.kind == partkind::kWindows) return true;
    return false;
}

bool GetVolumeSpace(clFunDisk* fd, std::uint64_t& total, std::uint64_t& free) {
    const PartitionSnapshot* s = GetPartitions(fd);
    if (!s) return false;
    std::uint64_t sumTotal = 0, sumFree = 0;
    bool any = false;
    for (const PartitionSnapshotEntry& e : s->entries) {
        if (!e.hasVolume || e.root.empty()) continue;
#ifdef _WIN32
        if (!e.letter) continue; // only lettered volumes count on Windows
#endif
        std::uint64_t t = 0, f = 0;
        if (Storage().VolumeSpace(e.root, t, f) != err::kSuccess) continue;
        // Sizes a volume reports are not trusted to sum without overflow.
        sumTotal = t > UINT64_MAX - sumTotal ? UINT64_MAX : sumTotal + t;
        sumFree = f > UINT64_MAX - sumFree ? UINT64_MAX : sumFree + f;
        any = true;
    }
    if (any) {
        total = sumTotal;
        free = sumFree;
    }
    return any;
}

bool RefreshProperties(clFunDisk* fd) {
    if (!fd || fd->Detached() || !fd->disk->GetPath()) return false;
    fd->partitions.reset();
    return UpdateDiskProperties(fd->disk->GetPath()) == err::kSuccess;
}

void CloseHandles(clFunDisk* fd) {
    if (!fd) return;
    if (fd->ata) fd->ata->Close();
    if (fd->nvme) fd->nvme->Close();
    if (fd->scsi.scsi) fd->scsi.scsi->Close();
}

} // namespace tvd
