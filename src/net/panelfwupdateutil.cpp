#include "net/panelfwupdateutil.h"

#include <cstdio>
#include <new>
#include <vector>

#include "foundation/bcryptutil.h"
#include "net/jsonutil.h"

namespace tvd {
namespace {

constexpr const char* kFailedText = "Firmware update failed. ";
constexpr const char* kLatestText = "You already have the latest firmware version.";

struct CodeRow {
    const char* code;
    UpdateCheckState state;
    std::uint32_t id;
    const char* text;
};

// The refusals the service sends; the F and M codes say there is nothing newer.
constexpr CodeRow kRefusals[] = {
    {"F001", UpdateCheckState::kUpToDate, 21322,
     "You already have the latest firmware version.(F001)"},
    {"F002", UpdateCheckState::kUpToDate, 21323,
     "You already have the latest firmware version.(F002)"},
    {"F003", UpdateCheckState::kUpToDate, 21324,
     "You already have the latest firmware version.(F003)"},
    {"F004", UpdateCheckState::kUpToDate, 21325,
     "You already have the latest firmware version.(F004)"},
    {"S001", UpdateCheckState::kRefused, 21326, "Token cannot be blank or false.(S001)"},
    {"S002", UpdateCheckState::kRefused, 21327, "Missing languages.(S002)"},
    {"M001", UpdateCheckState::kUpToDate, 21328,
     "You already have the latest firmware version.(M001)"},
    {"M002", UpdateCheckState::kUpToDate, 21329,
     "You already have the latest firmware version.(M002)"},
};

bool FormValueOk(std::string_view v) {
    if (v.empty() || v.find("--boundary1") != std::string_view::npos) return false;
    for (char c : v) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7e) return false;
    }
    return true;
}

void AppendPart(std::string& body, const char* name, std::string_view value) {
    body += "--boundary1\r\nContent-Disposition: form-data; name=\"";
    body += name;
    body += "\"\r\n\r\n";
    body.append(value.data(), value.size());
    body += "\r\n";
}

} // namespace

ErrorCode FwUpdateKey(unsigned year, unsigned month, unsigned day, std::string& key) {
    key.clear();
    if (year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
        return err::kInvalidParameter;
    char date[16];
    std::snprintf(date, sizeof date, "%04u%02u%02u", year, month, day);
    const std::string input = std::string(kFwUpdateToken) + date;
    std::vector<std::uint8_t> digest;
    const ErrorCode r =
        Sha256(ByteView(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()), digest);
    if (r != 0) return r;
    if (digest.size() != 32) return err::kInvalidData;
    static const char kHex[] = "0123456789abcdef";
    for (std::uint8_t b : digest) {
        key += kHex[b >> 4];
        key += kHex[b & 15];
    }
    return 0;
}

ErrorCode BuildFwUpdateForm(std::string_view serial, std::string_view firmware,
                            std::string_view key, std::string& body) {
    body.clear();
    if (!FormValueOk(serial) || !FormValueOk(firmware) || !FormValueOk(key))
        return err::kInvalidData;
    AppendPart(body, "SSD_Serial_Number", serial);
    AppendPart(body, "SSD_Inside_Firmware", firmware);
    AppendPart(body, "token", key);
    body += "--boundary1--\r\n";
    return 0;
}

ZoltRef<clJobHttpBuffer> CreateFwUpdateJob(const HttpsUrl& service, std::string_view serial,
                                           std::string_view firmware, unsigned year, unsigned month,
                                           unsigned day, ErrorCode& error) {
    std::string key, body;
    error = FwUpdateKey(year, month, day, key);
    if (error == 0) error = BuildFwUpdateForm(serial, firmware, key, body);
    if (error != 0) return nullptr;
    ZoltRef<clJobHttpBuffer> job(new (std::nothrow) clJobHttpBuffer);
    if (!job) {
        error = err::kNoSystemResources;
        return nullptr;
    }
    job->verb = "POST";
    job->host = service.host;
    job->port = service.port;
    job->path = kFwUpdatePath;
    job->headers = kFwUpdateHeaders;
    job->body = std::move(body);
    job->maxCapacity = kFwReplyCap;
    return job;
}

UpdateOutcome DecodeFwUpdateReply(bool failed, ErrorCode error, std::uint32_t httpStatus,
                                  const std::uint8_t* body, std::size_t length) {
    UpdateOutcome out;
    out.httpStatus = httpStatus;
    auto fail = [&out](ErrorCode why) {
        out.state = UpdateCheckState::kFailed;
        out.messageId = 21321;
        out.message = kFailedText;
        if (out.error == 0) out.error = why;
        out.url.clear();
        out.fileName.clear();
        return out;
    };
    if (failed) return fail(error != 0 ? error : err::kGenFailure);
    if (httpStatus != 200) return fail(0);
    const std::size_t start = JsonObjectStart(body, length);
    if (start == std::string_view::npos) return fail(err::kInvalidData);
    const std::uint8_t* t = body + start;
    const std::size_t n = length - start;

    auto status = JsonGetString(t, n, "statuscode");
    if (!status || status->empty()) return fail(err::kInvalidData);
    out.status = (*status)[0];
    if (out.status == 'N' || out.status == 'Y') {
        if (auto c = JsonGetString(t, n, out.status == 'N' ? "errorcode" : "successcode"))
            out.code = *c;
    }
    if (auto m = JsonGetString(t, n, "msg")) {
        const std::size_t colon = m->find(':');
        if (colon != std::string::npos) out.message = m->substr(colon + 1);
    }
    std::string url;
    if (auto u = JsonGetString(t, n, "url")) url = *u;

    if (out.status == 'Y') {
        if (out.code == "Y001") {
            out.state = UpdateCheckState::kUpToDate;
            out.messageId = 21317;
            out.message = std::string(kLatestText) + "(Y001)";
            return out;
        }
        if (out.code == "Y002") {
            // An offer needs an address the browser may open and a file name to show.
            std::string name = UrlFileName(url);
            if (!IsSafeBrowserUrl(url) || name.empty()) return fail(err::kInvalidData);
            out.state = UpdateCheckState::kUpdateAvailable;
            out.messageId = 21320;
            out.url = url;
            out.fileName = name;
            out.message = "The latest firmware version can be updated. Download now? \nIf yes, "
                          "please run the program manually after the firmware update program (" +
                          name + ") is downloaded.";
            return out;
        }
        return fail(err::kInvalidData);
    }
    if (out.status == 'N') {
        for (const auto& row : kRefusals) {
            if (out.code == row.code) {
                out.state = row.state;
                out.messageId = row.id;
                out.message = row.text;
                return out;
            }
        }
        out.state = UpdateCheckState::kRefused;
        out.messageId = 0; // the service's own text after the ':' of "msg"
        return out;
    }
    return fail(err::kInvalidData);
}

UpdateOutcome DecodeFwUpdateJob(clJobHttpBuffer* job) {
    if (!job || !job->Done())
        return DecodeFwUpdateReply(true, err::kInvalidParameter, 0, nullptr, 0);
    return DecodeFwUpdateReply(job->IsFailed(), job->Result(), job->statusCode, job->data.get(),
                               static_cast<std::size_t>(job->used));
}

} // namespace tvd
