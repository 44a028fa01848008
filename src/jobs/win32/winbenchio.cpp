// The benchmark's files on Windows: overlapped requests on a file opened with
// FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, one event per slot.
#include <windows.h>
#include <winioctl.h>

#include <vector>

#include "foundation/textconvutil.h"
#include "foundation/win32/winhandle.h"
#include "jobs/benchioutil.h"

namespace tvd {

struct BenchFolder::Impl {
    std::u16string folder;
    std::u16string file;
};

struct BenchFileWriter::Impl {
    win::UniqueHandle handle;
};

namespace {

ErrorCode LastError() {
    const DWORD e = GetLastError();
    return e ? e : err::kGenFailure;
}

bool IsReparsePoint(const std::u16string& path) {
    const DWORD attrs = GetFileAttributesW(win::W(path));
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Removes a leftover test file; a link in its place is removed itself, never followed.
ErrorCode RemoveTestFile(const std::u16string& path) {
    const DWORD attrs = GetFileAttributesW(win::W(path));
    if (attrs == INVALID_FILE_ATTRIBUTES) return err::kSuccess;
    SetFileAttributesW(win::W(path), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(win::W(path))) return err::kSuccess;
    return LastError();
}

class OverlappedFile final : public BenchIoFile {
public:
    ~OverlappedFile() override {
        // Nothing may complete into a freed buffer: cancel and wait for what is in flight.
        if (handle_.valid()) {
            for (std::size_t s = 0; s < slots_.size(); ++s) {
                if (!slots_[s].pending) continue;
                CancelIoEx(handle_.get(), &slots_[s].ov);
                DWORD n = 0;
                GetOverlappedResult(handle_.get(), &slots_[s].ov, &n, TRUE);
            }
        }
        for (Slot& s : slots_)
            if (s.ov.hEvent) CloseHandle(s.ov.hEvent);
    }

    ErrorCode Open(const std::u16string& path, bool write, bool sequential, std::uint32_t depth) {
        if (depth == 0 || depth > MAXIMUM_WAIT_OBJECTS) return err::kInvalidParameter;
        slots_.resize(depth);
        for (Slot& s : slots_) {
            s.ov.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
            if (!s.ov.hEvent) return LastError();
        }
        const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING |
                            FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OPEN_REPARSE_POINT |
                            (sequential ? FILE_FLAG_SEQUENTIAL_SCAN : FILE_FLAG_RANDOM_ACCESS);
        handle_.reset(CreateFileW(win::W(path), write ? GENERIC_WRITE : GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, flags, nullptr));
        if (!handle_.valid()) return LastError();
        write_ = write;
        return err::kSuccess;
    }

    ErrorCode Start(std::uint32_t slot, std::uint64_t offset, MutableByteView data) override {
        if (slot >= slots_.size() || slots_[slot].pending) return err::kInvalidParameter;
        Slot& s = slots_[slot];
        s.ov.Offset = static_cast<DWORD>(offset);
        s.ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
        s.size = static_cast<DWORD>(data.size());
        DWORD n = 0;
        const BOOL ok = write_ ? WriteFile(handle_.get(), data.data(), s.size, &n, &s.ov)
                               : ReadFile(handle_.get(), data.data(), s.size, &n, &s.ov);
        if (ok) return n == s.size ? err::kSuccess : err::kHandleEof;
        const DWORD e = GetLastError();
        if (e == ERROR_IO_PENDING || e == ERROR_IO_INCOMPLETE) {
            s.pending = true;
            return err::kIoPending;
        }
        return e ? e : err::kGenFailure;
    }

    ErrorCode Check(std::uint32_t slot) override {
        if (slot >= slots_.size()) return err::kInvalidParameter;
        Slot& s = slots_[slot];
        DWORD n = 0;
        if (!GetOverlappedResult(handle_.get(), &s.ov, &n, FALSE)) {
            const DWORD e = GetLastError();
            if (e == ERROR_IO_INCOMPLETE || e == ERROR_IO_PENDING) return err::kIoIncomplete;
            s.pending = false;
            return e ? e : err::kGenFailure;
        }
        s.pending = false;
        return n == s.size ? err::kSuccess : err::kHandleEof;
    }

    bool WaitAny(std::uint32_t ms) override {
        HANDLE events[MAXIMUM_WAIT_OBJECTS];
        DWORD count = 0;
        for (Slot& s : slots_)
            if (s.pending) events[count++] = s.ov.hEvent;
        if (count == 0) return true;
        const DWORD r = WaitForMultipleObjects(count, events, FALSE, ms);
        return r < WAIT_OBJECT_0 + count;
    }

    const char* Method() const override { return "overlapped"; }

private:
    struct Slot {
        OVERLAPPED ov{};
        DWORD size = 0;
        bool pending = false;
    };
    win::UniqueHandle handle_;
    std::vector<Slot> slots_;
    bool write_ = false;
};

} // namespace

std::string BenchFolderPath(const std::string& volume) {
    // A drive letter names its volume's root; anything else is taken as a folder on the volume.
    std::string root = volume;
    if (root.size() == 2 && root[1] == ':') root += '\\';
    if (!root.empty() && root.back() != '\\' && root.back() != '/') root += '\\';
    return root + "VornaTarvikdornTemp";
}

ErrorCode BenchVolumeSpace(const std::string& volume, std::uint64_t& freeBytes,
                           std::uint64_t& totalBytes) {
    std::string root = volume;
    if (root.size() == 2 && root[1] == ':') root += '\\';
    ULARGE_INTEGER avail{}, total{}, totalFree{};
    if (!GetDiskFreeSpaceExW(win::W(Utf8ToUtf16(root)), &avail, &total, &totalFree))
        return LastError();
    freeBytes = totalFree.QuadPart;
    totalBytes = total.QuadPart;
    return err::kSuccess;
}

BenchFolder::BenchFolder() = default;

BenchFolder::~BenchFolder() = default;

ErrorCode BenchFolder::Create(const std::string& path) {
    path_ = path;
    impl_ = std::make_unique<Impl>();
    impl_->folder = Utf8ToUtf16(path);
    impl_->file = impl_->folder + u"\\" + Utf8ToUtf16(kBenchFileName);
    if (!CreateDirectoryW(win::W(impl_->folder), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return LastError();
    // A junction or link in the folder's place would send our writes elsewhere.
    if (IsReparsePoint(impl_->folder)) return err::kAccessDenied;
    return err::kSuccess;
}

void BenchFolder::RemoveAll() {
    if (!impl_) return;
    RemoveTestFile(impl_->file);
    // Only an empty folder goes: anything a user keeps there stays.
    if (!IsReparsePoint(impl_->folder)) RemoveDirectoryW(win::W(impl_->folder));
    impl_.reset();
}

BenchFileWriter::BenchFileWriter() = default;

BenchFileWriter::~BenchFileWriter() {
    Close();
}

ErrorCode BenchFileWriter::Create(BenchFolder& folder) {
    Close();
    BenchFolder::Impl* dir = folder.Get();
    if (!dir) return err::kInvalidHandle;
    if (const ErrorCode e = RemoveTestFile(dir->file)) return e;
    impl_ = std::make_unique<Impl>();
    impl_->handle.reset(CreateFileW(win::W(dir->file), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH |
                                        FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN,
                                    nullptr));
    if (!impl_->handle.valid()) return LastError();
    // Compression would flatter the random data's rates; the answer does not matter.
    USHORT format = COMPRESSION_FORMAT_NONE;
    DWORD returned = 0;
    DeviceIoControl(impl_->handle.get(), FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                    &returned, nullptr);
    return err::kSuccess;
}

ErrorCode BenchFileWriter::Write(ByteView data) {
    if (!impl_ || !impl_->handle.valid()) return err::kInvalidHandle;
    DWORD n = 0;
    if (!WriteFile(impl_->handle.get(), data.data(), static_cast<DWORD>(data.size()), &n, nullptr))
        return LastError();
    return n == data.size() ? err::kSuccess : err::kHandleEof;
}

ErrorCode BenchFileWriter::Close() {
    if (!impl_ || !impl_->handle.valid()) return err::kSuccess;
    impl_->handle.reset();
    return err::kSuccess;
}

std::unique_ptr<BenchIoFile> OpenBenchIoFile(BenchFolder& folder, bool write, bool sequential,
                                             std::uint32_t depth, ErrorCode& error) {
    BenchFolder::Impl* dir = folder.Get();
    if (!dir) {
        error = err::kInvalidHandle;
        return nullptr;
    }
    auto file = std::make_unique<OverlappedFile>();
    error = file->Open(dir->file, write, sequential, depth);
    if (error != err::kSuccess) return nullptr;
    return file;
}

} // namespace tvd
