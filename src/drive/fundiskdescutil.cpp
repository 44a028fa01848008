#include "drive/fundiskdescutil.h"

#include <utility>

#include "drive/fundiskbusutil.h"
#include "drive/fundiskconfigutil.h"
#include "drive/fundiskfwutil.h"
#include "drive/fundisksutil.h"
#include "drive/fundiskstringutil.h"
#include "storage/clata.h"
#include "storage/clnvme.h"
#include "storage/storageplatform.h"
#include "storage/usbnodeutil.h"
#include "storage/devicehandleutil.h"

namespace tvd {

namespace {

std::string& SettingsFolder() {
    static std::string folder;
    return folder;
}

ByteView AtaIdentify(clFunDisk* fd) {
    return fd->ata ? fd->ata->GetIdentify() : ByteView{};
}

} // namespace

StorageDeviceDescriptor QueryDescriptor(clFunDisk* fd) {
    StorageDeviceDescriptor d;
    const char* path = fd && fd->disk ? fd->disk->GetPath() : nullptr;
    DeviceHandle h;
    if (path && OpenDeviceForQuery(path, h) == err::kSuccess) Storage().QueryDeviceDescriptor(h, d);
    return d;
}

void SetFunDiskSettingsFolder(std::string folder) {
    SettingsFolder() = std::move(folder);
}

const std::string& FunDiskSettingsFolder() {
    return SettingsFolder();
}

const std::string* GetBusText(clFunDisk* fd) {
    if (!fd) return nullptr;
    if (!fd->busText && !fd->Detached()) {
        BusFacts facts;
        facts.busType = fd->busType;
        facts.ataIdentify = AtaIdentify(fd);
        if (fd->busType == bustype::kUsb) {
            UsbDiskInfo usb;
            if (GetUsbDiskInfo(fd->disk, usb)) facts.usbLinkVersion = usb.linkVersion;
        }
        if (fd->busType == bustype::kNvme || fd->busType == bustype::kRaid) {
            const std::uint32_t controller = Storage().ControllerOf(fd->disk->DevInst());
            if (controller) Storage().GetPciLink(controller, facts.pciLink);
        }
        fd->busText = BuildBusText(facts);
        CloseHandles(fd);
    }
    return fd->busText ? &*fd->busText : nullptr;
}

const std::string* GetFirmware(clFunDisk* fd) {
    if (!fd) return nullptr;
    if (!fd->firmware && !fd->Detached()) {
        std::string text = BuildFirmwareText(fd->busType, [fd](FirmwareSource source) {
            std::string out;
            switch (source) {
            case FirmwareSource::kAtaIdentify:
                if (fd->ata) fd->ata->GetFirmware(out);
                break;
            case FirmwareSource::kNvmeIdentify:
                if (fd->nvme) fd->nvme->GetFirmware(out);
                break;
            case FirmwareSource::kScsiInquiry:
                if (fd->scsi.inquiryLength)
                    out =
                        DecodeInquiry(ByteView(fd->scsi.inquiry, fd->scsi.inquiryLength)).revision;
                break;
            case FirmwareSource::kPlatformQuery: {
                DeviceHandle h;
                const char* path = fd->disk->GetPath();
                if (path) OpenDevice(path, h);
                PlatformFirmwareTarget target;
                target.handle = h.IsOpen() ? &h : nullptr;
                target.nvme = fd->nvme.get();
                if (path) target.devicePath = path;
                out = PlatformFirmwareRevision(target);
                break;
            }
            case FirmwareSource::kDeviceDescriptor:
                out = QueryDescriptor(fd).revision;
                break;
            }
            return out;
        });
        CloseHandles(fd);
        if (!text.empty()) fd->firmware = std::move(text);
    }
    return fd->firmware ? &*fd->firmware : nullptr;
}

const std::string* GetConfigKey(clFunDisk* fd) {
    if (!fd) return nullptr;
    if (!fd->configKey && !fd->Detached()) {
        ConfigKeyFacts facts;
        if (const std::string* m = GetModel(fd)) facts.model = *m;
        if (const std::string* s = GetSerial(fd)) facts.serial = *s;
        facts.onUsb = IsUsb(fd);
        // The descriptor only matters when the drive's own texts give no key.
        if (facts.model.empty() || facts.serial.empty()) {
            UsbDiskInfo usb;
            if (facts.onUsb && GetUsbDiskInfo(fd->disk, usb)) {
                facts.usbManufacturer = usb.manufacturer;
                facts.usbProduct = usb.product;
                facts.usbSerial = usb.serial;
            }
            const StorageDeviceDescriptor d = QueryDescriptor(fd);
            facts.vendor = d.vendor;
            facts.product = d.product;
            facts.descriptorSerial = d.serial;
        }
        if (const char* path = fd->disk->GetPath()) facts.devicePath = path;
        std::string key = BuildConfigKey(facts);
        if (!key.empty()) fd->configKey = std::move(key);
    }
    return fd->configKey ? &*fd->configKey : nullptr;
}

std::string GetConfigPath(clFunDisk* fd) {
    const std::string* key = GetConfigKey(fd);
    return key ? BuildConfigPath(SettingsFolder(), *key) : std::string();
}

std::string GetWwnText(clFunDisk* fd) {
    if (!fd || fd->Detached()) return {};
    WwnFacts facts;
    facts.hasAta = fd->ata != nullptr;
    facts.ataIdentify = AtaIdentify(fd);
    facts.hasNvme = fd->nvme != nullptr;
    if (fd->nvme) facts.nvmeNamespace = fd->nvme->GetNamespace(fd->nvme->FirstActiveNamespace());
    std::string text = BuildWwnText(facts);
    CloseHandles(fd);
    return text;
}

std::string DisplayNameShort(clFunDisk* fd) {
    const std::string* model = GetDisplayModel(fd);
    if (!model) return {};
    const std::string* bus = GetBusText(fd);
    return BuildDisplayNameShort(*model, bus ? *bus : std::string());
}

std::string DisplayNameLong(clFunDisk* fd, std::uint32_t letterMask) {
    if (!fd) return {};
    return BuildDisplayNameLong(fd->diskNumber, fd->sizeBytes, letterMask);
}

const char* DiskIcon(clFunDisk* fd) {
    const bool boot =
        fd && ((fd->disk && fd->disk == FunDisksSystemDisk()) || HasWindowsPartition(fd));
    return DiskIconName(boot, IsUsb(fd));
}

} // namespace tvd
