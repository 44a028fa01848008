// A transport that plays a script instead of talking to a network: the responses of a redirect
// chain (status, Location, Content-Length, body pieces), a step that fails, and hooks that run
// inside a step (to abort from "another thread" at a chosen moment). Every call is logged.
#pragma once
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/httptransport.h"

namespace tvd::test {

struct ScriptedResponse {
    std::uint32_t status = 200;
    std::string location;
    std::int64_t contentLength = -1;
    std::vector<std::string> pieces; // what QueryDataAvailable announces, one after another
};

enum class Step { kNone, kOpenSession, kConnect, kOpenRequest, kSend, kQuery, kRead };

struct Script {
    std::vector<ScriptedResponse> responses{ScriptedResponse{}};
    Step failAt = Step::kNone;
    ErrorCode failCode = 0;
    // Runs inside the step before it answers (called with the number of times it was reached).
    Step hookAt = Step::kNone;
    std::function<void(int)> hook;
    std::vector<std::string> log;
    std::vector<std::uint32_t> readSizes;
    std::vector<std::string> requests; // "VERB host:port path"
    std::string sentHeaders, sentBody;
    HttpTransportSettings settings;
    int cancels = 0;
};

class ScriptedTransport final : public HttpTransport {
public:
    explicit ScriptedTransport(std::shared_ptr<Script> s) : s_(std::move(s)) {}

    ErrorCode OpenSession(const char* userAgent, const HttpTransportSettings& st) override {
        s_->log.push_back(std::string("OpenSession ") + userAgent);
        s_->settings = st;
        return Answer(Step::kOpenSession);
    }
    ErrorCode Connect(const std::string& host, std::uint16_t port) override {
        s_->log.push_back("Connect");
        target_ = host + ":" + std::to_string(port);
        return Answer(Step::kConnect);
    }
    ErrorCode OpenRequest(const std::string& verb, const std::string& path) override {
        s_->log.push_back("OpenRequest");
        s_->requests.push_back(verb + " " + target_ + " " + path);
        return Answer(Step::kOpenRequest);
    }
    ErrorCode SendRequest(const std::string& headers, const std::uint8_t* body, std::uint32_t n,
                          std::uint32_t& status) override {
        s_->log.push_back("SendRequest");
        s_->sentHeaders = headers;
        s_->sentBody.assign(reinterpret_cast<const char*>(body), n);
        status = 0;
        if (ErrorCode r = Answer(Step::kSend)) return r;
        const std::size_t i = std::min(sent_, s_->responses.size() - 1);
        current_ = s_->responses[i];
        ++sent_;
        piece_ = offset_ = 0;
        status = current_.status;
        return 0;
    }
    std::string Location() override { return current_.location; }
    std::int64_t ContentLength() override { return current_.contentLength; }
    ErrorCode QueryDataAvailable(std::uint32_t& available) override {
        s_->log.push_back("Query");
        available = 0;
        if (ErrorCode r = Answer(Step::kQuery)) return r;
        while (piece_ < current_.pieces.size() && offset_ >= current_.pieces[piece_].size()) {
            ++piece_;
            offset_ = 0;
        }
        if (piece_ < current_.pieces.size())
            available = static_cast<std::uint32_t>(current_.pieces[piece_].size() - offset_);
        return 0;
    }
    ErrorCode ReadData(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read) override {
        s_->readSizes.push_back(size);
        read = 0;
        if (ErrorCode r = Answer(Step::kRead)) return r;
        if (piece_ >= current_.pieces.size()) return 0;
        const std::string& p = current_.pieces[piece_];
        read = static_cast<std::uint32_t>(std::min<std::size_t>(size, p.size() - offset_));
        std::memcpy(buffer, p.data() + offset_, read);
        offset_ += read;
        return 0;
    }
    void CloseRequest() override { s_->log.push_back("CloseRequest"); }
    void CloseConnection() override { s_->log.push_back("CloseConnection"); }
    void CloseSession() override { s_->log.push_back("CloseSession"); }
    void Cancel() override { ++s_->cancels; }

private:
    ErrorCode Answer(Step step) {
        if (step == s_->hookAt && s_->hook) s_->hook(++hookCount_);
        return step == s_->failAt ? s_->failCode : 0;
    }

    std::shared_ptr<Script> s_;
    std::string target_;
    ScriptedResponse current_;
    std::size_t sent_ = 0, piece_ = 0, offset_ = 0;
    int hookCount_ = 0;
};

inline std::string Bytes(std::size_t n, char seed = 'a') {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(seed + i % 23);
    return s;
}

} // namespace tvd::test
