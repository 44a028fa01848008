#include <windows.h>

#include <algorithm>

#include "foundation/textconvutil.h"
#include "report/infowriteutil.h"

namespace tvd {

ErrorCode FileReportSink::Create(const std::string& path, bool exclusive) {
    Close();
    error_ = err::kSuccess;
    written_ = 0;
    const std::u16string wide = Utf8ToUtf16(path);
    HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(wide.c_str()), GENERIC_WRITE, 0, nullptr,
                           exclusive ? CREATE_NEW : CREATE_ALWAYS,
                           FILE_ATTRIBUTE_ARCHIVE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return err::kSuccess;
}

bool FileReportSink::Write(ByteView bytes) {
    if (handle_ == -1 || error_) return false;
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD n = 0;
        if (!WriteFile(h, bytes.data() + done, chunk, &n, nullptr) || n == 0) {
            error_ = GetLastError();
            if (!error_) error_ = err::kWriteFault;
            return false;
        }
        done += n;
    }
    written_ += done;
    return true;
}

ErrorCode FileReportSink::Close() {
    if (handle_ == -1) return error_;
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    handle_ = -1;
    if (!FlushFileBuffers(h) && !error_) error_ = GetLastError();
    if (!CloseHandle(h) && !error_) error_ = GetLastError();
    return error_;
}

} // namespace tvd
