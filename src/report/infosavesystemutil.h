// The report's sections about the computer: fact records that the platform gatherers
// (report/win32, report/linux) fill without deciding anything, and the portable writers.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/errorcodes.h"
#include "report/infowriteutil.h"

namespace tvd {

// A value the platform may not have at all (none), or may fail to read (error).
struct TextFact {
    bool supported = true;
    ErrorCode error = err::kSuccess;
    std::string value;
};

struct ComputerFacts {
    std::optional<std::uint32_t> platformId; // Windows only
    std::uint32_t major = 0, minor = 0, build = 0;
    std::uint32_t productType = 0; // 0: the line is left out
    const char* productName = nullptr;
    std::string osName;                    // " OS"
    std::optional<std::string> osCaption;  // " OS Name"; none: line left out
    std::optional<bool> isServer, isWinPe; // none: not supported on this platform
    bool admin = false;
    std::string cpuVendor, cpuBrand; // empty brand: the fail line
    ErrorCode smbiosError = err::kNotSupported;
    std::vector<std::uint8_t> smbios;
    ErrorCode memoryError = err::kNotSupported;
    std::uint64_t availableMiB = 0, totalMiB = 0;
    std::uint16_t uiLanguage = 0;
    std::optional<std::string> timeZone; // none: line left out
};

struct UserFacts {
    TextFact dnsHostname, netBios, userName;
};

struct AppEntry {
    std::string name;
    std::optional<std::string> version;
};
struct AppsFacts {
    bool supported = false;
    std::vector<AppEntry> apps;
};

struct NetAddress {
    std::string ip, mask;
    std::uint32_t context = 0;
};
struct NetAdapter {
    std::uint32_t comboIndex = 0, index = 0;
    std::string name, description;
    std::vector<std::uint8_t> mac;
    std::uint32_t type = 0;
    std::optional<bool> dhcp; // none: not supported
    std::vector<NetAddress> current, addresses, gateways;
    std::optional<std::vector<NetAddress>> dhcpServers; // none: not supported
    std::optional<bool> haveWins;
};
struct NetFacts {
    ErrorCode interfacesError = err::kSuccess;
    std::vector<std::pair<std::uint32_t, std::string>> interfaces;
    ErrorCode adaptersError = err::kSuccess;
    std::vector<NetAdapter> adapters;
};

// One file system the "Drives :" section lists (drive letters, or Linux mount points).
struct VolumeInfoFacts {
    std::string name; // display name, or the mount point
    std::uint32_t driveType = 0;
    ErrorCode infoError = err::kSuccess;
    std::string label, fileSystem;
    std::optional<std::uint32_t> serial; // none: not known
    ErrorCode spaceError = err::kSuccess;
    std::uint64_t totalBytes = 0, freeBytes = 0;
    std::optional<std::string> connectionName;      // remote file systems
    ErrorCode volumeNameError = err::kNotSupported; // the root's volume GUID name
    std::string volumeName;
};

// Gatherers: one definition per platform.
ComputerFacts GatherComputerFacts();
UserFacts GatherUserFacts();
AppsFacts GatherAppsFacts();
NetFacts GatherNetFacts();
std::vector<VolumeInfoFacts> GatherDriveFacts();

// Writers (portable).
bool WriteComputerSection(ReportWriter& w, const ComputerFacts& f);
bool WriteSmbiosSection(ReportWriter& w, ErrorCode error, const std::vector<std::uint8_t>& blob);
bool WriteUserSection(ReportWriter& w, const UserFacts& f);
bool WriteAppsSection(ReportWriter& w, const AppsFacts& f);
bool WriteNetSection(ReportWriter& w, const NetFacts& f);
bool WriteVolumeInformation(ReportWriter& w, const VolumeInfoFacts& f);
bool WriteDrivesSection(ReportWriter& w, const std::vector<VolumeInfoFacts>& drives);

} // namespace tvd
