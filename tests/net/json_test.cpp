#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "net/jsonutil.h"

namespace tvd {
namespace {

const std::uint8_t* U(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::optional<std::string> Str(const std::string& text, const char* key) {
    return JsonGetString(U(text), text.size(), key);
}

TEST(Json, StringLookups) {
    struct Row {
        std::string text;
        const char* key;
        std::optional<std::string> want;
    };
    const Row rows[] = {
        {R"({"a":"x","b":"y"})", "b", "y"},
        {R"({ "a" : "x" , "b" : "y" })", "b", "y"},
        // A comma, brace or bracket inside a string hides nothing after it.
        {R"({"msg":"E01: one, two } ] {","url":"https://h/f.exe"})", "url", "https://h/f.exe"},
        {R"({"msg":"say \"hi\", ok","url":"u"})", "msg", "say \"hi\", ok"},
        {R"({"msg":"say \"hi\", ok","url":"u"})", "url", "u"},
        {R"({"n":{"url":"inner"},"url":"outer"})", "url", "outer"},
        {R"({"n":[1,{"x":"]"}],"url":"after"})", "url", "after"},
        {R"({"a":"first","a":"second"})", "a", "first"},
        {R"({"e":"\u00e9\u20ac\ud83d\ude00\n\/\\"})", "e",
         "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\n/\\"},
        {R"({"e":"\u0000"})", "e", std::nullopt},
        {R"({"e":"\ud83d"})", "e", std::nullopt},
        {R"({"e":"\ude00x"})", "e", std::nullopt},
        {R"({"e":"\x41"})", "e", std::nullopt},
        {R"({"e":"\u12"})", "e", std::nullopt},
        {std::string("{\"e\":\"a\tb\"}"), "e", std::nullopt}, // raw control character
        {R"({"n":5})", "n", std::nullopt},                    // not a string
        {R"({"a":"x")", "a", std::nullopt},                   // no closing brace
        {R"({"a":"x)", "a", std::nullopt},
        {R"({"a":"x\)", "a", std::nullopt},
        {R"( {"a":"x"})", "a", std::nullopt}, // the object must start at the first byte
        {R"({})", "a", std::nullopt},
        {R"({"":"empty"})", "", "empty"},
        {R"({"a":[}],"b":"x"})", "b", std::nullopt}, // mismatched brackets
        {"", "a", std::nullopt},
        {"{", "a", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Str(row.text, row.key), row.want);
    }
}

TEST(Json, LookupsStayInsideTheLength) {
    // The bytes after the length look like a valid end; they must not be read.
    const std::string text = R"({"a":"xyz"})";
    for (std::size_t n = 0; n < text.size(); ++n) {
        std::vector<std::uint8_t> exact(text.begin(), text.begin() + static_cast<long>(n));
        EXPECT_FALSE(JsonGetString(exact.data(), exact.size(), "a")) << n;
        EXPECT_FALSE(JsonFindMember(exact.data(), exact.size(), "a")) << n;
    }
    EXPECT_EQ(JsonGetString(U(text), text.size(), "a"), "xyz");
}

TEST(Json, Numbers) {
    struct Row {
        std::string text;
        std::optional<std::uint64_t> want;
    };
    const Row rows[] = {
        {R"({"v":50208})", 50208},
        {R"({"v": 50208 })", 50208},
        {R"({"v":18446744073709551615})", UINT64_MAX},
        {R"({"v":18446744073709551616})", std::nullopt}, // overflow fails instead of wrapping
        {R"({"v":99999999999999999999999})", std::nullopt},
        {R"({"v":-1})", std::nullopt},
        {R"({"v":1.5})", std::nullopt},
        {R"({"v":"50300"})", std::nullopt},
        {R"({"v":true})", std::nullopt},
        {R"({"v":})", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(JsonGetNumber(U(row.text), row.text.size(), "v"), row.want);
    }
}

TEST(Json, NestedObjectsAndStart) {
    const std::string rec =
        R"({"x":[{"Tarvik":1}],"Software":{"Other":{},"Tarvik":{"version":50300}}})";
    const auto s = JsonObjectOffset(U(rec), rec.size(), "Software");
    ASSERT_GT(s, 0);
    const auto t = JsonObjectOffset(U(rec) + s, rec.size() - static_cast<std::size_t>(s), "Tarvik");
    ASSERT_GT(t, 0);
    const std::size_t at = static_cast<std::size_t>(s + t);
    EXPECT_EQ(JsonGetNumber(U(rec) + at, rec.size() - at, "version"), 50300u);
    EXPECT_EQ(JsonObjectOffset(U(rec), rec.size(), "x"), -1);
    EXPECT_EQ(JsonObjectOffset(U(rec), rec.size(), "Tarvik"), -1); // only the outer members

    struct Row {
        std::string text;
        std::size_t want;
    };
    const Row starts[] = {
        {"\xef\xbb\xbf{\"a\":1}", 3},        {"{\"s\":1}", 0},        {" \r\n\t{}", 4},
        {"\xef\xbb", std::string::npos},     {"", std::string::npos}, {"x{}", std::string::npos},
        {"\xef\xbb\xbf", std::string::npos},
    };
    for (const auto& row : starts)
        EXPECT_EQ(JsonObjectStart(U(row.text), row.text.size()), row.want) << row.text;
}

} // namespace
} // namespace tvd
