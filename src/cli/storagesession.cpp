#include "cli/storagesession.h"

#include <charconv>

#include "cli/fundiskview.h"
#include "drive/kernelfun.h"
#include "storage/clata.h"
#include "storage/commandinterfaces.h"
#include "storage/devicehandleutil.h"

namespace tvd::cli {

StorageSession::~StorageSession() {
    registry_.ShutdownAll();
    if (sim_) SelectStorage(nullptr);
}

ErrorCode StorageSession::Open(const std::string& simulateFolder, std::string& problem,
                               std::FILE* warnings, bool readOnly) {
    if (open_) return err::kSuccess;
    if (!simulateFolder.empty()) {
        ErrorCode e = err::kSuccess;
        sim_ = SimStorage::Create(simulateFolder, e,
                                  readOnly ? SimImages::kReadOnly : SimImages::kPrepare);
        if (!sim_) {
            problem = "cannot use the simulated drives in " + simulateFolder;
            return e ? e : err::kFileNotFound;
        }
        SelectStorage(sim_.get());
        if (warnings)
            for (const SimProblem& p : sim_->Problems())
                std::fprintf(warnings, "tarvikdorn: %s: refused: %s\n", simulateFolder.c_str(),
                             ProblemText(p).c_str());
    }
    RegisterCommandInterfaces();
    bool ok = registry_.RegisterList(std::make_unique<clNtDiskList>()) &&
              registry_.RegisterList(std::make_unique<clNtDriveList>()) &&
              registry_.RegisterList(std::make_unique<clWinVolumeList>()) &&
              registry_.RegisterList(std::make_unique<clWinUsbList>());
    if (!ok) {
        problem = "cannot set up the device lists";
        return err::kNoSystemResources;
    }
    registry_.EnumerateAll(nullptr);
    open_ = true;
    return err::kSuccess;
}

std::vector<SimProblem> StorageSession::Problems() const {
    return sim_ ? sim_->Problems() : std::vector<SimProblem>{};
}

std::string ProblemText(const SimProblem& p) {
    std::string text;
    if (!p.name.empty()) text = p.name + ".drive: ";
    if (p.line) text += "line " + std::to_string(p.line) + ": ";
    return text + p.message;
}

std::vector<clDisk*> StorageSession::Disks() const {
    std::vector<clDisk*> disks;
    clDeviceList* list = registry_.FindList(devtype::kDisk);
    if (!list) return disks;
    for (clDevice* d = list->FirstDevice(); d; d = list->NextDevice(d))
        disks.push_back(static_cast<clDisk*>(d));
    return disks;
}

const char* StorageSession::BackendName() const {
    return Storage().Name();
}

clDisk* StorageSession::FindDisk(std::string_view name) const {
    if (name.empty()) return nullptr;
    const std::vector<clDisk*> disks = Disks();
    const std::string_view wanted = StripDevicePrefix(name);
    for (clDisk* d : disks) {
        const char* p = d->GetPath();
        if (p && PathEqualsNoCase(StripDevicePrefix(p), wanted)) return d;
    }
    for (clDisk* d : disks) {
        const char* p = d->GetPath();
        if (!p) continue;
        std::string_view path = p;
        const std::size_t cut = path.find_last_of("\\/");
        if (cut != std::string_view::npos && PathEqualsNoCase(path.substr(cut + 1), wanted))
            return d;
    }
    std::size_t index = 0;
    const char* end = name.data() + name.size();
    auto [rest, ec] = std::from_chars(name.data(), end, index);
    if (ec == std::errc() && rest == end && index < disks.size()) return disks[index];
    return nullptr;
}

DriveInterfaces OpenDriveInterfaces(clDisk* disk) {
    DriveInterfaces d;
    d.disk = disk;
    if (!disk) return d;
    {
        // Every interface below opens the device; one that cannot be opened has nothing to say,
        // and the user wants the system's reason rather than empty answers.
        DeviceHandle probe;
        const char* path = disk->GetPath();
        d.openError = path ? OpenDevice(path, probe) : err::kFileNotFound;
        if (d.openError != err::kSuccess) return d;
    }
    if (InterfacePtr<clNtScsi> scsi = OpenScsiInterface(disk))
        d.hasScsi = FillScsiDiskInfo(d.scsi, std::move(scsi));
    d.ata = OpenAtaInterface(disk);
    if (d.ata) {
        const ByteView id = d.ata->GetIdentify();
        d.identify.assign(id.begin(), id.end());
        return d;
    }
    NvmeChoice choice = OpenNvmeInterface(disk);
    d.nvme = std::move(choice.nvme);
    if (!d.nvme) return d;
    ByteView ctrl = d.nvme->GetController();
    if (ctrl.empty()) ctrl = ByteView(choice.identify.data(), choice.identify.size());
    d.controller.assign(ctrl.begin(), ctrl.end());
    d.namespaceId = d.nvme->FirstActiveNamespace();
    if (d.namespaceId == 0) d.namespaceId = 1;
    const ByteView ns = d.nvme->GetNamespace(d.namespaceId);
    d.nvmeNamespace.assign(ns.begin(), ns.end());
    return d;
}

ZoltRef<clFunDisk> StorageSession::ServedDisk(std::string_view name, std::string& problem,
                                              ErrorCode& code, clDisk** disk) const {
    problem.clear();
    code = err::kSuccess;
    clDisk* d = FindDisk(name);
    if (disk) *disk = d;
    if (!d) {
        problem = "no drive " + std::string(name) + " (see tarvikdorn list)";
        return {};
    }
    SystemVolume system;
    ZoltRef<clFunDisk> fd =
        FunDiskCreate(d, FindSystemDisk(registry_.FindList(devtype::kDisk), system));
    if (!fd)
        problem =
            std::string(name) + " is not a drive this program serves: " + WhyNotServed(d, code);
    return fd;
}

} // namespace tvd::cli
