#include "shell/processutil.h"

#include <gtest/gtest.h>

namespace tvd {
namespace {

// The window program's process helpers have no Linux form: they say so and do nothing.
TEST(ProcessUtilLinux, NotSupportedOnThisPlatform) {
    std::uint32_t code = 99;
    EXPECT_EQ(RunAndWait("/bin/true", "", "", &code), err::kNotSupported);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(OpenWebPage("https://example.com/"), err::kNotSupported);
}

} // namespace
} // namespace tvd
