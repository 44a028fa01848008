#include <cstddef>
#include <cstdint>

#include "storage/clscsi.h"
#include "storage/sptiiofun.h"

// INQUIRY data, sense data and pass-through answers come from drives and bridges: the decoders
// read only the bytes they were given and keep every text within its field.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tvd;
    const ByteView raw(data, size);

    const ScsiIdentity id = DecodeInquiry(raw);
    if (id.vendor.size() > 8 || id.product.size() > 16 || id.revision.size() > 4 ||
        id.ModelText().size() > 29)
        __builtin_trap();
    if (size < 36 && !id.revision.empty()) __builtin_trap();

    AtaRegisters regs;
    scsicmd::AtaReturnFromSense(raw, regs);

    // The same bytes as a returned pass-through buffer, for a data-in request of the size its
    // first byte names.
    for (LayoutWidth w : {LayoutWidth::k32, LayoutWidth::k64}) {
        spti::Request req;
        const std::uint8_t cdb[6] = {0x12, 0, 0, 0, 0x60, 0};
        req.cdb = cdb;
        req.direction = DataDirection::kIn;
        req.dataLength = size ? data[0] : 0;
        spti::Answer a;
        if (spti::Decode(w, req, raw, a) == err::kSuccess &&
            (a.data.size() > req.dataLength || a.sense.size() > kScsiSenseSize ||
             a.data.data() + a.data.size() > data + size))
            __builtin_trap();
    }
    return 0;
}
