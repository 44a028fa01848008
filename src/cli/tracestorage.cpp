#include "cli/tracestorage.h"

#include <string>

#include "foundation/errtextutil.h"

namespace tvd::cli {

namespace {

void WriteHexLine(std::FILE* log, const char* tag, ByteView bytes) {
    std::string line = tag;
    char hex[4];
    for (const std::uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, " %02x", b);
        line += hex;
    }
    line += '\n';
    std::fputs(line.c_str(), log);
}

void WriteOutcome(std::FILE* log, ErrorCode e) {
    if (e != err::kSuccess) std::fprintf(log, " error: %s", SystemErrorText(e).c_str());
    std::fputc('\n', log);
}

} // namespace

ErrorCode TraceStorage::EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) {
    return inner_.EnumerateClass(cls, devices);
}
std::uint32_t TraceStorage::ParentOf(std::uint32_t devInst) {
    return inner_.ParentOf(devInst);
}
ErrorCode TraceStorage::GetProperty(std::uint32_t devInst, DeviceProperty prop,
                                    std::string& value) {
    return inner_.GetProperty(devInst, prop, value);
}
std::uint32_t TraceStorage::LogicalDrives() {
    return inner_.LogicalDrives();
}
std::uint32_t TraceStorage::DriveType(char letter) {
    return inner_.DriveType(letter);
}
ErrorCode TraceStorage::DriveDisplayName(char letter, std::string& name) {
    return inner_.DriveDisplayName(letter, name);
}
std::vector<std::string> TraceStorage::MountPoints(const std::string& volumePath) {
    return inner_.MountPoints(volumePath);
}

ErrorCode TraceStorage::VolumeSpace(const std::u16string& root, std::uint64_t& total,
                                    std::uint64_t& free) {
    return inner_.VolumeSpace(root, total, free);
}
ErrorCode TraceStorage::UsbHostControllerDriverKey(std::uint32_t index, std::string& driverKey) {
    return inner_.UsbHostControllerDriverKey(index, driverKey);
}
ErrorCode TraceStorage::RegisterNotifications(void* window, DeviceClass cls, void*& token) {
    return inner_.RegisterNotifications(window, cls, token);
}
void TraceStorage::UnregisterNotifications(void* token) {
    inner_.UnregisterNotifications(token);
}
void TraceStorage::PollEvents(std::vector<DeviceEvent>& events) {
    inner_.PollEvents(events);
}
ErrorCode TraceStorage::Open(const std::string& path, DeviceHandle& handle) {
    return inner_.Open(path, handle);
}
ErrorCode TraceStorage::OpenLetter(char letter, DeviceHandle& handle) {
    return inner_.OpenLetter(letter, handle);
}
// Without these the traced back end would lose its query-only opens and its own buses.
ErrorCode TraceStorage::OpenForQuery(const std::string& path, DeviceHandle& handle) {
    return inner_.OpenForQuery(path, handle);
}
bool TraceStorage::AdmitsExtraBus(std::uint32_t busType) {
    return inner_.AdmitsExtraBus(busType);
}
const char* TraceStorage::BusName(std::uint32_t busType) {
    return inner_.BusName(busType);
}
ErrorCode TraceStorage::GetDeviceNumber(DeviceHandle& h, StorageDeviceNumber& out) {
    return inner_.GetDeviceNumber(h, out);
}
ErrorCode TraceStorage::QueryDeviceDescriptor(DeviceHandle& h, StorageDeviceDescriptor& out) {
    return inner_.QueryDeviceDescriptor(h, out);
}
ErrorCode TraceStorage::QueryAdapterDescriptor(DeviceHandle& h, std::vector<std::uint8_t>& raw) {
    return inner_.QueryAdapterDescriptor(h, raw);
}
ErrorCode TraceStorage::QueryTrimEnabled(DeviceHandle& h, bool& enabled) {
    return inner_.QueryTrimEnabled(h, enabled);
}
ErrorCode TraceStorage::QueryTemperature(DeviceHandle& h, std::vector<TemperatureInfo>& out) {
    return inner_.QueryTemperature(h, out);
}
ErrorCode TraceStorage::GetHotplugInfo(DeviceHandle& h, std::uint8_t (&info)[8]) {
    return inner_.GetHotplugInfo(h, info);
}
ErrorCode TraceStorage::GetScsiAddress(DeviceHandle& h, ScsiAddress& out) {
    return inner_.GetScsiAddress(h, out);
}
ErrorCode TraceStorage::GetGeometry(DeviceHandle& h, DiskGeometry& out) {
    return inner_.GetGeometry(h, out);
}
ErrorCode TraceStorage::GetLength(DeviceHandle& h, std::uint64_t& bytes) {
    return inner_.GetLength(h, bytes);
}
ErrorCode TraceStorage::IsWritable(DeviceHandle& h, bool& writable) {
    return inner_.IsWritable(h, writable);
}
ErrorCode TraceStorage::GetMountDeviceName(DeviceHandle& h, std::u16string& name) {
    return inner_.GetMountDeviceName(h, name);
}
ErrorCode TraceStorage::GetVolumeExtents(DeviceHandle& h, std::vector<DiskExtent>& out) {
    return inner_.GetVolumeExtents(h, out);
}
ErrorCode TraceStorage::GetPartitionInfo(DeviceHandle& h, PartitionEntry& out) {
    return inner_.GetPartitionInfo(h, out);
}
ErrorCode TraceStorage::GetDriveLayout(DeviceHandle& h, DriveLayout& out) {
    return inner_.GetDriveLayout(h, out);
}
ErrorCode TraceStorage::CreateMbrLayout(DeviceHandle& h, std::uint32_t signature,
                                        const std::vector<PartitionEntry>& partitions) {
    return inner_.CreateMbrLayout(h, signature, partitions);
}
// Writing requests are traced too: a refusal is seen to have sent none.
ErrorCode TraceStorage::DeleteLayout(DeviceHandle& h) {
    const ErrorCode e = inner_.DeleteLayout(h);
    if (log_) std::fprintf(log_, "delete-layout: %s\n", ErrorText(e).c_str());
    return e;
}
ErrorCode TraceStorage::CreateGptLayout(DeviceHandle& h, const DriveLayout& layout) {
    const ErrorCode e = inner_.CreateGptLayout(h, layout);
    if (log_) std::fprintf(log_, "create-gpt-layout: %s\n", ErrorText(e).c_str());
    return e;
}
ErrorCode TraceStorage::FlushBuffers(DeviceHandle& h) {
    return inner_.FlushBuffers(h);
}
ErrorCode TraceStorage::TrimRange(DeviceHandle& h, std::uint64_t offset, std::uint64_t length) {
    const ErrorCode e = inner_.TrimRange(h, offset, length);
    if (log_)
        std::fprintf(log_, "trim: offset %llu length %llu: %s\n",
                     static_cast<unsigned long long>(offset),
                     static_cast<unsigned long long>(length), ErrorText(e).c_str());
    return e;
}
ErrorCode TraceStorage::OpenRead(const std::string& path, DeviceHandle& handle) {
    return inner_.OpenRead(path, handle);
}
ErrorCode TraceStorage::OpenForClone(const std::string& path, CloneOpenMode mode,
                                     DeviceHandle& handle) {
    return inner_.OpenForClone(path, mode, handle);
}
ErrorCode TraceStorage::QueryCloneFacts(const std::string& path, CloneDiskFacts& facts) {
    return inner_.QueryCloneFacts(path, facts);
}
ErrorCode TraceStorage::GetPciLink(std::uint32_t controllerDevInst, PciLinkInfo& out) {
    return inner_.GetPciLink(controllerDevInst, out);
}
std::uint32_t TraceStorage::ControllerOf(std::uint32_t diskDevInst) {
    return inner_.ControllerOf(diskDevInst);
}

ErrorCode TraceStorage::ScsiCommand(DeviceHandle& h, ScsiCommandRequest& request) {
    if (log_) WriteHexLine(log_, "cdb:", request.cdb);
    // What a command writes is traced with it: a password sector is compared byte by byte.
    if (log_ && request.direction == DataDirection::kOut)
        WriteHexLine(log_, "data-out:", ByteView(request.data.data(), request.data.size()));
    const ErrorCode e = inner_.ScsiCommand(h, request);
    if (log_) {
        std::fprintf(log_, "status: 0x%02x transferred: %u", request.status,
                     static_cast<unsigned>(request.transferred));
        WriteOutcome(log_, e);
    }
    return e;
}

ErrorCode TraceStorage::NvmeCommand(DeviceHandle& h, NvmeCommandRequest& request) {
    if (log_) WriteHexLine(log_, "nvme:", ByteView(request.command, sizeof request.command));
    const ErrorCode e = inner_.NvmeCommand(h, request);
    if (log_) {
        const ByteView completion(request.completion, sizeof request.completion);
        std::fprintf(log_, "status: 0x%04x", Le<std::uint16_t>(completion, 14));
        WriteOutcome(log_, e);
    }
    return e;
}

ErrorCode TraceStorage::IoControl(DeviceHandle& h, std::uint32_t code, ByteView in,
                                  MutableByteView out, std::uint32_t& returned) {
    return inner_.IoControl(h, code, in, out, returned);
}
ErrorCode TraceStorage::ReadAt(DeviceHandle& h, std::uint64_t offset, MutableByteView data) {
    return inner_.ReadAt(h, offset, data);
}
ErrorCode TraceStorage::WriteAt(DeviceHandle& h, std::uint64_t offset, ByteView data) {
    const ErrorCode e = inner_.WriteAt(h, offset, data);
    if (log_)
        std::fprintf(log_, "write: offset %llu length %zu: %s\n",
                     static_cast<unsigned long long>(offset), data.size(), ErrorText(e).c_str());
    return e;
}

ScopedTrace::ScopedTrace(std::FILE* log) : previous_(Storage()), trace_(previous_, log) {
    SelectStorage(&trace_);
}

ScopedTrace::~ScopedTrace() {
    // The platform's own back end is "none selected", not a selection of it.
    SelectStorage(&previous_ == &NativeStorage() ? nullptr : &previous_);
}

} // namespace tvd::cli
