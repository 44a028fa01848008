#pragma once
#include "jobs/clbenchmarkitem.h"

namespace tvd {

class clBenchMarkReadItem : public clBenchMarkItem {
public:
    TVD_ISA(clBenchMarkReadItem, clBenchMarkItem)

protected:
    std::unique_ptr<BenchIoFile> OpenFile(BenchFolder& folder, ErrorCode& error) override {
        return OpenBenchIoFile(folder, false, sequential, queueDepth, error);
    }
};

} // namespace tvd
