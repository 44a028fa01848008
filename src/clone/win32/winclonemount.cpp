#include <windows.h>

#include <vector>

#include "clone/clonemountutil.h"
#include "foundation/textconvutil.h"

namespace tvd {

// A volume Windows has mounted (a drive letter or folder) and does not hold read-only is live:
// until the snapshot service is embedded nothing freezes it, so the clone refuses it without
// --live, as on Linux. A path that names no volume is not a mounted one.
bool IsMountedWritable(const std::string& volumePath) {
    if (volumePath.size() < 8) return false;
    std::u16string name = Utf8ToUtf16(volumePath);
    if (name.back() != u'\\') name += u'\\';
    const auto* wname = reinterpret_cast<const wchar_t*>(name.c_str());
    std::vector<wchar_t> paths(1024);
    DWORD length = 0;
    if (!GetVolumePathNamesForVolumeNameW(wname, paths.data(), static_cast<DWORD>(paths.size()),
                                          &length)) {
        if (GetLastError() != ERROR_MORE_DATA || length == 0 || length > 65536) return false;
        paths.assign(length, L'\0');
        if (!GetVolumePathNamesForVolumeNameW(wname, paths.data(), static_cast<DWORD>(paths.size()),
                                              &length))
            return false;
    }
    if (paths[0] == L'\0') return false; // a volume without a mount point
    DWORD flags = 0;
    if (GetVolumeInformationW(wname, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
        (flags & FILE_READ_ONLY_VOLUME))
        return false;
    return true;
}

} // namespace tvd
