#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/usbdescriptorutil.h"

// Hub answers come from the hub driver and the device behind it: the decoders read only the
// bytes that came back, whatever the counts and lengths inside say.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tvd;
    const ByteView raw(data, size);

    if (const auto info = usbdesc::DecodeConnectionInfo(raw)) {
        // Never more pipes than entries that fit in what came back.
        if (size < usbconn::kPipeList ||
            info->pipes.size() > (size - usbconn::kPipeList) / usbconn::kPipeSize ||
            info->pipes.size() > usbconn::kMaxPipes)
            __builtin_trap();
        const std::uint16_t link = usbdesc::LinkVersion(*info);
        if (link != 0 && link != 0x0100 && link != 0x0110 && link != 0x0200 && link != 0x0300)
            __builtin_trap();
        // What is encoded decodes to the same record.
        const std::vector<std::uint8_t> again = usbdesc::EncodeConnectionInfo(*info);
        const auto back = usbdesc::DecodeConnectionInfo(again);
        if (!back || back->pipes.size() != info->pipes.size() ||
            back->deviceDescriptor != info->deviceDescriptor)
            __builtin_trap();
    } else if (size >= usbconn::kMinAnswer) {
        __builtin_trap();
    }

    if (const auto text = usbdesc::DecodeStringAnswer(raw)) {
        // At most one character per UTF-16 unit of a descriptor that fits the answer.
        if (size <= usbdescreq::kData || text->size() > (size - usbdescreq::kData) / 2)
            __builtin_trap();
    }
    usbdesc::HubPortCount(raw);
    const std::string name = usbdesc::DecodeName(raw, size ? data[0] % 16 : 0);
    if (name.size() > size / 2) __builtin_trap();
    return 0;
}
