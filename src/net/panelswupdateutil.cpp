#include "net/panelswupdateutil.h"

#include <new>

#include "foundation/versioninfo.h"
#include "net/jsonutil.h"

namespace tvd {

ZoltRef<clJobHttpGetData> CreateSwUpdateJob(const HttpsUrl& service,
                                            std::vector<std::uint8_t>& buffer) {
    try {
        buffer.assign(kSwRecordBuffer, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    ZoltRef<clJobHttpGetData> job(new (std::nothrow) clJobHttpGetData);
    if (!job) return nullptr;
    job->verb = "GET";
    job->host = service.host;
    job->port = service.port;
    job->path = kSwUpdatePath;
    job->target = buffer.data();
    job->targetCapacity = kSwRecordBuffer - 1;
    job->used = 0;
    return job;
}

UpdateOutcome DecodeSwUpdateReply(bool failed, ErrorCode error, std::uint32_t httpStatus,
                                  const std::uint8_t* body, std::size_t length,
                                  std::uint64_t ownVersion) {
    UpdateOutcome out;
    out.httpStatus = httpStatus;
    // A failed check is reported as one, never as "already the latest version".
    auto fail = [&out](ErrorCode why) {
        out.state = UpdateCheckState::kFailed;
        out.messageId = 0;
        out.message.clear();
        out.error = why;
        return out;
    };
    if (failed) return fail(error != 0 ? error : err::kGenFailure);
    if (httpStatus != 200) return fail(0);
    const std::size_t start = JsonObjectStart(body, length);
    if (start == std::string_view::npos) return fail(err::kInvalidData);
    const std::uint8_t* t = body + start;
    std::size_t n = length - start;
    const std::ptrdiff_t s = JsonObjectOffset(t, n, "Software");
    if (s < 0) return fail(err::kInvalidData);
    t += s;
    n -= static_cast<std::size_t>(s);
    const std::ptrdiff_t a = JsonObjectOffset(t, n, "Tarvik");
    if (a < 0) return fail(err::kInvalidData);
    t += a;
    n -= static_cast<std::size_t>(a);

    auto version = JsonGetNumber(t, n, "version");
    if (version && *version <= ownVersion) {
        out.state = UpdateCheckState::kUpToDate;
        out.messageId = 21318;
        out.message = "You already have the latest version of Tarvik.";
        return out;
    }
    // Newer (or a version that is not a number): offer the download when it can be opened.
    auto url = JsonGetString(t, n, "download");
    if (!url || !IsSafeBrowserUrl(*url)) return fail(err::kInvalidData);
    out.state = UpdateCheckState::kUpdateAvailable;
    out.messageId = 21319;
    out.message = "New Tarvik version available. Update now? \nIf yes, please remove the old "
                  "version, and then install the new version manually.";
    out.url = *url;
    out.fileName = UrlFileName(*url);
    return out;
}

UpdateOutcome DecodeSwUpdateJob(clJobHttpGetData* job) {
    if (!job || !job->Done())
        return DecodeSwUpdateReply(true, err::kInvalidParameter, 0, nullptr, 0, 0);
    const std::size_t used =
        job->used > 0 && job->used < kSwRecordBuffer ? static_cast<std::size_t>(job->used) : 0;
    return DecodeSwUpdateReply(job->IsFailed(), job->Result(), job->statusCode, job->target, used,
                               kProductVersionNumber);
}

} // namespace tvd
