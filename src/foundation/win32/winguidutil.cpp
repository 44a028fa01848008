#include "foundation/guidutil.h"

#include <windows.h>

#include <objbase.h>

#include <cstring>

#include "foundation/win32/winhandle.h"

namespace tvd {

ErrorCode NewGuid(Guid& guid) {
    GUID g{};
    const HRESULT hr = CoCreateGuid(&g);
    if (FAILED(hr)) return win::FromHresult(hr);
    guid.data1 = g.Data1;
    guid.data2 = g.Data2;
    guid.data3 = g.Data3;
    std::memcpy(guid.data4, g.Data4, sizeof guid.data4);
    return err::kSuccess;
}

std::uint32_t TickCount() {
    return GetTickCount();
}

} // namespace tvd
