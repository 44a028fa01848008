#include "foundation/inibufutila.h"
#include "foundation/inibufutilw.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tvd {
namespace {

using namespace std::string_literals;
using Opt = std::optional<std::string>;

IniBuffer Parsed(std::string_view text) {
    IniBuffer b;
    EXPECT_TRUE(IniParse(&b, text.data(), text.size()));
    return b;
}

std::string Lines(const IniBuffer& b) {
    return std::string(IniLineData(&b));
}

std::string Bytes(const IniBuffer& b) {
    const auto v = IniSerialize(&b);
    return std::string(v.begin(), v.end());
}

Opt Get(const IniBuffer& b, std::string_view section, std::string_view key) {
    const auto v = IniGetValue(&b, section, key);
    return v ? Opt(std::string(*v)) : std::nullopt;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Checks what parsing guarantees of line data, whatever the input was.
void ExpectLineInvariants(const IniBuffer& b) {
    const auto d = IniLineData(&b);
    ASSERT_LE(b.used, b.capacity);
    ASSERT_EQ(b.capacity, b.data.size());
    if (d.empty()) return;
    ASSERT_EQ(d.back(), '\0');
    std::size_t lines = 0;
    for (std::size_t p = 0; p < d.size(); ++lines) {
        const auto line = d.substr(p, d.find('\0', p) - p);
        ASSERT_FALSE(line.empty()) << "at " << p;
        EXPECT_NE(line.front(), ' ');
        EXPECT_NE(line.back(), ' ');
        EXPECT_EQ(line.find_first_of("\t\r\n\x1A"), line.npos);
        p += line.size() + 1;
    }
    EXPECT_EQ(IniSerialize(&b).size(), d.size() + lines + 1);
}

// --- Parsing and the file form ---------------------------------------------------------------

TEST(IniParse, BuildsLineDataByTheRules) {
    struct Row {
        const char* what;
        std::string in;
        std::string lines;
    } rows[] = {
        {"CR LF ends lines", "a=1\r\nb=2\r\n", "a=1\0b=2\0"s},
        {"lone CR and LF end lines, last line unfinished", "a\rb\nc", "a\0b\0c\0"s},
        {"leading tabs and blanks dropped", "\t \tkey=v", "key=v\0"s},
        {"inner tab becomes a blank, runs of blanks kept", "a\tb  c", "a b  c\0"s},
        {"trailing blanks and tabs stripped", "k=v \t \r\n", "k=v\0"s},
        {"empty and blank-only lines dropped", "\r\n\r\n \t\r\nx\n\n", "x\0"s},
        {"0x1A ends the input",
         "a=1\r\n\x1A"
         "b=2",
         "a=1\0"s},
        {"0x1A inside a line ends the line too",
         "a=1 \x1A"
         "zz",
         "a=1\0"s},
        {"NUL bytes end a line and never make an empty one", "a\0\0 b"s, "a\0b\0"s},
        {"bytes above 0x7F kept", "k=\xE9\xFF", "k=\xE9\xFF\0"s},
        {"empty text", "", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        IniBuffer b;
        b.modified = true;
        ASSERT_TRUE(IniParse(&b, r.in.data(), r.in.size()));
        EXPECT_EQ(Lines(b), r.lines);
        EXPECT_EQ(b.used, r.lines.size());
        EXPECT_EQ(b.capacity, r.in.size() + 1);
        EXPECT_FALSE(b.modified);
        ExpectLineInvariants(b);
    }
}

TEST(IniParse, MissingTextFailsAndKeepsTheBuffer) {
    IniBuffer b = Parsed("[S]\nk=v");
    EXPECT_FALSE(IniParse(&b, nullptr, 5));
    EXPECT_EQ(Lines(b), "[S]\0k=v\0"s);
    EXPECT_FALSE(IniParse(nullptr, "x", 1));
}

TEST(IniSerialize, WritesCrLfPerLineAndEndsWithEof) {
    IniBuffer b = Parsed("[S] ;c\n\n\tk = v  \n;note");
    const std::string want = "[S] ;c\r\nk = v\r\n;note\r\n\x1A";
    EXPECT_EQ(Bytes(b), want);
    EXPECT_EQ(want.size(), b.used + 3 + 1);

    IniBuffer blank = Parsed(" \r\n\t\r\n");
    EXPECT_TRUE(IniSerialize(&blank).empty());
    IniBuffer none;
    EXPECT_TRUE(IniSerialize(&none).empty());
}

TEST(IniRelease, EmptiesTheBuffer) {
    IniBuffer b = Parsed("[S]\nk=v");
    IniRelease(&b);
    EXPECT_EQ(b.used, 0u);
    EXPECT_EQ(b.capacity, 0u);
    EXPECT_TRUE(b.data.empty());
    EXPECT_FALSE(Get(b, "S", "k"));
}

// --- Lookups ---------------------------------------------------------------------------------

constexpr char kSample[] = "; leading comment\r\n"
                           "[Smart] ; thresholds\r\n"
                           "HealthWarning = 80\r\n"
                           "\t\tTemperatureWarning=55\r\n"
                           "KeyX=wrong\r\n"
                           "Key=right\r\n"
                           "Spaced=  two  words \r\n"
                           "Empty=\r\n"
                           "not an entry\r\n"
                           "[SmartExtra]\r\n"
                           "Key=extra\r\n"
                           "[Odd=Header]\r\n"
                           "x=1\r\n"
                           "[UI]\r\n"
                           "Lang=de\r\n";

TEST(IniGetValue, FindsEntriesIgnoringCase) {
    const IniBuffer b = Parsed(kSample);
    struct Row {
        const char* section;
        const char* key;
        Opt want;
    } rows[] = {
        {"Smart", "HealthWarning", "80"}, // blanks around "=", comment after "]"
        {"SMART", "healthwarning", "80"},
        {"Smart", "TemperatureWarning", "55"}, // indented by tabs
        {"Smart", "Key", "right"},             // KeyX does not answer for Key
        {"Smart", "Ke", std::nullopt},
        {"Smart", "Spaced", "two  words"},
        {"Smart", "Empty", ""},
        {"Smart", "not an entry", std::nullopt},
        {"Smart", "Lang", std::nullopt}, // belongs to another section
        {"SmartExtra", "key", "extra"},
        {"Odd=Header", "x", "1"},
        {"Odd=Header", "[Odd", std::nullopt}, // a header is never an entry
        {"ui", "LANG", "de"},
        {"Sma", "Key", std::nullopt},
        {"Missing", "Key", std::nullopt},
        {"", "Key", std::nullopt},
        {"Smart", "", std::nullopt},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Get(b, r.section, r.key), r.want) << r.section << "/" << r.key;
}

TEST(IniGetValue, PointsIntoTheBuffer) {
    const IniBuffer b = Parsed("[S]\nk=v");
    const auto v = IniGetValue(&b, "S", "k");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->data(), b.data.data() + 6);
}

TEST(IniFindSection, OffsetsExtentsAndKeyPositions) {
    const IniBuffer b = Parsed("[A]\nk=1\nx\n[B] c\n  k  =2\n[");
    // Line data: "[A]\0k=1\0x\0[B] c\0k  =2\0[\0"
    const auto d = IniLineData(&b);
    EXPECT_EQ(IniFindSection(&b, "a"), 0);
    EXPECT_EQ(IniFindSection(&b, "B"), 10);
    EXPECT_EQ(IniFindSection(&b, "C"), -1);

    const IniExtent a = IniSectionExtent(d);
    EXPECT_EQ(a.bytes, 10);
    EXPECT_EQ(a.lines, 1); // "x" is shorter than 2
    const IniExtent bx = IniSectionExtent(d.substr(10));
    EXPECT_EQ(bx.bytes, 12);
    EXPECT_EQ(bx.lines, 1);
    EXPECT_EQ(IniSectionExtent(d.substr(22)).bytes, 2); // "[" alone runs to the end

    const auto secA = d.substr(0, 10);
    const IniKeyPos k = IniFindKey(secA, "K");
    EXPECT_EQ(k.line, 4);
    EXPECT_EQ(k.value, 6);
    EXPECT_FALSE(IniFindKey(secA, "x").Found());
    const IniKeyPos kb = IniFindKey(d.substr(10, 12), "k");
    EXPECT_EQ(kb.line, 6);
    EXPECT_EQ(kb.value, 10);
    // The entry line would reach past the section's end.
    EXPECT_FALSE(IniFindKey(d.substr(0, 7), "k").Found());
}

TEST(IniGetInt, ReadsLeadingDigitsAndClamps) {
    const IniBuffer b = Parsed("[N]\n"
                               "pos=42\nneg=-17\nlead=  +8kg\nword=abc\nempty=\n"
                               "max=2147483647\nover=2147483648\n"
                               "min=-2147483648\nunder=-2147483649\n"
                               "big=99999999999999999999\nsmall=-99999999999999999999\n"
                               "wrap64=18446744073709551617\nsign64=9223372036854775808\n");
    struct Row {
        const char* key;
        std::int32_t want;
    } rows[] = {
        {"pos", 42},           {"neg", -17},         {"lead", 8},        {"word", 0},
        {"empty", 0},          {"missing", 7},       {"max", INT32_MAX}, {"over", INT32_MAX},
        {"min", INT32_MIN},    {"under", INT32_MIN}, {"big", INT32_MAX}, {"small", INT32_MIN},
        {"wrap64", INT32_MAX}, // 2^64 + 1 would wrap to 1
        {"sign64", INT32_MAX}, // 2^63 would wrap negative
    };
    for (const auto& r : rows)
        EXPECT_EQ(IniGetInt(&b, "N", r.key, 7), r.want) << r.key;
    EXPECT_EQ(IniGetInt(&b, "Other", "pos", -3), -3);
}

TEST(IniKeyList, ListsEachKeyOnceIgnoringCase) {
    const IniBuffer b = Parsed("[K=1]\nAlpha=1\nbeta = 2\nALPHA=3\nno entry\nGamma=x=y\n"
                               "[L]\nother=1\n[Empty]\njust text\n");
    EXPECT_EQ(IniKeyList(&b, "k=1"), (std::vector<std::string>{"Alpha", "beta ", "Gamma"}));
    EXPECT_EQ(IniKeyList(&b, "L"), (std::vector<std::string>{"other"}));
    EXPECT_TRUE(IniKeyList(&b, "Empty").empty());
    EXPECT_TRUE(IniKeyList(&b, "Missing").empty());
}

// --- Changes ---------------------------------------------------------------------------------

TEST(IniDeleteKey, RemovesTheEntryLine) {
    IniBuffer b = Parsed("[A]\nk=1\nj=2\n[B]\nk=3\n");
    const auto capacity = b.capacity;
    ASSERT_TRUE(IniDeleteKey(&b, "a", "K"));
    EXPECT_EQ(Lines(b), "[A]\0j=2\0[B]\0k=3\0"s);
    EXPECT_EQ(b.used, 16u);
    EXPECT_EQ(b.capacity, capacity);
    EXPECT_TRUE(b.modified);
    EXPECT_EQ(Get(b, "B", "k"), "3");
    ExpectLineInvariants(b);
}

TEST(IniDeleteKey, MissingSectionOrKeyChangesNothing) {
    struct Row {
        const char* section;
        const char* key;
    } rows[] = {{"Missing", "k"}, {"A", "missing"}, {"A", "A"}, {"A", ""}, {"", "k"}};
    for (const auto& r : rows) {
        IniBuffer b = Parsed("[A]\nk=1\nno entry\n[B]\nmissing=1\n");
        const std::string before = Lines(b);
        EXPECT_FALSE(IniDeleteKey(&b, r.section, r.key)) << r.section << "/" << r.key;
        EXPECT_EQ(Lines(b), before);
        EXPECT_FALSE(b.modified);
    }
}

TEST(IniDeleteKey, RemovesEveryEntryOfTheKey) {
    IniBuffer b = Parsed("[A]\nk=1\nj=3\nK = 2\n[B]\nk=4\n");
    ASSERT_TRUE(IniDeleteKey(&b, "A", "k"));
    EXPECT_EQ(Lines(b), "[A]\0j=3\0[B]\0k=4\0"s);
    EXPECT_FALSE(Get(b, "A", "k"));
}

constexpr char kThree[] = "[First]\r\nKey=1\r\nOther=x\r\n"
                          "[Second]\r\nA=2\r\n"
                          "[Third]\r\nB=3\r\n";

TEST(IniSetValue, LongerValueMovesTheSectionToTheEnd) {
    IniBuffer b = Parsed(kThree);
    ASSERT_TRUE(IniSetValue(&b, "First", "Key", "100"));
    EXPECT_TRUE(b.modified);
    EXPECT_EQ(Bytes(b), "[Second]\r\nA=2\r\n"
                        "[Third]\r\nB=3\r\n"
                        "[First]\r\nOther=x\r\nKey=100\r\n\x1A");
    EXPECT_EQ(b.used, b.capacity);
    EXPECT_EQ(b.used, Lines(b).size());
}

TEST(IniSetValue, NewKeyMovesItsSectionAndMissingSectionIsAppended) {
    IniBuffer b = Parsed(kThree);
    ASSERT_TRUE(IniSetValue(&b, "second", "New", "v"));
    EXPECT_EQ(Bytes(b), "[First]\r\nKey=1\r\nOther=x\r\n"
                        "[Third]\r\nB=3\r\n"
                        "[Second]\r\nA=2\r\nNew=v\r\n\x1A");
    ASSERT_TRUE(IniSetValue(&b, "Fourth", "k", "z"));
    EXPECT_EQ(Bytes(b), "[First]\r\nKey=1\r\nOther=x\r\n"
                        "[Third]\r\nB=3\r\n"
                        "[Second]\r\nA=2\r\nNew=v\r\n"
                        "[Fourth]\r\nk=z\r\n\x1A");

    IniBuffer empty;
    ASSERT_TRUE(IniSetValue(&empty, "S", "k", "v"));
    EXPECT_EQ(Lines(empty), "[S]\0k=v\0"s);
    EXPECT_EQ(empty.used, 8u);
    EXPECT_EQ(empty.capacity, 8u);
    EXPECT_TRUE(empty.modified);
}

TEST(IniSetValue, SameLengthLineIsOverwrittenInPlace) {
    struct Row {
        const char* entry; // the entry line of section S in the file
        const char* key;
        const char* value;
        std::string want; // line data afterwards
    } rows[] = {
        {"Key=1", "KEY", "7", "[S]\0KEY=7\0x=1\0[T]\0y=2\0"s},
        {"K = 1", "k", "123", "[S]\0k=123\0x=1\0[T]\0y=2\0"s},
        {"Key=TRUE", "Key", "No", "[T]\0y=2\0[S]\0x=1\0Key=No\0"s}, // shorter: moves
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.entry);
        IniBuffer b = Parsed("[S]\n"s + r.entry + "\nx=1\n[T]\ny=2\n");
        const auto capacity = b.capacity;
        ASSERT_TRUE(IniSetValue(&b, "S", r.key, r.value));
        EXPECT_EQ(Lines(b), r.want);
        EXPECT_TRUE(b.modified);
        if (r.want.rfind("[S]", 0) == 0) {
            EXPECT_EQ(b.capacity, capacity);
        }
    }
}

TEST(IniSetValue, PresentValueLeavesTheBufferUnmodified) {
    IniBuffer b = Parsed("[S]\nKey = TRUE\n[T]\ny=2\n");
    const std::string before = Lines(b);
    EXPECT_TRUE(IniSetValue(&b, "s", "key", "TRUE"));
    EXPECT_TRUE(IniSetBool(&b, "S", "Key", true));
    EXPECT_FALSE(b.modified);
    EXPECT_EQ(Lines(b), before);
    // Values compare with case.
    EXPECT_TRUE(IniSetValue(&b, "S", "Key", "True"));
    EXPECT_TRUE(b.modified);
    EXPECT_EQ(Get(b, "S", "Key"), "True");
}

TEST(IniSetValue, NoValueDeletesTheKey) {
    IniBuffer b = Parsed(kThree);
    const std::string before = Lines(b);
    EXPECT_TRUE(IniSetValue(&b, "First", "Missing", std::nullopt));
    EXPECT_FALSE(b.modified);
    EXPECT_EQ(Lines(b), before);
    EXPECT_TRUE(IniSetValue(&b, "First", "Key", std::nullopt));
    EXPECT_TRUE(b.modified);
    EXPECT_FALSE(Get(b, "First", "Key"));
    EXPECT_EQ(Get(b, "First", "Other"), "x");
}

TEST(IniSetBool, WritesTrueOrFalse) {
    IniBuffer b;
    ASSERT_TRUE(IniSetBool(&b, "S", "on", true));
    ASSERT_TRUE(IniSetBool(&b, "S", "off", false));
    EXPECT_EQ(Get(b, "S", "on"), "TRUE");
    EXPECT_EQ(Get(b, "S", "off"), "FALSE");
}

TEST(IniSetValue, RefusesWhatCouldNotReadBack) {
    struct Row {
        std::string section;
        std::string key;
        Opt value;
    } rows[] = {
        {"", "k", "v"},
        {"S", "", "v"},
        {"S\r", "k", "v"},
        {"S", "k\n", "v"},
        {"S", "k", "v\r\nx=y"},
        {"S", "k", "a\0b"s},
        {"S", "k", "v\x1A"},
        {"S", "k", "a\tb"},
        {"S\t", "k", "v"},
        {"S", "\tk", "v"},
        {"S]x", "k", "v"},
        {"S", "a=b", "v"},
        {"S", "a=b", std::nullopt},
        {"S", "[k", "v"},
        {"S", " k", "v"},
        {"S", "k ", "v"},
        {"S", "k", " v"},
        {"S", "k", "v "},
        {"S", "k", " "},
    };
    for (const auto& r : rows) {
        for (const char* text : {"", "[S]\nk=1\n[T]\nx=2\n"}) {
            IniBuffer b = Parsed(text);
            const std::string before = Lines(b);
            const auto value = r.value ? std::optional<std::string_view>(*r.value) : std::nullopt;
            EXPECT_FALSE(IniSetValue(&b, r.section, r.key, value))
                << "[" << r.section << "] " << r.key << "=" << r.value.value_or("(none)");
            EXPECT_EQ(Lines(b), before);
            EXPECT_FALSE(b.modified);
        }
    }
}

TEST(IniSetValue, UnusualButSoundTextsReadBack) {
    struct Row {
        const char* section;
        const char* key;
        const char* value;
    } rows[] = {
        {" Padded ", "k", "v"}, // blanks inside the brackets survive parsing
        {"S", "a b", "two  words"}, {"S", "k", ""},   {"S", "k", "x = y"},
        {"S", "k", "[T]"},          {"S", ";k", "v"}, {"[S", "k]", "\xE9t\xE9"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.section) + "/" + r.key);
        IniBuffer b = Parsed("[T]\nx=1\n");
        ASSERT_TRUE(IniSetValue(&b, r.section, r.key, r.value));
        const auto bytes = IniSerialize(&b);
        IniBuffer back;
        ASSERT_TRUE(IniParse(&back, bytes.data(), bytes.size()));
        EXPECT_EQ(Get(back, r.section, r.key), r.value);
        EXPECT_EQ(IniKeyList(&back, r.section), std::vector<std::string>{r.key});
        EXPECT_EQ(Get(back, "T", "x"), "1");
    }
}

TEST(IniSetValue, ChangeIsSeenDespiteDuplicates) {
    // A second entry of the key in the section.
    IniBuffer keys = Parsed("[S]\nk=1\nk=2\n[T]\nx=1\n");
    ASSERT_TRUE(IniSetValue(&keys, "S", "k", "333"));
    EXPECT_EQ(Lines(keys), "[T]\0x=1\0[S]\0k=333\0"s);

    // A second section of the same name: moving the first behind it would hide the change,
    // so both join at the end.
    IniBuffer sections = Parsed("[S]\nk=1\na=2\n[T]\nt=1\n[s] c\nk=9\nb=3\n");
    ASSERT_TRUE(IniSetValue(&sections, "S", "k", "new"));
    EXPECT_EQ(Lines(sections), "[T]\0t=1\0[S]\0a=2\0b=3\0k=new\0"s);
    EXPECT_EQ(Get(sections, "S", "k"), "new");
}

// --- Robustness ------------------------------------------------------------------------------

TEST(IniBufferNull, EveryOperationAnswersNone) {
    EXPECT_FALSE(IniParse(nullptr, "[S]", 3));
    EXPECT_TRUE(IniSerialize(nullptr).empty());
    IniRelease(nullptr);
    EXPECT_TRUE(IniLineData(nullptr).empty());
    EXPECT_EQ(IniFindSection(nullptr, "S"), -1);
    EXPECT_FALSE(IniGetValue(nullptr, "S", "k"));
    EXPECT_EQ(IniGetInt(nullptr, "S", "k", 5), 5);
    EXPECT_TRUE(IniKeyList(nullptr, "S").empty());
    EXPECT_FALSE(IniDeleteKey(nullptr, "S", "k"));
    EXPECT_FALSE(IniSetValue(nullptr, "S", "k", "v"));
    EXPECT_FALSE(IniSetValue(nullptr, "S", "k", std::nullopt));
    EXPECT_FALSE(IniSetBool(nullptr, "S", "k", true));
    const IniExtent e = IniSectionExtent({});
    EXPECT_EQ(e.bytes, 0);
    EXPECT_FALSE(IniFindKey({}, "k").Found());

    EXPECT_FALSE(IniParseW(nullptr, "\xFF\xFE", 2));
    EXPECT_FALSE(IniGetValueW(nullptr, u"S", u"k"));
    EXPECT_TRUE(IniLineDataW(nullptr).empty());
    IniReleaseW(nullptr);
}

TEST(IniParse, BinaryGarbageStaysInBounds) {
    std::mt19937 rng(0x1A1A);
    const char alphabet[] = "[]= \t\r\n\0\x1A"
                            "aK";
    for (int round = 0; round < 300; ++round) {
        std::string text(rng() % 64, '\0');
        for (char& c : text)
            c = (rng() % 2) ? alphabet[rng() % (sizeof alphabet - 1)] : static_cast<char>(rng());
        IniBuffer b;
        ASSERT_TRUE(IniParse(&b, text.data(), text.size()));
        ExpectLineInvariants(b);
        for (const char* name : {"a", "K", "aK", "]"}) {
            IniGetValue(&b, name, "a");
            IniKeyList(&b, name);
            IniGetInt(&b, "a", name, 0);
        }
        const auto bytes = IniSerialize(&b);
        if (bytes.empty()) {
            EXPECT_EQ(b.used, 0u);
            continue;
        }
        IniBuffer back;
        ASSERT_TRUE(IniParse(&back, bytes.data(), bytes.size()));
        EXPECT_EQ(Lines(back), Lines(b));
    }
}

TEST(IniGetValue, TamperedFieldsDoNotReadOutOfRange) {
    IniBuffer b;
    b.data = {'[', 'S', ']', '\0', 'k', '=', 'v'}; // last line without its NUL
    b.used = 1000;
    b.capacity = 7;
    EXPECT_EQ(IniLineData(&b).size(), 7u);
    EXPECT_EQ(IniFindSection(&b, "S"), 0);
    EXPECT_FALSE(IniGetValue(&b, "S", "k"));
    EXPECT_EQ(IniKeyList(&b, "S"), std::vector<std::string>{"k"});
    EXPECT_EQ(Bytes(b), "[S]\r\nk=v\x1A");
    EXPECT_TRUE(IniSetValue(&b, "S", "k", "w"));
    EXPECT_EQ(Get(b, "S", "k"), "w");
}

// --- Round trip ------------------------------------------------------------------------------

// Random changes to a buffer and to a map of what it should hold; the buffer, and the buffer
// written and parsed again, must always answer as the map does.
TEST(IniSetValue, RandomChangesReadBackAsTheModel) {
    const std::vector<std::string> sections = {"Smart", "SMART", "UI", " Padded ", "Drive.1"};
    const std::vector<std::string> keys = {"Lang", "lang", "Key", "KeyX", "a b", "K", "Health"};
    const std::vector<std::string> values = {"", "1", "TRUE", "two  words", "x=y", "[v]", "12345"};
    const std::vector<std::string> badValues = {" lead", "trail ", "a\tb", "a\nb"};
    using Model = std::map<std::string, std::map<std::string, std::string>>; // lower-case names

    auto check = [&](const IniBuffer& b, const Model& model) {
        for (const auto& s : sections) {
            const auto ms = model.find(Lower(s));
            std::set<std::string> want, got;
            for (const auto& k : keys) {
                Opt expect;
                if (ms != model.end() && ms->second.count(Lower(k))) {
                    expect = ms->second.at(Lower(k));
                    want.insert(Lower(k));
                }
                ASSERT_EQ(Get(b, s, k), expect) << "[" << s << "] " << k;
            }
            for (const auto& k : IniKeyList(&b, s))
                got.insert(Lower(k));
            ASSERT_EQ(got, want) << "[" << s << "]";
        }
    };

    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        auto pick = [&rng](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
        IniBuffer b;
        Model model;
        for (int step = 0; step < 200; ++step) {
            const std::string s = pick(sections), k = pick(keys);
            auto& entries = model[Lower(s)];
            const auto old = entries.count(Lower(k)) ? Opt(entries[Lower(k)]) : std::nullopt;
            b.modified = false;
            const unsigned op = rng() % 8;
            if (op == 0) {
                ASSERT_TRUE(IniSetValue(&b, s, k, std::nullopt));
                entries.erase(Lower(k));
                EXPECT_EQ(b.modified, old.has_value());
            } else if (op == 1) {
                const std::string before = Lines(b);
                ASSERT_FALSE(IniSetValue(&b, s, k, pick(badValues)));
                EXPECT_EQ(Lines(b), before);
                EXPECT_FALSE(b.modified);
            } else {
                const std::string v = pick(values);
                ASSERT_TRUE(IniSetValue(&b, s, k, v));
                entries[Lower(k)] = v;
                EXPECT_EQ(b.modified, old != v);
            }
            if (entries.empty()) model.erase(Lower(s));
            ASSERT_NO_FATAL_FAILURE(check(b, model));
            if (step % 10 == 9) {
                const auto bytes = IniSerialize(&b);
                IniBuffer back;
                ASSERT_TRUE(IniParse(&back, bytes.data(), bytes.size()));
                ASSERT_EQ(Lines(back), Lines(b)); // every written line survives parsing as is
                ASSERT_NO_FATAL_FAILURE(check(back, model));
            }
        }
    }
}

// --- UTF-16 buffer ---------------------------------------------------------------------------

std::string Utf16Le(std::u16string_view text, bool bom = true) {
    std::string out;
    if (bom) out += "\xFF\xFE";
    for (char16_t u : text) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

std::optional<std::u16string> GetW(const IniBufferW& b, std::u16string_view s,
                                   std::u16string_view k) {
    const auto v = IniGetValueW(&b, s, k);
    return v ? std::optional<std::u16string>(std::u16string(*v)) : std::nullopt;
}

constexpr char16_t kSampleW[] = u"[Lang] ; c\r\n"
                                u"\t\tName = Deutsch  \r\n"
                                u"KeyX=no\r\n"
                                u"Key=yes\r\n"
                                u"[\u00C4rger]\r\n"
                                u"Wert=\u00E4\u20AC\r\n"
                                u"[Smart]\r\n"
                                u"C2=Temperatur\x1A"
                                u"[After]\r\n"
                                u"x=1\r\n";

TEST(IniParseW, NeedsTheByteOrderMark) {
    const std::string bytes = Utf16Le(kSampleW);
    IniBufferW b;
    ASSERT_TRUE(IniParseW(&b, bytes.data(), bytes.size()));
    EXPECT_EQ(GetW(b, u"Lang", u"Name"), u"Deutsch");

    for (const std::string& bad : {Utf16Le(kSampleW, false), "\xFE\xFF" + Utf16Le(kSampleW, false),
                                   std::string("\xFF"), std::string()}) {
        IniBufferW fresh;
        EXPECT_FALSE(IniParseW(&fresh, bad.data(), bad.size()));
        EXPECT_FALSE(GetW(fresh, u"Lang", u"Name"));
        // A failed parse leaves an earlier one in place.
        EXPECT_FALSE(IniParseW(&b, bad.data(), bad.size()));
        EXPECT_EQ(GetW(b, u"Lang", u"Name"), u"Deutsch");
    }
}

TEST(IniParseW, BuildsLineDataByTheRules) {
    const std::string bytes = Utf16Le(u"\t[A]\r\n\r\na\tb  c \n\0x"s + u"\x1A" + u"tail") + "\x01";
    IniBufferW b;
    b.modified = true;
    ASSERT_TRUE(IniParseW(&b, bytes.data(), bytes.size()));
    const std::u16string want = u"[A]\0a b  c\0x\0"s;
    EXPECT_EQ(std::u16string(IniLineDataW(&b)), want);
    EXPECT_EQ(b.used, want.size());
    EXPECT_EQ(b.capacity, bytes.size() / 2); // units after the mark, plus one
    EXPECT_FALSE(b.modified);
    IniReleaseW(&b);
    EXPECT_EQ(b.used, 0u);
    EXPECT_FALSE(GetW(b, u"A", u"a b"));
}

TEST(IniGetValueW, FindsEntriesIgnoringAsciiCase) {
    const std::string bytes = Utf16Le(kSampleW);
    IniBufferW b;
    ASSERT_TRUE(IniParseW(&b, bytes.data(), bytes.size()));
    struct Row {
        std::u16string_view section, key;
        std::optional<std::u16string> want;
    } rows[] = {
        {u"LANG", u"name", u"Deutsch"},
        {u"Lang", u"Key", u"yes"},
        {u"Lang", u"Ke", std::nullopt},
        {u"\u00C4rger", u"WERT", u"\u00E4\u20AC"},
        {u"\u00E4rger", u"Wert", std::nullopt}, // only ASCII letters fold
        {u"smart", u"c2", u"Temperatur"},
        {u"After", u"x", std::nullopt}, // behind the 0x1A
        {u"", u"x", std::nullopt},
    };
    for (const auto& r : rows)
        EXPECT_EQ(GetW(b, r.section, r.key), r.want);
}

} // namespace
} // namespace tvd
