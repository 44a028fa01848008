#pragma once
#include "jobs/clbenchmarkitem.h"

namespace tvd {

class clBenchMarkWriteItem : public clBenchMarkItem {
public:
    TVD_ISA(clBenchMarkWriteItem, clBenchMarkItem)

protected:
    std::unique_ptr<BenchIoFile> OpenFile(BenchFolder& folder, ErrorCode& error) override {
        return OpenBenchIoFile(folder, true, sequential, queueDepth, error);
    }
};

} // namespace tvd
