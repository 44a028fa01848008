// The file side of the benchmark, one implementation per platform: the test folder and file on
// the tested volume, written and read unbuffered and write-through with several requests in
// flight (Windows: overlapped I/O; Linux: io_uring, O_DIRECT | O_DSYNC). Names inside the folder
// are opened relative to it and never through a link, since the folder lies on a volume that
// other users may write.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

// The folder on the volume: "X:\VornaTarvikdornTemp" on Windows, VOLUME/VornaTarvikdornTemp on
// Linux, where `volume` is the mount point (or any folder) of the volume.
std::string BenchFolderPath(const std::string& volume);
inline constexpr const char* kBenchFileName = "BenchMark.tmp";

// Free bytes of the volume that holds `volume` (what an unprivileged writer may use) and its size.
ErrorCode BenchVolumeSpace(const std::string& volume, std::uint64_t& freeBytes,
                           std::uint64_t& totalBytes);

// The test folder, created when missing (an existing folder is fine; a link is refused).
class BenchFolder {
public:
    BenchFolder();
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
    ~BenchFolder();
    ErrorCode Create(const std::string& path);
    // Removes the test file (whatever state it is in) and then the folder when it is empty.
    void RemoveAll();
    const std::string& Path() const { return path_; }
    struct Impl;
    Impl* Get() const { return impl_.get(); }

private:
    std::string path_;
    std::unique_ptr<Impl> impl_;
};

// Writes the test file anew (an older one is removed first, never followed) in whole
// 1 MiB-aligned blocks, unbuffered and write-through, with file-system compression switched off.
class BenchFileWriter {
public:
    BenchFileWriter();
    BenchFileWriter(const BenchFileWriter&) = delete;
    BenchFileWriter& operator=(const BenchFileWriter&) = delete;
    ~BenchFileWriter();
    ErrorCode Create(BenchFolder& folder);
    // The whole block or an error; `data` must be 4096-byte aligned.
    ErrorCode Write(ByteView data);
    ErrorCode Close();
    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The test file opened for one measurement with `depth` request slots.
class BenchIoFile {
public:
    virtual ~BenchIoFile() = default;
    // Starts a transfer of `data` at `offset` in `slot` (the buffer stays untouched until the
    // slot completes): kSuccess when it completed at once, err::kIoPending while in flight,
    // anything else is the failure.
    virtual ErrorCode Start(std::uint32_t slot, std::uint64_t offset, MutableByteView data) = 0;
    // A started slot without waiting: kSuccess done (the whole length moved), err::kIoIncomplete
    // still in flight, anything else the failure (a short transfer is err::kHandleEof).
    virtual ErrorCode Check(std::uint32_t slot) = 0;
    // Waits at most `ms` milliseconds for any started slot; true when one may have completed.
    virtual bool WaitAny(std::uint32_t ms) = 0;
    // How requests are issued: "overlapped", "io_uring" or "synchronous" (one at a time, where
    // the system refuses io_uring).
    virtual const char* Method() const = 0;
};

std::unique_ptr<BenchIoFile> OpenBenchIoFile(BenchFolder& folder, bool write, bool sequential,
                                             std::uint32_t depth, ErrorCode& error);

} // namespace tvd
