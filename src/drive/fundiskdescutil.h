// The descriptor texts of a functional disk, built from its interfaces on first request and
// cached in its members. A detached disk answers only what it knew before.
#pragma once
#include <string>

#include "drive/clfundisk.h"
#include "storage/storagetypes.h"

namespace tvd {

// The folder that holds the per-drive settings files (the application data folder).
void SetFunDiskSettingsFolder(std::string folder);
const std::string& FunDiskSettingsFolder();

// The storage device descriptor (vendor, product, revision, serial); empty when the disk cannot
// be asked.
StorageDeviceDescriptor QueryDescriptor(clFunDisk* fd);

const std::string* GetBusText(clFunDisk* fd);
const std::string* GetFirmware(clFunDisk* fd);
const std::string* GetConfigKey(clFunDisk* fd);
// Empty when there is no key or no settings folder.
std::string GetConfigPath(clFunDisk* fd);
std::string GetWwnText(clFunDisk* fd);
std::string DisplayNameShort(clFunDisk* fd);
// "Disk N - capacity (letters)"; empty without a disk.
std::string DisplayNameLong(clFunDisk* fd, std::uint32_t letterMask);
const char* DiskIcon(clFunDisk* fd);

} // namespace tvd
