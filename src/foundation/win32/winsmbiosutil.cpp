#include "foundation/smbiosutil.h"

#include <windows.h>

#include "foundation/envutil.h"
#include "foundation/win32/winmodules.h"
#include "foundation/win32/winsmbios.h"

namespace tvd {

namespace win {

namespace {

constexpr DWORD kRawSmbiosProvider = ('R' << 24) | ('S' << 16) | ('M' << 8) | 'B';

// The header's Length must account for exactly the bytes received: a table cut short or padded
// would send the structure walk past real data.
ErrorCode Accept(std::vector<std::uint8_t>& raw, std::vector<std::uint8_t>& blob) {
    if (!SmbiosBlobValid(raw)) return err::kInvalidData;
    blob = std::move(raw);
    return err::kSuccess;
}

} // namespace

ErrorCode ReadSmbiosFromFirmware(std::vector<std::uint8_t>& blob) {
    blob.clear();
    auto firmwareTable = BoundGetSystemFirmwareTable();
    if (!firmwareTable) return err::kFileNotFound;
    const UINT size = firmwareTable(kRawSmbiosProvider, 0, nullptr, 0);
    if (size == 0) {
        const DWORD e = GetLastError();
        return e ? e : err::kFileNotFound;
    }
    std::vector<std::uint8_t> raw(size);
    const UINT got = firmwareTable(kRawSmbiosProvider, 0, raw.data(), size);
    if (got == 0) {
        const DWORD e = GetLastError();
        return e ? e : err::kFileNotFound;
    }
    if (got > size) return err::kInvalidData; // the table changed between the calls
    raw.resize(got);
    return Accept(raw, blob);
}

ErrorCode ReadSmbiosFromRegistry(RegistryBackend& registry, std::vector<std::uint8_t>& blob) {
    blob.clear();
    std::uint32_t type = 0;
    std::vector<std::uint8_t> raw;
    if (ErrorCode e = registry.QueryValue(RegRoot::kLocalMachine,
                                          "System\\CurrentControlSet\\Services\\mssmbios\\Data",
                                          "SMBiosData", RegView::kDefault, type, raw))
        return e;
    if (type != regtype::kBinary) return err::kBadFormat;
    return Accept(raw, blob);
}

} // namespace win

ErrorCode ReadSmbios(std::vector<std::uint8_t>& blob) {
    blob.clear();
    if (!IsNt()) return err::kFileNotFound;
    if (IsVistaOrLater()) return win::ReadSmbiosFromFirmware(blob);
    return win::ReadSmbiosFromRegistry(Registry(), blob);
}

} // namespace tvd
