#include "cli/clierror.h"

#include "cli/jsonwriter.h"
#include "foundation/errtextutil.h"

namespace tvd::cli {

int Fail(const Options& o, std::FILE* out, std::FILE* err, int status, const std::string& message,
         ErrorCode code) {
    const std::string reason = code != err::kSuccess ? SystemErrorText(code) : std::string();
    std::fprintf(err, "tarvikdorn: %s%s%s\n", message.c_str(), reason.empty() ? "" : ": ",
                 reason.c_str());
    if (o.json) {
        JsonWriter j;
        j.BeginObject().BeginObject("error").String("message", message).Number("status", status);
        if (code != err::kSuccess)
            j.Unsigned("code", code).String("reason", reason);
        else
            j.Null("code").Null("reason");
        j.EndObject().EndObject();
        std::fputs(j.Text().c_str(), out);
    }
    return status;
}

bool OutputWritten(std::FILE* out) {
    return std::fflush(out) == 0 && !std::ferror(out);
}

} // namespace tvd::cli
