// The HTTPS jobs and the update checks against a local server that the test starts: python3's
// http.server with ssl, certificates made for the test, every request recorded.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/toolrun.h"
#include "net/cljobhttpbuffer.h"
#include "net/cljobhttpgetdata.h"
#include "net/jsonutil.h"
#include "net/panelfwupdateutil.h"
#include "net/panelswupdateutil.h"
#include "foundation/linux/scopedenv.h"
#include "storage/simfolder.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

const std::uint8_t* U(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::string Shell(const std::string& command) {
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buf[512];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

class LocalHttps : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (Shell("python3 -c 'import cryptography; print(1)' 2>/dev/null") != "1\n") {
            skipWhy_ = "python3 with cryptography is not available";
            return;
        }
        char tmpl[] = "/tmp/tvdhttpsXXXXXX";
        if (!mkdtemp(tmpl)) {
            skipWhy_ = "no temporary folder";
            return;
        }
        dir_ = tmpl;
        const std::string src = std::string(TVD_SOURCE_DIR) + "/tests/net/";
        Shell("python3 " + src + "makecerts.py " + dir_.string());
        SetRoutes("{}");
        server_ = popen(("python3 " + src + "httpsserver.py " + dir_.string()).c_str(), "w");
        // The server writes its ports once it listens.
        for (int i = 0; i < 400 && !fs::exists(dir_ / "ports.json"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::string ports = ReadText(dir_ / "ports.json");
        for (auto [kind, port] :
             {std::pair{"good", &good_}, std::pair{"untrusted", &untrusted_},
              std::pair{"wrongname", &wrongName_}, std::pair{"expired", &expired_}})
            *port =
                static_cast<std::uint16_t>(JsonGetNumber(U(ports), ports.size(), kind).value_or(0));
        if (!good_) skipWhy_ = "the local HTTPS server did not start";
    }
    static void TearDownTestSuite() {
        if (server_) pclose(server_); // closing its standard input ends it
        server_ = nullptr;
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    void SetUp() override {
        if (!skipWhy_.empty()) GTEST_SKIP() << skipWhy_;
        fs::remove(dir_ / "requests.jsonl");
    }

    static void SetRoutes(const std::string& json) {
        std::ofstream(dir_ / "routes.tmp") << json;
        fs::rename(dir_ / "routes.tmp", dir_ / "routes.json");
    }
    static std::vector<std::string> Requests() {
        std::vector<std::string> lines;
        std::istringstream s(ReadText(dir_ / "requests.jsonl"));
        for (std::string l; std::getline(s, l);)
            if (!l.empty()) lines.push_back(l);
        return lines;
    }
    template <class Job> void Aim(Job& job, std::uint16_t port, const char* path) {
        job.host = "localhost";
        job.port = port;
        job.path = path;
        job.settings.caFile = (dir_ / "ca.pem").string();
    }
    static HttpsUrl Service(std::uint16_t port) {
        HttpsUrl u;
        u.host = "localhost";
        u.port = port;
        return u;
    }

    static inline fs::path dir_;
    static inline std::FILE* server_ = nullptr;
    static inline std::string skipWhy_;
    static inline std::uint16_t good_ = 0, untrusted_ = 0, wrongName_ = 0, expired_ = 0;
};

std::string Route(const std::string& path, const std::string& body, int status = 200,
                  const std::string& extra = "") {
    std::string escaped;
    for (char c : body) {
        if (c == '"' || c == '\\') escaped += '\\';
        if (static_cast<unsigned char>(c) >= 0x80) {
            char u[8];
            std::snprintf(u, sizeof u, "\\u%04x", static_cast<unsigned char>(c));
            escaped += u;
            continue;
        }
        escaped += c;
    }
    return "\"" + path + "\":{\"status\":" + std::to_string(status) + ",\"body\":\"" + escaped +
           "\"" + extra + "}";
}

TEST_F(LocalHttps, FirmwareCheckRequestAndOutcomes) {
    const std::string bom = "\xef\xbb\xbf";
    struct Row {
        std::string reply;
        UpdateCheckState state;
        std::uint32_t id;
    };
    const Row rows[] = {
        {bom + R"({"statuscode":"Y","successcode":"Y001"})", UpdateCheckState::kUpToDate, 21317},
        {bom +
             R"({"statuscode":"Y","successcode":"Y002","msg":"a, b","url":"https://localhost/f/U.exe"})",
         UpdateCheckState::kUpdateAvailable, 21320},
        {bom + R"({"statuscode":"Y","successcode":"Y002"})", UpdateCheckState::kFailed, 21321},
        {bom + R"({"statuscode":"N","errorcode":"S001"})", UpdateCheckState::kRefused, 21326},
        {bom + R"({"statuscode":"N","errorcode":"F003"})", UpdateCheckState::kUpToDate, 21324},
        {bom + R"({"statuscode":"N","errorcode":"Z9","msg":"E: \"x\""})",
         UpdateCheckState::kRefused, 0},
        {R"({"statuscode":"Y","successcode":"Y001"})", UpdateCheckState::kUpToDate, 21317},
        {"{\"", UpdateCheckState::kFailed, 21321},
    };
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const unsigned y = static_cast<unsigned>(local.tm_year + 1900),
                   m = static_cast<unsigned>(local.tm_mon + 1),
                   d = static_cast<unsigned>(local.tm_mday);
    char date[16];
    std::snprintf(date, sizeof date, "%04u%02u%02u", y, m, d);
    const std::string expectedToken =
        Shell(std::string("printf '%s' 'Hq3TmW7xRc2NvLp8Ys5KdF1a") + date + "' | sha256sum")
            .substr(0, 64);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        SetRoutes("{" + Route(kFwUpdatePath, row.reply) + "}");
        fs::remove(dir_ / "requests.jsonl");
        ErrorCode e = 0;
        auto job = CreateFwUpdateJob(Service(good_), "SN 0042", "FW1.2", y, m, d, e);
        ASSERT_TRUE(job);
        job->settings.caFile = (dir_ / "ca.pem").string();
        job->Run();
        const UpdateOutcome o = DecodeFwUpdateJob(job.Get());
        EXPECT_EQ(o.state, row.state) << o.error;
        EXPECT_EQ(o.messageId, row.id);
        EXPECT_EQ(o.httpStatus, 200u);

        // The request as the server saw it.
        const auto reqs = Requests();
        ASSERT_EQ(reqs.size(), 1u);
        const std::string& r = reqs[0];
        auto str = [&](const char* k) { return JsonGetString(U(r), r.size(), k).value_or("?"); };
        auto num = [&](const char* k) { return JsonGetNumber(U(r), r.size(), k).value_or(999); };
        EXPECT_EQ(str("method"), "POST");
        EXPECT_EQ(str("path"), "/ssd_api/tarvikdornFwUpdate");
        EXPECT_EQ(str("version"), "HTTP/1.1");
        EXPECT_EQ(str("ua"), "HTTP Zolt/1.0");
        EXPECT_EQ(num("contentTypes"), 1u);
        EXPECT_EQ(str("contentType"), "multipart/form-data; boundary=boundary1");
        EXPECT_EQ(num("contentLengths"), 1u);
        EXPECT_EQ(str("contentLength"), std::to_string(job->body.size()));
        EXPECT_EQ(num("bodyLength"), job->body.size());
        EXPECT_EQ(num("expects"), 0u);
        const auto form = JsonObjectOffset(U(r), r.size(), "form");
        ASSERT_GT(form, 0);
        const std::uint8_t* f = U(r) + form;
        const std::size_t fn = r.size() - static_cast<std::size_t>(form);
        EXPECT_EQ(JsonGetString(f, fn, "SSD_Serial_Number"), "SN 0042");
        EXPECT_EQ(JsonGetString(f, fn, "SSD_Inside_Firmware"), "FW1.2");
        EXPECT_EQ(JsonGetString(f, fn, "token"), expectedToken);
    }
}

TEST_F(LocalHttps, ToolRecords) {
    struct Row {
        std::string record;
        UpdateCheckState state;
    };
    const Row rows[] = {
        {R"({"Software":{"Tarvik":{"version":50208,"download":"https://localhost/t.exe"}}})",
         UpdateCheckState::kUpToDate},
        {R"({"Software":{"Tarvik":{"version":50300,"download":"https://localhost/t.exe"}}})",
         UpdateCheckState::kUpdateAvailable},
        {R"({"Software":{"Tarvik":{"version":"50300","download":"https://localhost/t.exe"}}})",
         UpdateCheckState::kUpdateAvailable},
        {R"({"Software":{}})", UpdateCheckState::kFailed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.record);
        SetRoutes("{" + Route(kSwUpdatePath, row.record) + "}");
        std::vector<std::uint8_t> buffer;
        auto job = CreateSwUpdateJob(Service(good_), buffer);
        ASSERT_TRUE(job);
        job->settings.caFile = (dir_ / "ca.pem").string();
        job->Run();
        EXPECT_EQ(DecodeSwUpdateJob(job.Get()).state, row.state);
        EXPECT_EQ(job->used, static_cast<std::int32_t>(row.record.size()));
    }
    // Nothing listening there: a failure, not "the latest version".
    SetRoutes("{}");
    std::vector<std::uint8_t> buffer;
    auto job = CreateSwUpdateJob(Service(good_), buffer);
    job->settings.caFile = (dir_ / "ca.pem").string();
    job->Run();
    const auto o = DecodeSwUpdateJob(job.Get());
    EXPECT_EQ(o.state, UpdateCheckState::kFailed);
    EXPECT_EQ(o.httpStatus, 404u);
}

TEST_F(LocalHttps, BodiesAndLimits) {
    SetRoutes("{" + Route("/404", "gone for good", 404) + "," +
              R"("/2048":{"repeat":"abcdefg","length":2048},)" +
              R"("/40000":{"repeat":"0123456789","length":40000},)" +
              R"("/endless":{"mode":"endless"})" + "}");
    {
        clJobHttpBuffer job;
        Aim(job, good_, "/404");
        job.Run();
        EXPECT_FALSE(job.IsFailed());
        EXPECT_EQ(job.statusCode, 404u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(job.data.get()), job.used), "gone for good");
    }
    {
        clJobHttpBuffer job;
        Aim(job, good_, "/2048");
        job.Run();
        EXPECT_FALSE(job.IsFailed()) << job.Result();
        EXPECT_EQ(job.used, 2048);
        EXPECT_EQ(job.capacity, 4096);
    }
    {
        std::vector<std::uint8_t> target(32768, 0);
        clJobHttpGetData job;
        Aim(job, good_, "/40000");
        job.target = target.data();
        job.targetCapacity = 32768;
        job.Run();
        EXPECT_TRUE(job.IsFailed());
        EXPECT_EQ(job.Result(), neterr::kBufferTooSmall);
        EXPECT_LE(job.used, 32768);
        EXPECT_GT(job.used, 32768 - 2048);
        EXPECT_EQ(target[12], '2'); // the earlier bytes are kept
    }
    {
        clJobHttpBuffer job;
        Aim(job, good_, "/endless");
        job.Run();
        EXPECT_EQ(job.Result(), neterr::kBufferTooSmall);
        EXPECT_LE(job.capacity, clJobHttpBuffer::kDefaultMaxCapacity);
        EXPECT_LT(job.used, job.capacity);
    }
}

TEST_F(LocalHttps, Redirects) {
    const std::string good = std::to_string(good_);
    SetRoutes("{" + Route("/end", "arrived") + "," +
              Route("/toHttps", "", 302,
                    ",\"headers\":{\"Location\":\"https://localhost:" + good + "/end\"}") +
              "," +
              Route("/toHttp", "", 302,
                    ",\"headers\":{\"Location\":\"http://localhost:" + good + "/end\"}") +
              "," + Route("/loop", "", 302, ",\"headers\":{\"Location\":\"/loop\"}") + "," +
              Route("/post307", "", 307, ",\"headers\":{\"Location\":\"/end\"}") + "}");
    struct Row {
        const char* path;
        const char* verb;
        ErrorCode result;
        std::uint32_t status;
        std::size_t requests;
    };
    const Row rows[] = {
        {"/toHttps", "GET", 0, 200, 2},
        {"/toHttp", "GET", neterr::kRedirectFailed, 302, 1},
        {"/loop", "GET", neterr::kRedirectFailed, 302, 6},
        {"/post307", "POST", 0, 307, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        fs::remove(dir_ / "requests.jsonl");
        clJobHttpBuffer job;
        Aim(job, good_, row.path);
        job.verb = row.verb;
        job.body = row.verb == std::string("POST") ? "x=1" : "";
        job.Run();
        EXPECT_EQ(job.Result(), row.result);
        EXPECT_EQ(job.statusCode, row.status);
        EXPECT_EQ(Requests().size(), row.requests);
    }
}

TEST_F(LocalHttps, CertificatesAreChecked) {
    SetRoutes("{" + Route("/a", "secret body") + "}");
    for (std::uint16_t port : {untrusted_, wrongName_, expired_}) {
        SCOPED_TRACE(port);
        clJobHttpBuffer job;
        Aim(job, port, "/a");
        job.Run();
        EXPECT_TRUE(job.IsFailed());
        EXPECT_TRUE(neterr::IsTlsFailure(job.Result())) << job.Result();
        EXPECT_EQ(job.used, 0);
        EXPECT_EQ(job.statusCode, 0u);
    }
    EXPECT_TRUE(Requests().empty()); // no request got through any of them
    // Without the test CA the system's store does not know the server either.
    clJobHttpBuffer job;
    Aim(job, good_, "/a");
    job.settings.caFile.clear();
    job.Run();
    EXPECT_TRUE(neterr::IsTlsFailure(job.Result())) << job.Result();
}

TEST_F(LocalHttps, ClosedPortStallAndAbort) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    {
        clJobHttpBuffer job;
        Aim(job, ntohs(a.sin_port), "/a");
        job.Run();
        EXPECT_EQ(job.Result(), neterr::kCannotConnect);
    }
    SetRoutes(R"({"/stall":{"mode":"stall"}})");
    {
        clJobHttpBuffer job;
        Aim(job, good_, "/stall");
        job.settings.idleTimeoutMs = 1000;
        job.Run();
        EXPECT_EQ(job.Result(), neterr::kTimeout);
        EXPECT_EQ(job.used, 10);
    }
    {
        clJobHttpBuffer job;
        Aim(job, good_, "/stall");
        std::thread worker([&] { job.Run(); });
        // Once the first bytes have arrived, the user stops it.
        while (!job.Done() && Requests().size() < 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        job.Abort();
        worker.join();
        EXPECT_TRUE(job.IsAborted());
        EXPECT_TRUE(job.IsFailed());
        EXPECT_EQ(job.Result(), err::kCancelled);
    }
}

TEST_F(LocalHttps, UpdateCheckCommand) {
    test::SimFolder sim;
    sim.Drive("a-ssd", "Model=Flash Disk\nSerial=FL-2\nFirmware=FL02\nBus=NVMe");
    const std::string service = "https://localhost:" + std::to_string(good_);
    const std::string ca = (dir_ / "ca.pem").string();
    const std::string bom = "\xef\xbb\xbf";
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string route;
        int status;
        std::vector<std::string> has;
    };
    const Row rows[] = {
        {"offer",
         {"--json", "update-check", "a-ssd"},
         Route(kFwUpdatePath,
               bom +
                   R"({"statuscode":"Y","successcode":"Y002","url":"https://localhost/d/Fw.exe"})"),
         0,
         {R"("updateAvailable": true)", R"("url": "https://localhost/d/Fw.exe")",
          R"("status": "update available")", R"("httpStatus": 200)", R"("check": "firmware")"}},
        {"refused",
         {"update-check", "a-ssd"},
         Route(kFwUpdatePath, bom + R"({"statuscode":"N","errorcode":"S001"})"),
         1,
         {"Serial:    FL-2", "Firmware:  FL02", "Outcome:   refused",
          "Message:   Token cannot be blank or false.(S001)"}},
        {"server text is printed with control characters replaced",
         {"update-check", "a-ssd"},
         Route(kFwUpdatePath, bom + "{\"statuscode\":\"N\",\"msg\":\"E: a\\u001b[2Jb\"}"),
         1,
         {"Message:    a?[2Jb"}},
        {"up to date (F001)",
         {"update-check", "a-ssd"},
         Route(kFwUpdatePath, bom + R"({"statuscode":"N","errorcode":"F001"})"),
         0,
         {"You already have the latest firmware version.(F001)"}},
        {"tool up to date",
         {"--json", "update-check", "--tool"},
         Route(kSwUpdatePath, R"({"Software":{"Tarvik":{"version":50208}}})"),
         0,
         {R"("status": "up to date")", R"("drive": null)", R"("updateAvailable": false)"}},
        {"tool check failed is a failure",
         {"--json", "update-check", "--tool"},
         Route(kSwUpdatePath, "oops", 500),
         1,
         {R"("status": "failed")", R"("httpStatus": 500)"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetRoutes("{" + row.route + "}");
        fs::remove(dir_ / "requests.jsonl");
        std::vector<std::string> args = row.args;
        for (const char* a : {"--service", service.c_str(), "--ca-file", ca.c_str()})
            args.push_back(a);
        args.push_back("--simulate");
        args.push_back(sim.Path());
        const auto r = test::RunTool(args);
        EXPECT_EQ(r.status, row.status) << r.out << r.err;
        for (const auto& h : row.has)
            EXPECT_NE(r.out.find(h), std::string::npos) << h << "\n" << r.out;
        if (row.args.back() == "a-ssd") {
            const auto reqs = Requests();
            ASSERT_EQ(reqs.size(), 1u);
            EXPECT_NE(reqs[0].find(R"("SSD_Serial_Number": "FL-2")"), std::string::npos) << reqs[0];
            EXPECT_NE(reqs[0].find(R"("SSD_Inside_Firmware": "FL02")"), std::string::npos);
        }
    }
    // Usage errors: plain http is refused before anything is sent.
    EXPECT_EQ(test::RunTool({"update-check", "--tool", "--service", "http://localhost:1"}).status,
              2);
    EXPECT_EQ(test::RunTool({"update-check"}).status, 2);
    EXPECT_EQ(test::RunTool({"update-check", "a-ssd", "--tool"}).status, 2);
}

TEST_F(LocalHttps, OpenHandsTheAddressToXdgOpenAsOneArgument) {
    // A stub xdg-open first on PATH records its arguments, one a line.
    test::SimFolder bin;
    bin.Write("xdg-open", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \"" +
                              (bin / "argv").string() + "\"\n");
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    const std::string path = bin.Path() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "");
    test::ScopedEnv env("PATH", path.c_str());
    const std::string service = "https://localhost:" + std::to_string(good_);
    const std::string ca = (dir_ / "ca.pem").string();
    struct Row {
        std::string download;
        int status;
        std::string argv;
    };
    const Row rows[] = {
        {"https://localhost/t.exe?a=1&b=$(id)", 0, "https://localhost/t.exe?a=1&b=$(id)\n"},
        {"https://localhost/t.exe;reboot", 0, "https://localhost/t.exe;reboot\n"},
        {"file:///etc/passwd", 1, ""},
        {"javascript:alert(1)", 1, ""},
        {"https://localhost/a b", 1, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.download);
        bin.Remove("argv");
        std::string escaped;
        for (char c : row.download) {
            if (c == '"' || c == '\\') escaped += '\\';
            escaped += c;
        }
        SetRoutes("{" +
                  Route(kSwUpdatePath, R"({"Software":{"Tarvik":{"version":60000,"download":")" +
                                           escaped + "\"}}}") +
                  "}");
        const auto r = test::RunTool(
            {"update-check", "--tool", "--open", "--service", service, "--ca-file", ca});
        EXPECT_EQ(r.status, row.status) << r.out << r.err;
        EXPECT_EQ(ReadText(bin / "argv"), row.argv);
    }
    // Without --open nothing is opened.
    bin.Remove("argv");
    SetRoutes(
        "{" +
        Route(kSwUpdatePath,
              R"({"Software":{"Tarvik":{"version":60000,"download":"https://localhost/x"}}})") +
        "}");
    EXPECT_EQ(
        test::RunTool({"update-check", "--tool", "--service", service, "--ca-file", ca}).status, 0);
    EXPECT_FALSE(fs::exists(bin / "argv"));
}

TEST_F(LocalHttps, ServiceFromConfigIni) {
    test::SimFolder home;
    test::ScopedEnv env("XDG_CONFIG_HOME", home.Path().c_str());
    const std::string ca = (dir_ / "ca.pem").string();
    SetRoutes("{" + Route(kSwUpdatePath, R"({"Software":{"Tarvik":{"version":1}}})") + "}");
    // Nothing configured and no built-in host yet: the check says so and fails.
    auto r = test::RunTool({"update-check", "--tool", "--ca-file", ca});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("update service not configured"), std::string::npos) << r.err;
    fs::create_directories(home / "Tarvikdorn");
    home.Write("Tarvikdorn/Config.ini",
               "[UI]\r\nLang=0809\r\n[Update]\r\nToolService=https://localhost:" +
                   std::to_string(good_) + "\r\nFirmwareService=http://localhost:1\r\n");
    r = test::RunTool({"update-check", "--tool", "--ca-file", ca});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Outcome:   up to date"), std::string::npos) << r.out;
    // A plain-http service in the configuration is refused before anything is sent.
    test::SimFolder sim;
    sim.Drive("a-ssd", "Model=Flash Disk\nSerial=FL-2\nFirmware=FL02\nBus=NVMe");
    fs::remove(dir_ / "requests.jsonl");
    r = test::RunTool({"update-check", "a-ssd", "--simulate", sim.Path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("https"), std::string::npos) << r.err;
}

} // namespace
} // namespace tvd
