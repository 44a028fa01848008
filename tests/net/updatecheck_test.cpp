#include <gtest/gtest.h>

#include <string>

#include "foundation/versioninfo.h"
#include "net/panelfwupdateutil.h"
#include "net/panelswupdateutil.h"

namespace tvd {
namespace {

const std::string kBom = "\xef\xbb\xbf";

UpdateOutcome Fw(const std::string& body, std::uint32_t status = 200) {
    return DecodeFwUpdateReply(false, 0, status, reinterpret_cast<const std::uint8_t*>(body.data()),
                               body.size());
}

TEST(FwUpdate, ReplyOutcomes) {
    using S = UpdateCheckState;
    struct Row {
        std::string body;
        S state;
        std::uint32_t id;
        std::string message;
        std::string url;
    };
    const std::string failed = "Firmware update failed. ";
    const std::string latest = "You already have the latest firmware version.";
    const Row rows[] = {
        {kBom + R"({"statuscode":"Y","successcode":"Y001","msg":"A:ok"})", S::kUpToDate, 21317,
         latest + "(Y001)", ""},
        {kBom +
             R"({"statuscode":"Y","successcode":"Y002","url":"https://dl.example/fw/Upd_1.exe"})",
         S::kUpdateAvailable, 21320,
         "The latest firmware version can be updated. Download now? \nIf yes, please run the "
         "program manually after the firmware update program (Upd_1.exe) is downloaded.",
         "https://dl.example/fw/Upd_1.exe"},
        // The comma in "msg" before "url" no longer hides it.
        {kBom +
             R"({"statuscode":"Y","successcode":"Y002","msg":"E: a, b","url":"https://dl.example/x.exe"})",
         S::kUpdateAvailable, 21320, "", "https://dl.example/x.exe"},
        {R"({"statuscode":"Y","successcode":"Y002","url":"https://dl.example/nobom.exe"})",
         S::kUpdateAvailable, 21320, "", "https://dl.example/nobom.exe"},
        {kBom + R"({"statuscode":"Y","successcode":"Y002"})", S::kFailed, 21321, failed, ""},
        {kBom + R"({"statuscode":"Y","successcode":"Y002","url":"http://dl.example/a.exe"})",
         S::kFailed, 21321, failed, ""},
        {kBom + R"j({"statuscode":"Y","successcode":"Y002","url":"javascript:alert(1)"})j",
         S::kFailed, 21321, failed, ""},
        {kBom + R"({"statuscode":"Y","successcode":"Y002","url":"https://dl.example/"})",
         S::kFailed, 21321, failed, ""},
        {kBom + R"({"statuscode":"Y","successcode":"Y003"})", S::kFailed, 21321, failed, ""},
        {kBom + R"({"statuscode":"N","errorcode":"F001"})", S::kUpToDate, 21322, latest + "(F001)",
         ""},
        {kBom + R"({"statuscode":"N","errorcode":"F002"})", S::kUpToDate, 21323, latest + "(F002)",
         ""},
        {kBom + R"({"statuscode":"N","errorcode":"F003"})", S::kUpToDate, 21324, latest + "(F003)",
         ""},
        {kBom + R"({"statuscode":"N","errorcode":"F004"})", S::kUpToDate, 21325, latest + "(F004)",
         ""},
        {kBom + R"({"statuscode":"N","errorcode":"S001"})", S::kRefused, 21326,
         "Token cannot be blank or false.(S001)", ""},
        {kBom + R"({"statuscode":"N","errorcode":"S002"})", S::kRefused, 21327,
         "Missing languages.(S002)", ""},
        {kBom + R"({"statuscode":"N","errorcode":"M001"})", S::kUpToDate, 21328, latest + "(M001)",
         ""},
        {kBom + R"({"statuscode":"N","errorcode":"M002"})", S::kUpToDate, 21329, latest + "(M002)",
         ""},
        {kBom + R"({"statuscode":"N","msg":"E01: Unknown serial"})", S::kRefused, 0,
         " Unknown serial", ""},
        {kBom + R"({"statuscode":"N","errorcode":"f001","msg":"E: \"quoted\", text"})", S::kRefused,
         0, " \"quoted\", text", ""},
        {kBom + R"({"statuscode":"N","errorcode":"X9"})", S::kRefused, 0, "", ""},
        {kBom + R"({"successcode":"Y001"})", S::kFailed, 21321, failed, ""},
        {kBom + R"({"statuscode":"Q"})", S::kFailed, 21321, failed, ""},
        {kBom + R"({"statuscode":""})", S::kFailed, 21321, failed, ""},
        {"{}", S::kFailed, 21321, failed, ""},
        {"{\"", S::kFailed, 21321, failed, ""}, // a 2-byte body
        {"", S::kFailed, 21321, failed, ""},
        {kBom + "[1]", S::kFailed, 21321, failed, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.body);
        const UpdateOutcome o = Fw(row.body);
        EXPECT_EQ(o.state, row.state);
        EXPECT_EQ(o.messageId, row.id);
        if (!row.message.empty() || row.id == 0) {
            EXPECT_EQ(o.message, row.message);
        }
        EXPECT_EQ(o.url, row.url);
        if (o.state == S::kUpdateAvailable) {
            EXPECT_FALSE(o.fileName.empty());
        }
    }
}

TEST(FwUpdate, FailedRequestsAreFailures) {
    const std::string ok = kBom + R"({"statuscode":"Y","successcode":"Y001"})";
    const auto* b = reinterpret_cast<const std::uint8_t*>(ok.data());
    auto o = DecodeFwUpdateReply(true, 12029, 0, b, ok.size());
    EXPECT_EQ(o.state, UpdateCheckState::kFailed);
    EXPECT_EQ(o.error, 12029u);
    EXPECT_EQ(o.messageId, 21321u);
    o = DecodeFwUpdateReply(false, 0, 404, b, ok.size());
    EXPECT_EQ(o.state, UpdateCheckState::kFailed);
    EXPECT_EQ(o.httpStatus, 404u);
    o = DecodeFwUpdateReply(false, 0, 302, b, ok.size());
    EXPECT_EQ(o.state, UpdateCheckState::kFailed);
    EXPECT_EQ(DecodeFwUpdateJob(nullptr).state, UpdateCheckState::kFailed);
}

TEST(FwUpdate, DailyKey) {
    std::string key;
    ASSERT_EQ(FwUpdateKey(2024, 3, 7, key), 0u);
    // printf Hq3TmW7xRc2NvLp8Ys5KdF1a20240307 | sha256sum
    EXPECT_EQ(key, "49cdb9570bff41de3aa01f6e5d877eb28f05a10fca38cda5054e412e7171b8f2");
    EXPECT_NE(FwUpdateKey(2024, 13, 1, key), 0u);
    EXPECT_TRUE(key.empty());
}

TEST(FwUpdate, FormBody) {
    std::string body;
    ASSERT_EQ(BuildFwUpdateForm("S123 45", "FW1.0", "k", body), 0u);
    EXPECT_EQ(body,
              "--boundary1\r\nContent-Disposition: form-data; name=\"SSD_Serial_Number\"\r\n\r\n"
              "S123 45\r\n"
              "--boundary1\r\nContent-Disposition: form-data; name=\"SSD_Inside_Firmware\"\r\n\r\n"
              "FW1.0\r\n"
              "--boundary1\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\nk\r\n"
              "--boundary1--\r\n");
    const std::string bad[] = {"",         "A\r\nB", "A--boundary1", std::string("A\0B", 3),
                               "\xc3\xa9", "x\x7f"};
    for (const auto& v : bad) {
        EXPECT_EQ(BuildFwUpdateForm(v, "FW", "k", body), err::kInvalidData) << v;
        EXPECT_EQ(BuildFwUpdateForm("SN", v, "k", body), err::kInvalidData) << v;
        EXPECT_TRUE(body.empty());
    }
    HttpsUrl svc;
    ASSERT_TRUE(ParseServiceUrl("https://fw.example:8443", svc));
    ErrorCode e = 0;
    auto job = CreateFwUpdateJob(svc, "SN1", "FW2", 2024, 3, 7, e);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->verb, "POST");
    EXPECT_EQ(job->host, "fw.example");
    EXPECT_EQ(job->port, 8443);
    EXPECT_EQ(job->path, "/ssd_api/tarvikdornFwUpdate");
    EXPECT_EQ(job->headers, "Content-type: multipart/form-data; boundary=boundary1");
    EXPECT_NE(job->body.find("49cdb9570bff41de"), std::string::npos);
    EXPECT_FALSE(CreateFwUpdateJob(svc, "SN\n1", "FW2", 2024, 3, 7, e));
    EXPECT_EQ(e, err::kInvalidData);
}

UpdateOutcome Sw(const std::string& body) {
    return DecodeSwUpdateReply(false, 0, 200, reinterpret_cast<const std::uint8_t*>(body.data()),
                               body.size(), kProductVersionNumber);
}

TEST(SwUpdate, RecordOutcomes) {
    using S = UpdateCheckState;
    struct Row {
        std::string body;
        S state;
        std::uint32_t id;
        std::string url;
    };
    const Row rows[] = {
        {R"({"Software":{"Tarvik":{"version":50208,"download":"https://d.example/t.exe"}}})",
         S::kUpToDate, 21318, ""},
        {R"({"Software":{"Tarvik":{"version":40000}}})", S::kUpToDate, 21318, ""},
        {R"({"Software":{"Tarvik":{"version":50300,"download":"https://d.example/t.exe"}}})",
         S::kUpdateAvailable, 21319, "https://d.example/t.exe"},
        {R"({"Software":{"Tarvik":{"version":"50300","download":"https://d.example/s.exe"}}})",
         S::kUpdateAvailable, 21319, "https://d.example/s.exe"},
        {R"({"Software":{"Other":{"version":1},"Tarvik":{"download":"https://d.example/a","version":50209}}})",
         S::kUpdateAvailable, 21319, "https://d.example/a"},
        // A newer version without an address to open is no answer, not "up to date".
        {R"({"Software":{"Tarvik":{"version":50300}}})", S::kFailed, 0, ""},
        {R"({"Software":{"Tarvik":{"version":50300,"download":"http://d.example/t.exe"}}})",
         S::kFailed, 0, ""},
        {R"({"Software":{"Tarvik":{"version":50300,"download":"file:///c:/x.exe"}}})", S::kFailed,
         0, ""},
        {R"({"Software":{"Tarvik":{"version":184467440737095516160}}})", S::kFailed, 0, ""},
        {R"({"Software":{}})", S::kFailed, 0, ""},
        {R"({"Tarvik":{"version":1}})", S::kFailed, 0, ""},
        {R"({"Software":[]})", S::kFailed, 0, ""},
        {"\xef\xbb\xbf"
         R"({"Software":{"Tarvik":{"version":1}}})",
         S::kUpToDate, 21318, ""},
        {"", S::kFailed, 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.body);
        const auto o = Sw(row.body);
        EXPECT_EQ(o.state, row.state);
        EXPECT_EQ(o.messageId, row.id);
        EXPECT_EQ(o.url, row.url);
    }
    auto failed = DecodeSwUpdateReply(true, 12007, 0, nullptr, 0, kProductVersionNumber);
    EXPECT_EQ(failed.state, S::kFailed); // never "You already have the latest version"
    EXPECT_EQ(failed.error, 12007u);
    EXPECT_EQ(DecodeSwUpdateReply(false, 0, 404, nullptr, 0, 1).state, S::kFailed);
}

TEST(SwUpdate, JobShape) {
    HttpsUrl svc;
    ASSERT_TRUE(ParseServiceUrl("https://sw.example/", svc));
    std::vector<std::uint8_t> buffer;
    auto job = CreateSwUpdateJob(svc, buffer);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->verb, "GET");
    EXPECT_EQ(job->path, "/storage/ssd/api/tarvik.json");
    EXPECT_EQ(job->port, 443);
    EXPECT_TRUE(job->body.empty());
    EXPECT_TRUE(job->headers.empty());
    EXPECT_EQ(buffer.size(), 32768u);
    EXPECT_EQ(job->targetCapacity, 32767);
}

TEST(UpdateService, ConfigurationAndUrls) {
    IniBuffer ini;
    const std::string text =
        "[Update]\r\nFirmwareService=https://fw.example:8443\r\nToolService=http://sw.example\r\n";
    ASSERT_TRUE(IniParse(&ini, text.data(), text.size()));
    HttpsUrl u;
    std::string why;
    EXPECT_EQ(ReadUpdateService(&ini, kFirmwareServiceKey, "", u, why), 0u);
    EXPECT_EQ(u.host, "fw.example");
    EXPECT_EQ(u.port, 8443);
    EXPECT_EQ(ReadUpdateService(&ini, kToolServiceKey, "", u, why), err::kInvalidData);
    EXPECT_EQ(ReadUpdateService(nullptr, kToolServiceKey, "", u, why), err::kFileNotFound);
    EXPECT_EQ(why, "update service not configured");
    EXPECT_EQ(ReadUpdateService(nullptr, kToolServiceKey, "https://d.example", u, why), 0u);
    EXPECT_EQ(PrintableText("a\x1b[2Jb\n\x7f"), "a?[2Jb??");
    IniRelease(&ini);
}

TEST(WebUrl, SafeBrowserUrls) {
    struct Row {
        std::string url;
        bool ok;
    };
    const Row rows[] = {
        {"https://dl.example/a/b.exe?x=1#f", true},
        {"HTTPS://DL.EXAMPLE", true},
        {"https://127.0.0.1:8443/a", true},
        {"https://[::1]:443/", true},
        {"https://a-b.c/", true},
        {"https://h:65535", true},
        {"https://h:65536", false},
        {"https://h:0", false},
        {"https://h:", false},
        {"https://h:8x", false},
        {"http://dl.example/a", false},
        {"file:///c:/windows/system32/calc.exe", false},
        {"\\\\server\\share\\x.exe", false},
        {"C:\\x.exe", false},
        {"javascript:alert(1)", false},
        {"ms-settings:", false},
        {"https:/h", false},
        {"https://", false},
        {"https://user:pw@h/", false},
        {"https://h/a b", false},
        {"https://h/a\"b", false},
        {"https://h/a'b", false},
        {"https://h/a\\b", false},
        {"https://h/\xc3\xa9", false},
        {"https://-h/", false},
        {"https://h..x/", false},
        {"https://[zz]/", false},
        {"https://h/" + std::string(2048 - 10, 'a'), true},
        {"https://h/" + std::string(2048 - 9, 'a'), false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IsSafeBrowserUrl(row.url), row.ok) << row.url;
}

} // namespace
} // namespace tvd
