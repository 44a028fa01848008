// The report's blocks over hostile bytes: the boot-sector block, the string list, the hex dump
// and a disk block whose descriptor, identify and NVMe data are all the input.
#include <cstddef>
#include <cstdint>

#include "report/infowritediskutil.h"
#include "report/infowritefilesystemutil.h"
#include "report/infowriteutil.h"
#include "storage/storagetypes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tvd;
    MemoryReportSink sink(1 << 20);
    ReportWriter w(&sink);
    const ByteView bytes(data, size);
    WriteFileSystemBlock(w, bytes);
    w.StringList(bytes);
    w.HexDump(data, size);
    DiskFacts d;
    d.descriptorError = err::kSuccess;
    d.descriptor.raw.assign(data, data + size);
    d.adapterError = err::kSuccess;
    d.adapter.assign(data, data + size);
    d.hasAta = true;
    d.identify.assign(data, data + size);
    d.hasScsi = true;
    d.inquiry.assign(data, data + std::min<std::size_t>(size, 96));
    d.hasNvme = true;
    d.controller.assign(data, data + size);
    d.namespaceListOk = true;
    d.namespaces.push_back({1, std::vector<std::uint8_t>(data, data + size)});
    WriteDiskBlock(w, d);
    return 0;
}
