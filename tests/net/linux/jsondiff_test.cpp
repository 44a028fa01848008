// The JSON reader against python's json module: every top-level string and number member of a
// corpus of replies must read the same (python decides what the text means).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "net/jsonutil.h"

namespace tvd {
namespace {

constexpr const char* kLister = R"PY(
import json, sys
for path in sys.argv[1:]:
    raw = open(path, "rb").read()
    try:
        doc = json.loads(raw.decode("utf-8-sig"))
    except Exception:
        print(path + "\tBAD"); continue
    if not isinstance(doc, dict):
        print(path + "\tBAD"); continue
    for k, v in doc.items():
        kh = k.encode("utf-8", "surrogatepass").hex()
        if isinstance(v, bool) or v is None:
            print(path + "\t" + kh + "\tO\t-")
        elif isinstance(v, int):
            print(path + "\t" + kh + "\t" + ("N\t%d" % v if 0 <= v < 2**64 else "O\t-"))
        elif isinstance(v, str):
            try:
                b = v.encode("utf-8")
                print(path + "\t" + kh + "\t" + ("S\t" + b.hex() if b"\0" not in b else "X\t-"))
            except UnicodeEncodeError:
                print(path + "\t" + kh + "\tX\t-")
        else:
            print(path + "\t" + kh + "\tO\t-")
)PY";

std::string Unhex(const std::string& h) {
    std::string out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2)
        out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return out;
}

TEST(JsonDifferential, AgreesWithPython) {
    const std::vector<std::string> corpus = {
        R"({"statuscode":"Y","successcode":"Y002","msg":"E01: a, b } c","url":"https://h/x.exe"})",
        R"({ "a" : "x\"y" , "b":"\\\/\b\f\n\r\t", "c" : 12345 , "d":0 })",
        R"({"e":"\u00e9\u20ac\ud83d\ude00","f":"\ud83d","g":"\u0000","h":"plain"})",
        R"({"n":{"url":"inner","x":[1,2,{"y":"}"}]},"url":"outer","v":18446744073709551615})",
        R"({"big":18446744073709551616,"neg":-5,"fl":1.5,"exp":1e3,"t":true,"nul":null})",
        R"({"arr":["a,","b]"],"s":"[{]}","k\"q":"escaped key"})",
        "\xef\xbb\xbf{\"bom\":\"yes\",\"n\":7}",
        "  \r\n{\"ws\":\"lead\"}",
        R"({"Software":{"Tarvik":{"version":50208,"download":"https://d/t.exe"}},"z":"end"})",
        "{\"utf8\":\"\xc3\xa9t\xc3\xa9\",\"mixed\":\"a\\u00e9\xc3\xa9\"}",
        R"({})",
        R"({"only":"one"})",
    };
    char tmpl[] = "/tmp/tvdjsonXXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const std::filesystem::path dir = tmpl;
    std::ofstream(dir / "lister.py") << kLister;
    std::string cmd = "python3 " + (dir / "lister.py").string();
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        std::ofstream(dir / std::to_string(i), std::ios::binary) << corpus[i];
        cmd += " " + (dir / std::to_string(i)).string();
    }
    std::string out;
    if (std::FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    std::filesystem::remove_all(dir);
    if (out.empty()) GTEST_SKIP() << "python3 did not run";

    std::istringstream lines(out);
    int compared = 0;
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f;
        std::istringstream cells(line);
        for (std::string c; std::getline(cells, c, '\t');)
            f.push_back(c);
        const std::string& text =
            corpus[std::stoul(std::filesystem::path(f[0]).filename().string())];
        ASSERT_NE(f[1], "BAD") << text;
        ASSERT_EQ(f.size(), 4u) << line;
        const std::string key = Unhex(f[1]);
        // Past an optional byte-order mark and white space, as the decoders do.
        const std::size_t start =
            JsonObjectStart(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        ASSERT_NE(start, std::string::npos) << text;
        const auto* t = reinterpret_cast<const std::uint8_t*>(text.data()) + start;
        const std::size_t n = text.size() - start;
        SCOPED_TRACE(text + " / " + key);
        if (f[2] == "S") {
            EXPECT_EQ(JsonGetString(t, n, key), Unhex(f[3]));
        } else if (f[2] == "N") {
            EXPECT_EQ(JsonGetNumber(t, n, key), std::stoull(f[3]));
            EXPECT_FALSE(JsonGetString(t, n, key));
        } else if (f[2] == "X") {
            EXPECT_FALSE(JsonGetString(t, n, key)); // \u0000 or a lone surrogate
        } else {
            EXPECT_FALSE(JsonGetString(t, n, key));
            EXPECT_FALSE(JsonGetNumber(t, n, key));
        }
        ++compared;
    }
    EXPECT_GE(compared, 30);
}

} // namespace
} // namespace tvd
