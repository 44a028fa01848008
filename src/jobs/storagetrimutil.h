// The file side of the SSD optimization, one implementation per platform: a new temporary folder
// on the volume, files written into it and removed again, and (where the file system offers it)
// the file system's own TRIM of its free space. The folder lies on a volume ordinary users may
// write, so it is always made anew (never an existing one) and nothing is opened through a link.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

inline constexpr char kTrimFolderName[] = "VornaTarvikdornTemp";
// Names tried after the plain one when it is taken: NAME.1 ... NAME.kTrimFolderTries.
inline constexpr std::uint32_t kTrimFolderTries = 99;

// Free bytes of the volume that holds `root` (a mount point or folder; a drive letter or root on
// Windows).
ErrorCode TrimVolumeSpace(const std::string& root, std::uint64_t& freeBytes);

// The temporary folder of one run and the files made in it.
class TrimFolder {
public:
    TrimFolder();
    TrimFolder(const TrimFolder&) = delete;
    TrimFolder& operator=(const TrimFolder&) = delete;
    // Removes whatever this run made.
    ~TrimFolder();

    // Makes a new folder under `root`; kAlreadyExists when every name is taken.
    ErrorCode Create(const std::string& root);
    // "N.tmp" made new in the folder (an existing entry of that name fails the file).
    ErrorCode OpenFile(std::uint32_t index);
    // The whole block to the open file, or the error (a full volume is 112, disk full).
    ErrorCode Write(ByteView data);
    // Closes the open file; a failing close (delayed write error) is reported.
    ErrorCode CloseFile();
    // Deletes the files this run made and then the folder (only when empty).
    void RemoveAll();

    // The folder's path; empty before Create and once the folder was removed.
    const std::string& Path() const { return path_; }
    struct Impl;

private:
    std::string path_;
    std::unique_ptr<Impl> impl_;
};

// The file system's TRIM of all its free space (Linux FITRIM, as fstrim does); `trimmedBytes`
// is what the file system reports. kNotSupported where the volume or the platform has none.
ErrorCode TrimFreeSpace(const std::string& root, std::uint64_t& trimmedBytes);

} // namespace tvd
