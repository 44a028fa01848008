#include <gtest/gtest.h>

#include "toolrun.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/jsonwriter.h"

namespace tvd::cli {
namespace {

TEST(JsonWriter, QuotesEveryKindOfText) {
    struct {
        std::string in, want;
    } rows[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"tab\tnl\ncr\r", "\"tab\\tnl\\ncr\\r\""},
        {std::string("nul\0x", 5), "\"nul\\u0000x\""},
        {"\x01\x7f", "\"\\u0001\\u007f\""},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
         "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
        {"bad\xff", "\"bad\\ufffd\""},            // not UTF-8 at all
        {"cut\xe2\x82", "\"cut\\ufffd\\ufffd\""}, // sequence cut short at the end
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},       // overlong form of '/'
    };
    for (auto& r : rows)
        EXPECT_EQ(JsonWriter::Quote(r.in), r.want) << r.in;
}

void WriteNested(JsonWriter& j) {
    j.BeginObject().String("a", "x").BeginArray("list");
    j.BeginObject().Number("n", -5).EndObject();
    j.BeginObject().EndObject();
    j.EndArray().Bool("ok", true).Null("none").Unsigned("big", 18446744073709551615ull);
    j.EndObject();
}

TEST(JsonWriter, NestsObjectsAndArrays) {
    JsonWriter compact(true);
    WriteNested(compact);
    EXPECT_EQ(compact.Text(), "{\"a\": \"x\",\"list\": [{\"n\": -5},{}],\"ok\": true,"
                              "\"none\": null,\"big\": 18446744073709551615}\n");
    JsonWriter j;
    WriteNested(j);
    EXPECT_EQ(j.Text(),
              "{\n  \"a\": \"x\",\n  \"list\": [\n    {\n      \"n\": -5\n    },\n    {}\n  ],\n"
              "  \"ok\": true,\n  \"none\": null,\n  \"big\": 18446744073709551615\n}\n");
}

using test::RunTool;
using test::ToolRun;

TEST(CommandLine, ExitStatusTellsSuccessFromMisuse) {
    struct {
        std::vector<std::string> args;
        int status;
        const char* inOut;
        const char* inErr;
    } rows[] = {
        {{"--help"}, 0, "usage: tarvikdorn", ""},
        {{"--version"}, 0, "tarvikdorn ", ""},
        {{"--bogus"}, 2, "", "unknown option --bogus"},
        {{"frobnicate"}, 2, "", "unknown command frobnicate"},
        {{"system", "extra"}, 2, "", "takes no arguments"},
    };
    for (auto& r : rows) {
        ToolRun run = RunTool(r.args);
        EXPECT_EQ(run.status, r.status) << r.args[0];
        EXPECT_NE(run.out.find(r.inOut), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(r.inErr), std::string::npos) << run.err;
    }
}

TEST(CommandLine, SystemReportsTheRunningMachine) {
    ToolRun text = RunTool({});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("Operating system: "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Processor:        "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Memory:           "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Board:            "), std::string::npos) << text.out;
    ToolRun json = RunTool({"--json", "system"});
    ASSERT_EQ(json.status, 0);
    EXPECT_EQ(json.out.front(), '{');
    EXPECT_NE(json.out.find("\"processor\": {"), std::string::npos);
}

} // namespace
} // namespace tvd::cli
