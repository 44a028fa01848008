// The transfers of the vendor bridge command sets: every step needs GOOD status, and a data
// step the whole length asked for; a short answer is a failure, never zero-filled success.
#pragma once
#include <cstdint>

#include "foundation/bytesutil.h"

namespace tvd {

class clScsi;

namespace bridgeio {
// Bridge commands time out after 10 seconds (the transport's default).
bool NonData(clScsi* transport, ByteView cdb);
// `data` must come back whole.
bool In(clScsi* transport, ByteView cdb, MutableByteView data);
// GOOD status; `got` receives the bytes transferred (for probes that accept short answers).
bool InCount(clScsi* transport, ByteView cdb, MutableByteView data, std::uint32_t& got);
bool Out(clScsi* transport, ByteView cdb, ByteView data);
} // namespace bridgeio

} // namespace tvd
