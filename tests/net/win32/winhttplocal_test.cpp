// The WinHTTP transport against the local HTTPS server of tests/net. The server runs on the Linux
// side: tests/net/winehttps.py starts it, names its folder in TVD_HTTPS_TEST_DIR and runs these
// tests under Wine. The test CA goes into the prefix's LOCAL_MACHINE Root store, the one store
// Wine's WinHTTP consults.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "net/cljobhttpbuffer.h"
#include "net/jsonutil.h"
#include "net/panelfwupdateutil.h"

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

bool TrustTestCa(const std::string& der) {
    HMODULE crypt = LoadLibraryW(L"crypt32.dll");
    if (!crypt) return false;
    using OpenFn = HCERTSTORE(WINAPI*)(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void*);
    using AddFn = BOOL(WINAPI*)(HCERTSTORE, DWORD, const BYTE*, DWORD, DWORD, PCCERT_CONTEXT*);
    using CloseFn = BOOL(WINAPI*)(HCERTSTORE, DWORD);
    auto open =
        reinterpret_cast<OpenFn>(reinterpret_cast<void*>(GetProcAddress(crypt, "CertOpenStore")));
    auto add = reinterpret_cast<AddFn>(
        reinterpret_cast<void*>(GetProcAddress(crypt, "CertAddEncodedCertificateToStore")));
    auto close =
        reinterpret_cast<CloseFn>(reinterpret_cast<void*>(GetProcAddress(crypt, "CertCloseStore")));
    if (!open || !add || !close) return false;
    HCERTSTORE store =
        open(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store) return false;
    const BOOL ok = add(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                        static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    close(store, 0);
    return ok != FALSE;
}

class WinHttpLocal : public ::testing::Test {
protected:
    void SetUp() override {
        const char* d = std::getenv("TVD_HTTPS_TEST_DIR");
        if (!d || !*d) GTEST_SKIP() << "needs the local server: run tests/net/winehttps.py";
        dir_ = std::string("Z:") + d;
        const std::string ports = ReadText(dir_ / "ports.json");
        for (auto [kind, port] : {std::pair{"good", &good_}, std::pair{"untrusted", &untrusted_},
                                  std::pair{"expired", &expired_}})
            *port =
                static_cast<std::uint16_t>(JsonGetNumber(U(ports), ports.size(), kind).value_or(0));
        ASSERT_NE(good_, 0);
        ASSERT_TRUE(TrustTestCa(ReadText(dir_ / "ca.der")));
    }
    void Routes(const std::string& json) {
        std::ofstream(dir_ / "routes.tmp") << json;
        fs::rename(dir_ / "routes.tmp", dir_ / "routes.json");
        fs::remove(dir_ / "requests.jsonl");
    }
    std::vector<std::string> Requests() {
        std::vector<std::string> lines;
        std::istringstream s(ReadText(dir_ / "requests.jsonl"));
        for (std::string l; std::getline(s, l);)
            if (!l.empty()) lines.push_back(l);
        return lines;
    }
    void Aim(clJobHttpBuffer& job, const char* host, std::uint16_t port, const char* path) {
        job.host = host;
        job.port = port;
        job.path = path;
    }

    fs::path dir_;
    std::uint16_t good_ = 0, untrusted_ = 0, expired_ = 0;
};

TEST_F(WinHttpLocal, BodiesStatusesAndRedirects) {
    const std::string good = std::to_string(good_);
    Routes(R"({"/a":{"status":200,"body":"hello"},"/404":{"status":404,"body":"gone"},)"
           R"("/2048":{"repeat":"abcdefg","length":2048},)"
           R"("/toHttp":{"status":302,"body":"","headers":{"Location":"http://localhost:)" +
           good + R"(/a"}},"/toHttps":{"status":302,"body":"","headers":{"Location":"/a"}}})");
    struct Row {
        const char* path;
        ErrorCode result;
        std::uint32_t status;
        std::string body;
    };
    const Row rows[] = {
        {"/a", 0, 200, "hello"},
        {"/404", 0, 404, "gone"},
        {"/2048", 0, 200, std::string()},
        {"/toHttps", 0, 200, "hello"},
        {"/toHttp", neterr::kRedirectFailed, 302, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        clJobHttpBuffer job;
        Aim(job, "localhost", good_, row.path);
        job.Run();
        EXPECT_EQ(job.Result(), row.result);
        EXPECT_EQ(job.statusCode, row.status);
        if (std::string(row.path) == "/2048") {
            EXPECT_EQ(job.used, 2048);
            EXPECT_EQ(job.capacity, 4096);
        } else {
            EXPECT_EQ(std::string(reinterpret_cast<char*>(job.data.get()), job.used), row.body);
        }
    }
}

TEST_F(WinHttpLocal, CertificatesAreChecked) {
    Routes(R"({"/a":{"status":200,"body":"secret"}})");
    struct Row {
        const char* host;
        std::uint16_t port;
    };
    // Wine matches no IP-address names: 127.0.0.1 is the wrong-name case.
    const Row rows[] = {{"localhost", untrusted_}, {"localhost", expired_}, {"127.0.0.1", good_}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.port);
        clJobHttpBuffer job;
        Aim(job, row.host, row.port, "/a");
        job.Run();
        EXPECT_TRUE(job.IsFailed());
        EXPECT_TRUE(neterr::IsTlsFailure(job.Result())) << job.Result();
        EXPECT_EQ(job.used, 0);
    }
    EXPECT_TRUE(Requests().empty());
}

TEST_F(WinHttpLocal, FirmwareRequestShape) {
    Routes(
        R"({"/ssd_api/tarvikdornFwUpdate":{"status":200,"body":"{\"statuscode\":\"N\",\"errorcode\":\"S001\"}"}})");
    HttpsUrl svc;
    svc.host = "localhost";
    svc.port = good_;
    ErrorCode e = 0;
    auto job = CreateFwUpdateJob(svc, "SN 7", "FW9", 2024, 3, 7, e);
    ASSERT_TRUE(job);
    job->Run();
    EXPECT_EQ(DecodeFwUpdateJob(job.Get()).messageId, 21326u);
    const auto reqs = Requests();
    ASSERT_EQ(reqs.size(), 1u);
    const std::string& r = reqs[0];
    auto str = [&](const char* k) { return JsonGetString(U(r), r.size(), k).value_or("?"); };
    auto num = [&](const char* k) { return JsonGetNumber(U(r), r.size(), k).value_or(999); };
    EXPECT_EQ(str("path"), "/ssd_api/tarvikdornFwUpdate");
    EXPECT_EQ(str("version"), "HTTP/1.1");
    EXPECT_EQ(str("ua"), "HTTP Zolt/1.0");
    EXPECT_EQ(num("contentTypes"), 1u);
    EXPECT_EQ(str("contentType"), "multipart/form-data; boundary=boundary1");
    EXPECT_EQ(num("contentLengths"), 1u);
    EXPECT_EQ(num("bodyLength"), job->body.size());
    EXPECT_EQ(num("expects"), 0u);
    EXPECT_NE(r.find(R"("SSD_Serial_Number": "SN 7")"), std::string::npos) << r;
    EXPECT_NE(
        r.find(R"("token": "49cdb9570bff41de3aa01f6e5d877eb28f05a10fca38cda5054e412e7171b8f2")"),
        std::string::npos);
}

} // namespace
} // namespace tvd
