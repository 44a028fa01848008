#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "cli/clicommands.h"
#include "cli/clierror.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "foundation/envutil.h"
#include "foundation/errtextutil.h"
#include "report/infoexportutil.h"
#include "report/wmithreadutil.h"
#include "smart/smartlangutil.h"

namespace tvd::cli {

namespace {

std::atomic<bool> g_stopReport{false};

extern "C" void OnReportInterrupt(int) {
    g_stopReport.store(true);
}

// Ctrl-C stops the report after the query that runs; the previous handler comes back after.
class ReportInterruptScope {
public:
    ReportInterruptScope() {
        g_stopReport.store(false);
        previous_ = std::signal(SIGINT, OnReportInterrupt);
    }
    ~ReportInterruptScope() { std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_); }
    ReportInterruptScope(const ReportInterruptScope&) = delete;
    ReportInterruptScope& operator=(const ReportInterruptScope&) = delete;

private:
    void (*previous_)(int) = SIG_DFL;
};

class StdioReportSink : public ReportSink {
public:
    explicit StdioReportSink(std::FILE* f) : f_(f) {}
    bool Write(ByteView bytes) override {
        return std::fwrite(bytes.data(), 1, bytes.size(), f_) == bytes.size();
    }

private:
    std::FILE* f_;
};

struct ReportCmdOptions {
    std::string output;
    bool force = false, utf8 = false;
};

int ParseArgs(const Options& o, ReportCmdOptions& r, std::FILE* out, std::FILE* err) {
    for (std::size_t i = 0; i < o.args.size(); ++i) {
        const std::string& a = o.args[i];
        if (a == "--force") {
            r.force = true;
        } else if (a == "--utf8") {
            r.utf8 = true;
        } else if (a == "--output" || a == "-o") {
            if (i + 1 >= o.args.size() || o.args[i + 1].empty())
                return Fail(o, out, err, 2, "report: --output needs a file");
            r.output = o.args[++i];
        } else if (a.rfind("--output=", 0) == 0 && a.size() > 9) {
            r.output = a.substr(9);
        } else if (!a.empty() && a[0] == '-') {
            return Fail(o, out, err, 2, "report: unknown option " + a);
        } else if (r.output.empty()) {
            r.output = a;
        } else {
            return Fail(o, out, err, 2, "report takes one file");
        }
    }
    if (r.force && r.output.empty()) return Fail(o, out, err, 2, "report: --force needs a file");
    if (o.json && r.output.empty())
        return Fail(o, out, err, 2, "report: --json needs a file (the report itself is text)");
    if (r.utf8 && r.output.empty())
        return Fail(o, out, err, 2, "report: --utf8 needs a file (standard output is UTF-8)");
    return 0;
}

// A fresh name beside the target, so that the rename stays on one file system.
std::string TemporaryNameFor(const std::string& target) {
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp%08x", static_cast<unsigned>(random()));
    return target + suffix;
}

ErrorCode SystemCode(const std::error_code& ec) {
#ifdef _WIN32
    return static_cast<ErrorCode>(ec.value());
#else
    return ErrorFromErrno(ec.value());
#endif
}

} // namespace

int CmdReport(const Options& o, std::FILE* out, std::FILE* err) {
    ReportCmdOptions r;
    if (int status = ParseArgs(o, r, out, err)) return status;
    std::error_code ec;
    const auto target = std::filesystem::u8path(r.output);
    // The name itself counts, so a dangling link is an existing file too.
    if (!r.output.empty() && !r.force &&
        std::filesystem::symlink_status(target, ec).type() != std::filesystem::file_type::not_found)
        return Fail(o, out, err, 1, r.output + " exists; --force replaces it");
    if (!r.output.empty() &&
        std::filesystem::is_directory(std::filesystem::symlink_status(target, ec)))
        return Fail(o, out, err, 1, r.output + " is a folder");

    LoadSmartNames(kSmartLangResourceName, kSmartLangFallback);
    StorageSession session;
    std::string problem;
    if (ErrorCode e = session.Open(o.simulate, problem, err))
        return Fail(o, out, err, 1, problem, e);
    if (!IsAdmin())
        std::fprintf(err, "tarvikdorn: not running as root: the SM-BIOS table and the drive "
                          "commands need root, their lines say why they failed\n");

    // The two WMI facts are asked on the WMI thread (Windows; elsewhere none starts).
    struct WmiScope {
        WmiScope() { WmiThreadStart(); }
        ~WmiScope() { WmiThreadStop(); }
    } wmi;
    ReportInterruptScope interrupt;
    ReportOptions options;
    options.registry = &session.Registry();
    options.abort = &g_stopReport;
    options.progress = [err](const char* section) {
        std::fprintf(err, "report: %s\n", section);
        std::fflush(err);
    };

    ReportResult result;
    // "-" is standard output.
    const std::string written = r.output.empty() ? std::string("-") : r.output;
    if (r.output.empty()) {
        StdioReportSink sink(out);
        ReportWriter w(&sink, ReportEncoding::kUtf8Lf);
        result = WriteReport(w, options);
    } else {
        // Written under a new name beside the target and renamed over it: a link at the name is
        // replaced, never followed, and a failed write leaves the old file as it was.
        const std::string temporary = TemporaryNameFor(r.output);
        result = ExportReport(temporary, options,
                              r.utf8 ? ReportEncoding::kUtf8Lf : ReportEncoding::kUtf16Crlf, true);
        const bool keep = result.complete || result.error == err::kCancelled;
        if (keep) {
            std::filesystem::rename(std::filesystem::u8path(temporary), target, ec);
            if (ec) {
                std::filesystem::remove(std::filesystem::u8path(temporary), ec);
                return Fail(o, out, err, 1, "cannot write " + r.output, SystemCode(ec));
            }
        } else {
            std::filesystem::remove(std::filesystem::u8path(temporary), ec);
            return Fail(o, out, err, 1, "cannot write " + r.output, result.error);
        }
    }
    if (!result.complete && result.error != err::kCancelled)
        return Fail(o, out, err, 1, "cannot write the report", result.error);
    if (o.json) {
        JsonWriter j;
        j.BeginObject()
            .String("output", written)
            .Unsigned("bytes", result.bytes)
            .Bool("complete", result.complete)
            .Unsigned("error_lines", result.errorLines)
            .EndObject();
        std::fputs(j.Text().c_str(), out);
    }
    if (!result.complete) {
        std::fprintf(err, "tarvikdorn: interrupted; %s is incomplete\n", written.c_str());
        return 130;
    }
    return 0;
}

} // namespace tvd::cli
