#include "storage/usbbridgeio.h"

#include "storage/clscsi.h"

namespace tvd::bridgeio {

bool NonData(clScsi* transport, ByteView cdb) {
    if (!transport) return false;
    transport->Open();
    std::uint8_t status = 0xFF;
    return transport->ExecNonData(cdb, &status) && status == 0;
}

bool InCount(clScsi* transport, ByteView cdb, MutableByteView data, std::uint32_t& got) {
    got = 0;
    if (!transport || data.size() > 0xFFFFFFFFu) return false;
    transport->Open();
    std::uint8_t status = 0xFF;
    std::uint32_t length = static_cast<std::uint32_t>(data.size());
    if (!transport->ExecDataIn(cdb, data, length, &status) || status != 0) return false;
    got = length;
    return length <= data.size();
}

bool In(clScsi* transport, ByteView cdb, MutableByteView data) {
    std::uint32_t got = 0;
    return InCount(transport, cdb, data, got) && got == data.size();
}

bool Out(clScsi* transport, ByteView cdb, ByteView data) {
    if (!transport || data.size() > 0xFFFFFFFFu) return false;
    transport->Open();
    std::uint8_t status = 0xFF;
    std::uint32_t length = static_cast<std::uint32_t>(data.size());
    return transport->ExecDataOut(cdb, data, length, &status) && status == 0 &&
           length == data.size();
}

} // namespace tvd::bridgeio
