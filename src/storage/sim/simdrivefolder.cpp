// The folder of drive files: reading it, refusing what cannot be used, and making a drive (its
// image, its personalities) from a file that can.
#include "foundation/crc32util.h"
#include "foundation/fileutil.h"
#include "storage/partitiontableutil.h"
#include "storage/sim/simlayout.h"
#include "storage/sim/simstorageimpl.h"

namespace tvd {

using namespace simstore;

namespace {
constexpr std::uintmax_t kMaxDriveFileBytes = 16u << 20;
} // namespace

DriveFile SimStorage::Impl::LoadFile(const std::string& name, const fs::path& file,
                                     const Stamp& stamp) const {
    DriveFile f;
    f.name = name;
    f.stamp = stamp;
    std::vector<std::uint8_t> text;
    // The longest sensible file (every log of both command sets in hex) is a few MiB; a larger
    // one is not read into memory.
    if (stamp.size > kMaxDriveFileBytes) {
        f.error = err::kInvalidData;
        f.message = "the file is larger than " + std::to_string(kMaxDriveFileBytes >> 20) + " MiB";
        return f;
    }
    if (stamp.size != 0) {
        if (const ErrorCode e = ReadWholeFile(Utf8Of(file), text)) {
            f.error = e;
            f.message = "the file cannot be read: " + SystemErrorText(e);
            return f;
        }
    }
    auto spec = std::make_shared<SimDriveSpec>();
    f.error = ParseSimDrive(name, text, *spec, f.message, &f.line);
    if (f.error == err::kSuccess) f.spec = std::move(spec);
    return f;
}

void SimStorage::Impl::ReadFolder() {
    struct Seen {
        std::string name;
        fs::path file;
        Stamp stamp;
    };
    std::map<std::string, Seen> seen;
    std::map<std::string, std::vector<std::string>> clashes;
    std::vector<SimProblem> others;
    std::error_code ec;
    for (fs::directory_iterator it(PathOf(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (Upper(Utf8Of(p.extension())) != ".DRIVE") continue;
        const std::string stem = Utf8Of(p.stem());
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc)) {
            others.push_back({stem, err::kFileNotFound, "not a regular file"});
            continue;
        }
        Stamp stamp;
        if (!StampOf(p, stamp)) {
            others.push_back({stem, err::kAccessDenied, "the file cannot be examined"});
            continue;
        }
        const std::string name = Utf8Of(p.stem());
        const std::string upper = Upper(name);
        // Names differing only in case would share paths where paths are upper-cased: the
        // first in byte order keeps the name.
        auto found = seen.find(upper);
        if (found == seen.end()) {
            seen.emplace(upper, Seen{name, p, stamp});
        } else if (name < found->second.name) {
            clashes[upper].push_back(found->second.name);
            found->second = Seen{name, p, stamp};
        } else {
            clashes[upper].push_back(name);
        }
    }
    for (auto it = files.begin(); it != files.end();)
        it = seen.count(it->first) ? std::next(it) : files.erase(it);
    for (const auto& [upper, s] : seen) {
        auto known = files.find(upper);
        if (known != files.end() && known->second.name == s.name && known->second.stamp == s.stamp)
            continue;
        files[upper] = LoadFile(s.name, s.file, s.stamp);
    }
    // A folder that stops answering part way is no empty folder.
    if (ec)
        others.push_back({"", ErrorFromStdError(ec),
                          "the folder cannot be read: " + SystemErrorText(ErrorFromStdError(ec))});
    duplicates = std::move(others);
    for (const auto& [upper, names] : clashes)
        for (const std::string& n : names)
            duplicates.push_back(
                {n, err::kAlreadyExists,
                 "the name differs only in case from " + seen[upper].name + ".drive"});
}

namespace {

// The table an image made for `spec` starts with; empty without a Layout= key.
ErrorCode LayoutHead(const SimDriveSpec& spec, const std::string& upper,
                     std::vector<std::uint8_t>& head) {
    head.clear();
    if (spec.layout.empty()) return err::kSuccess;
    std::vector<PartitionEntry> entries;
    std::string why;
    if (!ParseSimLayoutKey(spec.layout, spec.capacity, spec.sectorSize, entries, why))
        return err::kInvalidData;
    std::vector<std::uint8_t> sector(spec.sectorSize, 0);
    if (const ErrorCode e = BuildMbrSector(Crc32(upper.data(), upper.size()), entries,
                                           spec.capacity, spec.sectorSize, sector))
        return e;
    head = std::move(sector);
    return err::kSuccess;
}

std::string ImageProblem(const std::string& image, ErrorCode e) {
    if (e == kSimImageLink)
        return "the image " + image +
               " is a symbolic link or lies behind one; links are not followed";
    return "the image " + image + " cannot be used: " + SystemErrorText(e);
}

} // namespace

std::shared_ptr<SimDrive> SimStorage::Impl::MakeDrive(const std::string& upper, DriveFile& f) {
    const SimDriveSpec& spec = *f.spec;
    std::vector<std::uint8_t> head;
    ErrorCode e = LayoutHead(spec, upper, head);
    bool created = false;
    if (e == err::kSuccess && prepareImages) {
        e = SimImageFile::Prepare(folder, spec.image, spec.capacity, created);
        if (e == err::kSuccess && created && !head.empty()) {
            SimImageFile image;
            if ((e = image.Open(folder, spec.image, true)) == err::kSuccess)
                e = image.WriteAt(0, head);
            image.Close();
            // A fresh image without its table must not survive: the next try starts over.
            if (e != err::kSuccess) DeleteFileForce(Utf8Of(PathOf(folder) / PathOf(spec.image)));
        }
        head.clear(); // the image holds it now
    } else if (e == err::kSuccess) {
        // Read-only: the image is only looked at, and a missing one is no fault.
        SimImageFile image;
        e = image.Open(folder, spec.image, false);
        if (e == err::kFileNotFound || e == err::kPathNotFound) e = err::kSuccess;
        if (image.IsOpen()) head.clear();
    }
    if (e != err::kSuccess) {
        f.error = e;
        f.message = ImageProblem(spec.image, e);
        f.line = 0;
        return nullptr;
    }
    f.error = err::kSuccess;
    f.message.clear();
    auto d = std::make_shared<SimDrive>();
    d->spec = f.spec;
    d->folder = folder;
    d->image = spec.image;
    d->imagePath = Utf8Of(PathOf(folder) / PathOf(spec.image));
    d->head = std::move(head);
    d->number = NumberOf(upper);
    d->devInst = DevInstOf("DISK\\" + upper);
    if (!spec.parent.empty()) d->usbDevInst = DevInstOf("USB\\" + Upper(spec.parent));
    if (spec.hasPci) d->controllerDevInst = DevInstOf("PCI\\" + upper);
    d->generation = nextGeneration++;
    if (spec.ata.present) d->ata = std::make_unique<SimAta>(spec);
    if (spec.nvme.present) d->nvme = std::make_unique<SimNvme>(spec);
    d->scsi = std::make_unique<SimScsi>(spec, d->ata.get());
    if (d->nvme) d->scsi->SetNvme(d->nvme.get());
    return d;
}

void SimStorage::Impl::RefreshLayout(SimDrive& d) const {
    Stamp stamp;
    StampOf(PathOf(d.imagePath), stamp);
    std::lock_guard<std::mutex> guard(d.lock);
    if (!d.layoutDirty.exchange(false) && stamp == d.imageStamp) return;
    d.imageStamp = stamp;
    d.layout = DriveLayout{};
    SimImageFile image;
    const ErrorCode e = image.Open(d.folder, d.image, false);
    if (e != err::kSuccess && (prepareImages || e != err::kFileNotFound)) return;
    const SectorReadFn read = [&](std::uint64_t offset, MutableByteView data) {
        return ReadImage(image, d, offset, data);
    };
    DriveLayout layout;
    if (ReadDriveLayout(read, d.SectorSize(), d.Capacity(), layout) == err::kSuccess)
        d.layout = std::move(layout);
}

} // namespace tvd
