// The report's file-system block: what a volume's first sector says about its file system.
#pragma once
#include <cstdint>

#include "foundation/bytesutil.h"
#include "report/infowriteutil.h"

namespace tvd {

// A sector size the boot block is read with: a power of two from 512 to 4096.
bool BootSectorSizeValid(std::uint32_t bytesPerSector);
// " NOT formatted" (an all-zero sector), " Unknown File System", or the block of the FAT12,
// FAT16, FAT32, NTFS or exFAT boot sector. Every value comes through the bounded loads; sizes
// that multiply or divide are checked first.
bool WriteFileSystemBlock(ReportWriter& w, ByteView sector);

} // namespace tvd
