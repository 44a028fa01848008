#include "cli/fundiskview.h"

#include "drive/fundiskdescutil.h"
#include "foundation/winfolderutila.h"
#include "storage/storageplatform.h"
#include "smart/clsmartata.h"
#include "storage/devicehandleutil.h"

namespace tvd::cli {

const char* HealthStateWord(std::int32_t state) {
    switch (state) {
    case healthstate::kGood:
        return "good";
    case healthstate::kCaution:
        return "caution";
    case healthstate::kBad:
        return "bad";
    default:
        return "unknown";
    }
}

void UseDefaultSettingsFolder() {
    std::string folder;
#ifdef _WIN32
    constexpr char kSeparator = '\\';
#else
    constexpr char kSeparator = '/';
#endif
    if (ShellFolderPath(csidl::kAppData, folder) != err::kSuccess || folder.empty()) return;
    if (folder.back() != kSeparator) folder += kSeparator;
    SetFunDiskSettingsFolder(folder + "Tarvikdorn");
}

namespace {

void Text(JsonWriter& j, const char* key, const std::string* value) {
    if (value)
        j.String(key, *value);
    else
        j.Null(key);
}

void Value(JsonWriter& j, const char* key, std::int64_t value, std::int64_t none) {
    if (value == none)
        j.Null(key);
    else
        j.Number(key, value);
}

} // namespace

std::string InterfaceText(clFunDisk* fd) {
    const std::string* text = GetBusText(fd);
    if (text && *text != "---") return *text;
    return fd ? Storage().BusName(fd->busType) : std::string();
}

void WriteFunDiskSummary(JsonWriter& j, clFunDisk* fd) {
    Text(j, "model", GetModel(fd));
    Text(j, "serial", GetSerial(fd));
    Text(j, "firmware", GetFirmware(fd));
    j.String("busText", InterfaceText(fd));
    j.Bool("ssd", fd->solidState);
    const SmartMonitor& m = fd->smart;
    j.Bool("smart", m.smart != nullptr);
    j.String("health", HealthStateWord(m.HealthState));
    if (m.healthReason.empty())
        j.Null("healthReason");
    else
        j.String("healthReason", m.healthReason);
    Value(j, "life", GetLife(m.smart.get()), kSmartNoValue);
    Value(j, "healthValue", m.health, kSmartNoValue);
    Value(j, "temperature", m.temperature, kSmartNoValue);
    Value(j, "powerOnHours", m.powerOnHours, kSmartNoCount);
    Value(j, "hostWritesGib", m.written, kSmartNoCount);
}

// Why FunDiskCreate refused a disk, in the order it checks; `code` gets a system error when
// the device could not even be opened.
std::string WhyNotServed(clDisk* disk, ErrorCode& code) {
    code = err::kSuccess;
    DeviceHandle probe;
    if (const char* path = disk->GetPath()) {
        code = OpenDevice(path, probe);
        if (code != err::kSuccess) return "the device cannot be opened";
    }
    if (!disk->HasMedia()) return "it reports no medium";
    if (disk->IsUsb() && disk->IsRemovable())
        return "it is a removable USB medium (a stick or card reader)";
    return std::string("its bus (") + Storage().BusName(disk->GetBusType()) +
           ") is not one this program serves";
}

} // namespace tvd::cli
