#include "net/cljobhttpgetdata.h"

#include <cstring>

namespace tvd {

void clJobHttpGetData::Run() {
    chunkSize = 2048;
    clJobHttpClient::Run();
}

ErrorCode clJobHttpGetData::BeginBody() {
    used = 0;
    return 0;
}

ErrorCode clJobHttpGetData::OnData(std::uint32_t count) {
    const std::int64_t need = static_cast<std::int64_t>(used) + count;
    if (need > targetCapacity || (count > 0 && target == nullptr)) return neterr::kBufferTooSmall;
    std::memcpy(target + used, chunk.data(), count);
    used = static_cast<std::int32_t>(need);
    return 0;
}

} // namespace tvd
