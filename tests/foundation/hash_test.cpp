#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "foundation/bcryptutil.h"
#include "foundation/crc32util.h"
#include "net/sha256util.h"

namespace tvd {
namespace {

template <class Bytes> std::string Hex(const Bytes& bytes) {
    std::string text;
    char two[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        text += two;
    }
    return text;
}

ByteView Bytes(const std::string& s) {
    return ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

TEST(Crc32, CheckValueAndIncremental) {
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32("", 0), 0u);
    EXPECT_EQ(Crc32("a", 1), 0xE8B7BE43u);
    const std::string text = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(Crc32(text.data(), text.size()), 0x414FA339u);
    for (std::size_t cut : {std::size_t(0), std::size_t(1), std::size_t(20), text.size()})
        EXPECT_EQ(Crc32Update(Crc32(text.data(), cut), text.data() + cut, text.size() - cut),
                  0x414FA339u)
            << cut;
    EXPECT_EQ(Crc32(nullptr, 5), 0u);
}

TEST(Sha256, Fips180Vectors) {
    struct Row {
        std::string message;
        const char* digest;
    } rows[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Lengths around the padding boundary, digests from coreutils' sha256sum.
        {std::string(55, 'x'), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
        {std::string(56, 'x'), "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e"},
        {std::string(63, 'x'), "75220b47218278e656f2013bb8f0c455a25eaf01e86c64924e9d48d89776d6f2"},
        {std::string(64, 'x'), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
        {std::string(120, 'x'), "13f05a0b594787f5ecd315edc96141bd3243203d1b7d4f0836f37308b276ba98"},
    };
    for (const auto& r : rows) {
        Sha256State one;
        one.Update(r.message.data(), r.message.size());
        EXPECT_EQ(Hex(one.Finish()), r.digest) << "length " << r.message.size();
        // Fed in odd pieces, the state gives the same digest.
        Sha256State pieces;
        for (std::size_t at = 0; at < r.message.size(); at += 7)
            pieces.Update(r.message.data() + at, std::min<std::size_t>(7, r.message.size() - at));
        EXPECT_EQ(Hex(pieces.Finish()), r.digest) << "pieces, length " << r.message.size();
    }
}

TEST(HashContext, Sha256ByNameAndUnknownAlgorithm) {
    std::vector<std::uint8_t> digest;
    ASSERT_EQ(Sha256(Bytes("abc"), digest), err::kSuccess);
    EXPECT_EQ(Hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    HashContext hash;
    ASSERT_EQ(hash.Open(u"SHA256"), err::kSuccess);
    EXPECT_EQ(hash.DigestLength(), 32u);
    ASSERT_EQ(hash.Update(Bytes("ab")), err::kSuccess);
    ASSERT_EQ(hash.Update(Bytes("c")), err::kSuccess);
    ASSERT_EQ(hash.Finish(digest), err::kSuccess);
    EXPECT_EQ(Hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_NE(hash.Update(Bytes("more")), err::kSuccess); // finished: must be opened again

    HashContext unknown;
    EXPECT_NE(unknown.Open(u"NOSUCHHASH"), err::kSuccess);
    EXPECT_NE(unknown.Update(Bytes("abc")), err::kSuccess);
    EXPECT_NE(unknown.Finish(digest), err::kSuccess);
    EXPECT_TRUE(digest.empty());
    EXPECT_NE(unknown.Open(nullptr), err::kSuccess);
}

} // namespace
} // namespace tvd
