#include "storage/sim/simstorage.h"

#include "storage/sim/simstorageimpl.h"

namespace tvd {

using namespace simstore;

SimStorage::SimStorage() : impl_(std::make_unique<Impl>()) {}
SimStorage::~SimStorage() = default;

std::unique_ptr<SimStorage> SimStorage::Create(const std::string& folder, ErrorCode& error,
                                               SimImages images) {
    if (folder.empty()) {
        error = err::kInvalidParameter;
        return nullptr;
    }
    std::error_code ec;
    fs::directory_iterator probe(PathOf(folder), ec);
    if (ec) {
        error = ec == std::errc::no_such_file_or_directory ? err::kPathNotFound
                : ec == std::errc::not_a_directory         ? err::kPathNotFound
                : ec == std::errc::permission_denied       ? err::kAccessDenied
                                                           : err::kGenFailure;
        return nullptr;
    }
    std::unique_ptr<SimStorage> storage(new (std::nothrow) SimStorage());
    if (!storage) {
        error = err::kNoSystemResources;
        return nullptr;
    }
    storage->impl_->folder = folder;
    storage->impl_->prepareImages = images == SimImages::kPrepare;
    storage->impl_->Update(true, false);
    error = err::kSuccess;
    return storage;
}

std::unique_ptr<StoragePlatform> NewSimStorage(const std::string& folder, ErrorCode& error,
                                               bool readOnly) {
    return SimStorage::Create(folder, error, readOnly ? SimImages::kReadOnly : SimImages::kPrepare);
}

const std::string& SimStorage::Folder() const {
    return impl_->folder;
}

std::vector<std::string> SimStorage::DriveNames() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    std::vector<std::string> names;
    for (const auto& [upper, d] : impl_->drives)
        names.push_back(d->spec->name);
    return names;
}

std::vector<SimProblem> SimStorage::Problems() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    std::vector<SimProblem> out;
    for (const auto& [upper, f] : impl_->files)
        if (f.error != err::kSuccess) out.push_back({f.name, f.error, f.message, f.line});
    out.insert(out.end(), impl_->duplicates.begin(), impl_->duplicates.end());
    return out;
}

std::vector<SimRange> SimStorage::TrimmedRanges(const std::string& name) const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const auto it = impl_->drives.find(Upper(name));
    if (it == impl_->drives.end()) return {};
    std::lock_guard<std::mutex> driveGuard(it->second->lock);
    return it->second->trims;
}

std::shared_ptr<const SimDriveSpec> SimStorage::DriveSpec(const std::string& name) const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const auto it = impl_->drives.find(Upper(name));
    return it == impl_->drives.end() ? nullptr : it->second->spec;
}

std::shared_ptr<const SimDriveSpec> SimStorage::HandleSpec(const DeviceHandle& h) const {
    const SimHandle* s = impl_->HandleOf(h);
    return s && s->drive ? s->drive->spec : nullptr;
}

} // namespace tvd
