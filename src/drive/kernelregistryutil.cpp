#include "drive/kernelregistryutil.h"

namespace tvd {

ErrorCode RegWriteDwordBoth(RegRoot root, const std::string& subKey, const std::string& value,
                            std::uint32_t number) {
    const ErrorCode in64 = RegWriteDwordAt64(root, subKey, value, number);
    const ErrorCode inDefault = RegWriteDwordAt(root, subKey, value, number);
    return in64 ? in64 : inDefault;
}

ErrorCode RegWriteStringBoth(RegRoot root, const std::string& subKey, const std::string& value,
                             const char* text) {
    const ErrorCode in64 = RegWriteString64(root, subKey, value, text);
    const ErrorCode inDefault = RegWriteString(root, subKey, value, text);
    return in64 ? in64 : inDefault;
}

} // namespace tvd
