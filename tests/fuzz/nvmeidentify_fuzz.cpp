#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/clnvme.h"
#include "storage/nvmeidentifyutil.h"
#include "storage/w10nvmefun.h"
#include "storage/winnvmeirstfun.h"

// Identify structures come from drives and the request answers from drivers: every decoder must
// stay inside the bytes it was given, whatever offsets and lengths they claim.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tvd;
    const ByteView raw(data, size);

    if (nvmeid::ControllerValid(raw) && size < 4096) __builtin_trap();
    if (nvmeid::Model(raw).size() > 40 || nvmeid::Serial(raw).size() > 20 ||
        nvmeid::Firmware(raw).size() > 8)
        __builtin_trap();
    (void)nvmeid::VersionText(nvmeid::Version(raw));
    (void)nvmeid::TotalCapacity(raw);

    nvmeid::NamespaceInfo ns;
    if (nvmeid::DecodeNamespace(raw, ns)) {
        const std::uint32_t bs = ns.blockSize;
        if (bs != 0 && (bs < 512 || bs > 65536 || (bs & (bs - 1)) != 0)) __builtin_trap();
    }
    if (nvmeid::ActiveNamespaces(raw).size() > size / 4) __builtin_trap();

    // The answer length and the requested length come from the input too.
    std::uint32_t returned = 0;
    std::uint16_t requested = 0;
    LoadLe(raw, 0, returned);
    LoadLe(raw, 4, requested);
    std::vector<std::uint8_t> out(requested % 8192);
    const std::uint32_t clamped = size == 0 ? 0 : returned % static_cast<std::uint32_t>(size + 1);
    w10nvme::ParsePropertyAnswer(raw, returned, out);
    w10nvme::ParsePropertyAnswer(raw, clamped, out);

    w10nvme::PropertyRequest query;
    if (w10nvme::DecodePropertyQuery(raw, query) == err::kSuccess && !InBounds(size, 8 + 40, 0))
        __builtin_trap();

    w10nvme::ProtocolCommandView view;
    if (w10nvme::DecodeProtocolCommand(raw, view) == err::kSuccess &&
        (!InBounds(size, view.dataOffset, view.dataLength) ||
         !InBounds(size, view.errorInfoOffset, view.errorInfoLength)))
        __builtin_trap();
    std::uint8_t completion[kNvmeCompletionSize];
    std::vector<std::uint8_t> dataIn(requested % 4200);
    w10nvme::ParseProtocolCommandAnswer(raw, clamped, (requested & 1) != 0, dataIn, completion);
    irstnvme::ParseAnswer(raw, clamped, dataIn, completion);
    return 0;
}
