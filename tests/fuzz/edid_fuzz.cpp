// The EDID decoder and the monitor lines over hostile bytes.
#include <cstddef>
#include <cstdint>

#include "report/edidutil.h"
#include "report/infosavemonitorutil.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tvd;
    const ByteView bytes(data, size);
    if (const auto id = DecodeEdid(bytes)) {
        if (id->makerId.size() != 3) __builtin_trap();
        if (id->name && id->name->size() > 13) __builtin_trap();
    }
    MemoryReportSink sink(1 << 16);
    ReportWriter w(&sink);
    WriteEdidLines(w, err::kSuccess, bytes);
    return 0;
}
