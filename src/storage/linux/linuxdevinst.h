// Device-instance keys on Linux: a process-wide table that gives each sysfs device path a 32-bit
// key. A device that leaves and comes back at the same path gets its old key again, as a
// re-plugged device keeps its instance handle on Windows. Keys start at 1; 0 means none.
#pragma once
#include <cstdint>
#include <string>

namespace tvd::linuxsys {

// The key of a sysfs path, assigned on first use; 0 for an empty path or a full table.
std::uint32_t DevInstOf(const std::string& syspath);
// The key of a path that already has one; 0 otherwise.
std::uint32_t FindDevInst(const std::string& syspath);
// The path of a key; false for 0 and keys never handed out.
bool SyspathOf(std::uint32_t devInst, std::string& syspath);

} // namespace tvd::linuxsys
