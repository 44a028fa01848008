// An HTTP job that copies the body into a buffer its caller supplies.
#pragma once
#include <cstdint>

#include "net/cljobhttpclient.h"

namespace tvd {

class clJobHttpGetData : public clJobHttpClient {
public:
    TVD_ISA(clJobHttpGetData, clJobHttpClient)

    void Run() override;

    // Owned by the caller, alive until the job has finished. A body that fills it exactly fits.
    std::uint8_t* target = nullptr;
    std::int32_t targetCapacity = 0;
    std::int32_t used = 0;

protected:
    ErrorCode BeginBody() override;
    ErrorCode OnData(std::uint32_t count) override;
};

} // namespace tvd
