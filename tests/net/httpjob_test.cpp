#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/cljobhttpbuffer.h"
#include "net/cljobhttpgetdata.h"
#include "net/scriptedtransport.h"

namespace tvd {
namespace {

using test::Bytes;
using test::Script;
using test::ScriptedResponse;
using test::ScriptedTransport;
using test::Step;

std::shared_ptr<Script> Attach(clJobHttpClient& job, std::shared_ptr<Script> s) {
    job.SetTransport(std::make_unique<ScriptedTransport>(s));
    job.host = "fw.example";
    job.path = "/p";
    return s;
}

std::string BufferBody(const clJobHttpBuffer& job) {
    return std::string(reinterpret_cast<const char*>(job.data.get()),
                       static_cast<std::size_t>(job.used));
}

const std::vector<std::string> kFullClose = {"CloseRequest", "CloseConnection", "CloseSession"};

std::vector<std::string> Tail(const std::vector<std::string>& log, std::size_t n) {
    return std::vector<std::string>(
        log.end() - static_cast<std::ptrdiff_t>(std::min(n, log.size())), log.end());
}

TEST(HttpJob, StatusesAndBodiesReachTheBuffer) {
    struct Row {
        std::uint32_t status;
        std::vector<std::string> pieces;
    };
    const Row rows[] = {
        {200, {"{\"a\":1}"}},
        {404, {"not here", " at all"}}, // a non-200 status is the caller's decision
        {500, {}},
        {200, {Bytes(5000)}}, // one large piece comes over in chunk-sized reads
        {200, {"", "x", ""}},
    };
    for (const auto& row : rows) {
        clJobHttpBuffer job;
        auto s = Attach(job, std::make_shared<Script>());
        s->responses[0].status = row.status;
        s->responses[0].pieces = row.pieces;
        job.Run();
        std::string want;
        for (auto& p : row.pieces)
            want += p;
        SCOPED_TRACE(row.status);
        EXPECT_TRUE(job.Done());
        EXPECT_FALSE(job.IsFailed());
        EXPECT_FALSE(job.IsAborted());
        EXPECT_EQ(job.statusCode, row.status);
        EXPECT_EQ(BufferBody(job), want);
        EXPECT_LT(job.used, job.capacity);
        for (auto n : s->readSizes) {
            EXPECT_LE(n, 2048u);
        }
        EXPECT_EQ(Tail(s->log, 3), kFullClose);
        EXPECT_EQ(s->log.front(), "OpenSession HTTP Zolt/1.0");
    }
}

TEST(HttpJob, BufferGrowthAndCap) {
    struct Row {
        const char* name;
        std::vector<std::string> pieces;
        std::int64_t contentLength;
        ErrorCode result;
        std::int32_t used, capacity;
        bool readAny;
    };
    std::vector<std::string> many(40, Bytes(2048));
    const Row rows[] = {
        {"empty", {}, 0, 0, 0, 2048, false},
        {"2047 fits the first buffer", {Bytes(2047)}, -1, 0, 2047, 2048, true},
        {"exactly 2048 grows once", {Bytes(2048)}, 2048, 0, 2048, 4096, true},
        {"endless chunked body stops at the cap", many, -1, neterr::kBufferTooSmall, 63488, 65536,
         true},
        {"announced length over the cap reads nothing",
         {Bytes(70000)},
         70000,
         neterr::kBufferTooSmall,
         0,
         2048,
         false},
        {"announced length equal to the cap leaves no byte free",
         {Bytes(65536)},
         65536,
         neterr::kBufferTooSmall,
         0,
         2048,
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clJobHttpBuffer job;
        auto s = Attach(job, std::make_shared<Script>());
        s->responses[0].pieces = row.pieces;
        s->responses[0].contentLength = row.contentLength;
        job.Run();
        EXPECT_EQ(job.Result(), row.result);
        EXPECT_EQ(job.IsFailed(), row.result != 0);
        EXPECT_EQ(job.used, row.used);
        EXPECT_EQ(job.capacity, row.capacity);
        EXPECT_EQ(!s->readSizes.empty(), row.readAny);
        std::string all;
        for (auto& p : row.pieces)
            all += p;
        EXPECT_EQ(BufferBody(job), all.substr(0, static_cast<std::size_t>(job.used)));
        EXPECT_EQ(Tail(s->log, 3), kFullClose);
    }
}

TEST(HttpJob, GetDataTargetLimits) {
    struct Row {
        std::size_t body;
        std::int32_t targetCapacity;
        ErrorCode result;
        std::int32_t used;
    };
    const Row rows[] = {
        {40000, 32768, neterr::kBufferTooSmall, 32768}, // the 17th chunk fails
        {40000, 32767, neterr::kBufferTooSmall, 30720}, // the 16th chunk already fails
        {32767, 32767, 0, 32767},                       // filling the target exactly is fine
        {0, 0, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.targetCapacity);
        std::vector<std::uint8_t> target(32768, 0);
        clJobHttpGetData job;
        auto s = Attach(job, std::make_shared<Script>());
        s->responses[0].pieces = {Bytes(row.body)};
        job.target = target.data();
        job.targetCapacity = row.targetCapacity;
        job.Run();
        EXPECT_EQ(job.Result(), row.result);
        EXPECT_EQ(job.IsFailed(), row.result != 0);
        EXPECT_EQ(job.used, row.used);
        EXPECT_EQ(std::string(target.begin(), target.begin() + job.used),
                  Bytes(row.body).substr(0, static_cast<std::size_t>(row.used)));
        if (row.targetCapacity < 32768) {
            EXPECT_EQ(target[32767], 0);
        } // never past the target
    }
}

TEST(HttpJob, FailingStepsCloseWhatWasOpenedInOrder) {
    struct Row {
        Step step;
        ErrorCode code;
        std::vector<std::string> closes;
    };
    const Row rows[] = {
        {Step::kOpenSession, 12004, {}},
        {Step::kConnect, 12007, {"CloseSession"}},
        {Step::kOpenRequest, 8, {"CloseConnection", "CloseSession"}},
        {Step::kSend, 12029, kFullClose},
        {Step::kQuery, 12030, kFullClose},
        {Step::kRead, 12002, kFullClose},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.step));
        clJobHttpBuffer job;
        auto s = Attach(job, std::make_shared<Script>());
        s->responses[0].pieces = {"body"};
        s->failAt = row.step;
        s->failCode = row.code;
        job.Run();
        EXPECT_TRUE(job.IsFailed());
        EXPECT_FALSE(job.IsAborted());
        EXPECT_EQ(job.Result(), row.code);
        EXPECT_EQ(job.used, 0);
        std::vector<std::string> closes;
        for (auto& l : s->log)
            if (l.rfind("Close", 0) == 0) closes.push_back(l);
        EXPECT_EQ(closes, row.closes);
        if (row.step <= Step::kSend) {
            EXPECT_TRUE(s->readSizes.empty());
        }
    }
}

TEST(HttpJob, AbortAtEveryMoment) {
    struct Row {
        const char* name;
        Step at; // kNone: before Run
        int onCall;
        bool touchesNetwork;
    };
    const Row rows[] = {
        {"before Run is kept", Step::kNone, 0, false},
        {"while connecting", Step::kConnect, 1, true},
        {"while sending", Step::kSend, 1, true},
        {"during the body", Step::kRead, 2, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clJobHttpBuffer job;
        auto s = Attach(job, std::make_shared<Script>());
        s->responses[0].pieces = {Bytes(8000)};
        if (row.at == Step::kNone) {
            job.Abort();
        } else {
            s->hookAt = row.at;
            s->hook = [&](int n) {
                if (n == row.onCall) job.Abort();
            };
        }
        job.Run();
        EXPECT_TRUE(job.IsAborted());
        EXPECT_TRUE(job.IsFailed());
        EXPECT_EQ(job.Result(), err::kCancelled);
        EXPECT_EQ(!s->log.empty(), row.touchesNetwork);
        // The read under way completes; nothing after it is asked for.
        if (row.at == Step::kRead) {
            EXPECT_EQ(job.used, 4096);
            EXPECT_EQ(s->readSizes.size(), 2u);
        }
        if (row.at == Step::kRead || row.at == Step::kSend) {
            EXPECT_EQ(s->cancels, 1);
        }
        if (row.touchesNetwork) {
            EXPECT_EQ(Tail(s->log, 3), kFullClose);
        }
    }
    // A finished job cannot be turned into an aborted one.
    clJobHttpBuffer done;
    Attach(done, std::make_shared<Script>());
    done.Run();
    done.Abort();
    EXPECT_FALSE(done.IsAborted());
    EXPECT_FALSE(done.IsFailed());
}

TEST(HttpJob, RedirectsOfAGetAreCheckedAndBounded) {
    auto redirect = [](std::uint32_t status, const char* to) {
        ScriptedResponse r;
        r.status = status;
        r.location = to;
        return r;
    };
    ScriptedResponse final;
    final.pieces = {"done"};
    struct Row {
        const char* name;
        std::string verb;
        std::vector<ScriptedResponse> responses;
        ErrorCode result;
        std::uint32_t status;
        std::vector<std::string> requests;
    };
    const Row rows[] = {
        {"https to https",
         "GET",
         {redirect(302, "https://cdn.example:8443/a/b?x=1#frag"), final},
         0,
         200,
         {"GET fw.example:443 /p", "GET cdn.example:8443 /a/b?x=1"}},
        {"same server path",
         "GET",
         {redirect(301, "/moved"), final},
         0,
         200,
         {"GET fw.example:443 /p", "GET fw.example:443 /moved"}},
        {"https to http refused",
         "GET",
         {redirect(302, "http://cdn.example/a"), final},
         neterr::kRedirectFailed,
         302,
         {"GET fw.example:443 /p"}},
        {"to a scheme-relative address refused",
         "GET",
         {redirect(307, "//evil.example/a"), final},
         neterr::kRedirectFailed,
         307,
         {"GET fw.example:443 /p"}},
        {"a POST follows none",
         "POST",
         {redirect(307, "https://other.example/"), final},
         0,
         307,
         {"POST fw.example:443 /p"}},
        {"3xx without Location refused",
         "GET",
         {redirect(302, ""), final},
         neterr::kRedirectFailed,
         302,
         {"GET fw.example:443 /p"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clJobHttpBuffer job;
        auto s = Attach(job, std::make_shared<Script>());
        job.verb = row.verb;
        s->responses = row.responses;
        job.Run();
        EXPECT_EQ(job.Result(), row.result);
        EXPECT_EQ(job.statusCode, row.status);
        EXPECT_EQ(s->requests, row.requests);
        if (row.result == 0 && row.status == 200) {
            EXPECT_EQ(BufferBody(job), "done");
        }
        int closes = 0;
        for (auto& l : s->log)
            closes += l == "CloseRequest";
        EXPECT_EQ(closes, static_cast<int>(row.requests.size()));
    }
    // A loop stops after five hops.
    clJobHttpBuffer loop;
    auto s = Attach(loop, std::make_shared<Script>());
    s->responses = {redirect(302, "https://fw.example/p")};
    loop.Run();
    EXPECT_EQ(loop.Result(), neterr::kRedirectFailed);
    EXPECT_EQ(loop.RedirectCount(), 5);
    EXPECT_EQ(s->requests.size(), 6u);
}

TEST(HttpJob, RequestIsSentAsGiven) {
    clJobHttpBuffer job;
    auto s = Attach(job, std::make_shared<Script>());
    job.verb = "POST";
    job.port = 8443;
    job.headers = "Content-type: text/plain";
    job.body = std::string("a\0b", 3);
    job.settings.idleTimeoutMs = 1234;
    job.Run();
    EXPECT_EQ(s->requests, std::vector<std::string>{"POST fw.example:8443 /p"});
    EXPECT_EQ(s->sentHeaders, "Content-type: text/plain");
    EXPECT_EQ(s->sentBody, std::string("a\0b", 3));
    EXPECT_EQ(s->settings.idleTimeoutMs, 1234u);
}

TEST(HttpJob, HeaderLinesForTheWire) {
    std::vector<std::string> lines;
    ASSERT_TRUE(SplitRequestHeaders(
        "Content-type: multipart/form-data; boundary=boundary1\nContent-Length: 99\r\n\nX: y",
        lines));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Content-type: multipart/form-data; boundary=boundary1", "X: y"}));
    EXPECT_FALSE(SplitRequestHeaders("X: a\rInjected: b", lines));
    EXPECT_FALSE(SplitRequestHeaders(std::string("X: a\0b", 6), lines));
}

} // namespace
} // namespace tvd
