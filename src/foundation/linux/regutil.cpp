// Linux has no registry. The platform backend refuses every operation with "not supported" so
// that Windows-only settings report that plainly instead of seeming to succeed.
#include "foundation/regutil.h"

namespace tvd {

namespace {

class NoRegistry final : public RegistryBackend {
public:
    ErrorCode OpenKey(RegRoot, const std::string&, RegView) override { return err::kNotSupported; }
    ErrorCode CreateKey(RegRoot, const std::string&, RegView) override {
        return err::kNotSupported;
    }
    ErrorCode DeleteKey(RegRoot, const std::string&, RegView) override {
        return err::kNotSupported;
    }
    ErrorCode QueryValue(RegRoot, const std::string&, const std::string&, RegView,
                         std::uint32_t& type, std::vector<std::uint8_t>& data) override {
        type = regtype::kNone;
        data.clear();
        return err::kNotSupported;
    }
    ErrorCode SetValue(RegRoot, const std::string&, const std::string&, RegView, std::uint32_t,
                       ByteView) override {
        return err::kNotSupported;
    }
    ErrorCode DeleteValue(RegRoot, const std::string&, const std::string&, RegView) override {
        return err::kNotSupported;
    }
    ErrorCode EnumSubKeys(RegRoot, const std::string&, RegView,
                          std::vector<std::string>& names) override {
        names.clear();
        return err::kNotSupported;
    }
    ErrorCode EnumValues(RegRoot, const std::string&, RegView,
                         std::vector<std::string>& names) override {
        names.clear();
        return err::kNotSupported;
    }
};

} // namespace

RegistryBackend& PlatformRegistry() {
    static NoRegistry backend;
    return backend;
}

} // namespace tvd
