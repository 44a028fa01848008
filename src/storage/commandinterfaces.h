// Registers the factories of the command interfaces with the interface choice: the portable
// ones (SCSI on the disk path, the USB bridges with SCSI/ATA Translation and the vendor sets),
// then the platform's own paths.
#pragma once

namespace tvd {

// Safe to call more than once; later calls change nothing.
void RegisterCommandInterfaces();

// The factories of this platform's command paths (one definition per platform).
void RegisterPlatformCommandInterfaces();

} // namespace tvd
