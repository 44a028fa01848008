#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace tvd {
namespace {

TEST(BytesUtil, LoadsRespectBoundsAndByteOrder) {
    const std::uint8_t raw[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    ByteView b(raw);
    std::uint32_t v = 0;
    EXPECT_TRUE(LoadLe(b, 0, v));
    EXPECT_EQ(v, 0x04030201u);
    EXPECT_TRUE(LoadBe(b, 1, v));
    EXPECT_EQ(v, 0x02030405u);
    EXPECT_FALSE(LoadLe(b, 2, v));        // would read one byte past the end
    EXPECT_FALSE(LoadLe(b, SIZE_MAX, v)); // offset overflow
    EXPECT_EQ(Le<std::uint16_t>(b, 4, 0xBEEF), 0xBEEF);
    EXPECT_EQ(Le<std::uint8_t>(b, 4), 5);
}

TEST(BytesUtil, StoresRoundTrip) {
    std::uint8_t raw[8] = {};
    EXPECT_TRUE(StoreBe<std::uint64_t>(raw, 0, 0x0102030405060708ull));
    EXPECT_EQ(raw[0], 1);
    EXPECT_EQ(Be<std::uint64_t>(raw, 0), 0x0102030405060708ull);
    EXPECT_FALSE(StoreLe<std::uint16_t>(raw, 7, 1));
}

TEST(ErrorCodes, ErrnoMapsToWindowsNumbers) {
    struct {
        int e;
        ErrorCode want;
    } rows[] = {
        {0, err::kSuccess},           {ENOENT, err::kFileNotFound},
        {EACCES, err::kAccessDenied}, {ENOMEM, err::kNotEnoughMemory},
        {EEXIST, err::kFileExists},   {EINVAL, err::kInvalidParameter},
    };
    for (auto& r : rows)
        EXPECT_EQ(ErrorFromErrno(r.e), r.want) << r.e;
}

} // namespace
} // namespace tvd
