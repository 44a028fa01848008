// A SetupDi device information set, destroyed with its owner.
#pragma once
#include <windows.h>

#include <setupapi.h>

namespace tvd::win {

class DevInfoSet {
public:
    explicit DevInfoSet(HDEVINFO set) : set_(set) {}
    ~DevInfoSet() {
        if (valid()) SetupDiDestroyDeviceInfoList(set_);
    }
    DevInfoSet(const DevInfoSet&) = delete;
    DevInfoSet& operator=(const DevInfoSet&) = delete;
    bool valid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

} // namespace tvd::win
