// SMART objects: one model for ATA and NVMe drives. Each holds the attribute list and the value
// functions (evaluators) that derive temperature, life, health and the host counters from it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/clzoltitem.h"
#include "smart/smartattrsutil.h"
#include "smart/smartvendorprofile.h"
#include "storage/devicechoice.h"

namespace tvd {

class clDisk;
class clAta;

inline constexpr int kSmartNoValue = -1000;       // temperature, life, health
inline constexpr std::int64_t kSmartNoCount = -1; // counters

class clSmart {
public:
    TVD_ISA_ROOT(clSmart)

    // Temperature in °C and life/health in percent (kSmartNoValue when none).
    using ValueEvaluator = int (*)(const clSmart& smart);
    // Counters (GiB, cycles, hours); kSmartNoCount when none, never negative otherwise.
    using CountEvaluator = std::int64_t (*)(const clSmart& smart);

    clSmart(clDisk* disk, int capacity) noexcept;
    clSmart(const clSmart&) = delete;
    clSmart& operator=(const clSmart&) = delete;
    virtual ~clSmart() = default;

    virtual void Close() {}
    // ATA: the 512-byte IDENTIFY data; NVMe: the 4096-byte controller data.
    virtual ByteView GetIdentifyData() { return {}; }
    // Texts as the drive gives them (model 40, serial 20, firmware 8 characters, untrimmed);
    // `out` may be null to ask only whether there is one.
    virtual bool GetModel(std::string* out) {
        (void)out;
        return false;
    }
    virtual bool GetSerial(std::string* out) {
        (void)out;
        return false;
    }
    virtual bool GetFirmware(std::string* out) {
        (void)out;
        return false;
    }
    // The drive's raw SMART data (ATA data page, NVMe health log); empty when it cannot be read.
    virtual std::vector<std::uint8_t> ReadRaw() { return {}; }
    // Reads afresh and updates the list; on failure the previous values stay.
    virtual bool Refresh() { return false; }
    virtual void UpdateStatus() {}
    // Display name of an attribute id from the loaded name tables.
    virtual std::u16string GetAttributeName(std::uint8_t id) {
        (void)id;
        return {};
    }

    clDisk* Disk() const noexcept { return disk_; }
    const SmartAttributeList& Attributes() const noexcept { return attributes_; }
    std::uint32_t Status() const noexcept { return status_; }

    ValueEvaluator temperature = nullptr;
    CountEvaluator hostWrites = nullptr;
    CountEvaluator hostReads = nullptr;
    ValueEvaluator life = nullptr;
    CountEvaluator powerCycles = nullptr;
    CountEvaluator powerOnHours = nullptr;
    ValueEvaluator health = nullptr;

protected:
    SmartAttributeList attributes_;
    std::uint32_t status_ = smartstatus::kUnknown;

private:
    clDisk* disk_; // not owned
};

// One entry of the critical-attribute table behind the computed health.
struct SmartCriticalEntry {
    std::uint8_t index = 0; // into the attribute list
    std::uint32_t weight = 0;
    std::uint64_t cap = 0;
};

class clSmartAta : public clSmart {
public:
    TVD_ISA(clSmartAta, clSmart)

    static constexpr int kMaxCritical = 10;

    clSmartAta(clDisk* disk, InterfacePtr<clAta> ata) noexcept;
    ~clSmartAta() override;

    void Close() override;
    ByteView GetIdentifyData() override;
    bool GetModel(std::string* out) override;
    bool GetSerial(std::string* out) override;
    bool GetFirmware(std::string* out) override;
    // A fresh SMART READ DATA page (512 bytes).
    std::vector<std::uint8_t> ReadRaw() override;
    bool Refresh() override;
    void UpdateStatus() override;
    std::u16string GetAttributeName(std::uint8_t id) override;
    virtual bool IsCriticalAttribute(std::uint8_t id);

    clAta* Ata() const noexcept { return ata_.get(); }
    // Parses a data page into the list (creation and Refresh).
    bool ParseData(ByteView page) { return ParseAtaSmartData(page, attributes_); }
    bool ParseThresholds(ByteView page) { return ParseAtaSmartThresholds(page, attributes_); }

    const SmartVendorProfile& Profile() const noexcept { return GetSmartVendorProfile(profileId); }

    // Set by the creation (evaluator assignment); -1 = none.
    SmartVendorProfileId profileId = SmartVendorProfileId::kHardDisk;
    int temperatureIndex = -1;
    int hostReadsIndex = -1;
    int hostWritesIndex = -1;
    int lifeIndex = -1;
    int powerCyclesIndex = -1;
    int powerOnHoursIndex = -1;
    int criticalCount = 0;
    SmartCriticalEntry critical[kMaxCritical]{};

private:
    InterfacePtr<clAta> ata_;
    std::string model_;    // filled on first GetModel
    std::string firmware_; // filled on first GetFirmware
    bool haveModel_ = false;
    bool haveFirmware_ = false;
};

} // namespace tvd
