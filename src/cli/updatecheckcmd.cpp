#include <ctime>
#include <string>
#include <vector>

#include "cli/clicommands.h"
#include "cli/clierror.h"
#include "cli/fundiskview.h"
#include "cli/jobrunner.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "drive/clfundisk.h"
#include "drive/fundiskdescutil.h"
#include "foundation/errtextutil.h"
#include "foundation/fileutil.h"
#include "foundation/inibufutila.h"
#include "net/panelfwupdateutil.h"
#include "net/panelswupdateutil.h"
#include "shell/appdatafolder.h"

namespace tvd::cli {

namespace {

struct UpdateArgs {
    bool tool = false;
    bool open = false;
    std::string drive, service, caFile;
};

const char* StateName(UpdateCheckState s) {
    switch (s) {
    case UpdateCheckState::kUpToDate:
        return "up to date";
    case UpdateCheckState::kUpdateAvailable:
        return "update available";
    case UpdateCheckState::kRefused:
        return "refused";
    case UpdateCheckState::kFailed:
        break;
    }
    return "failed";
}

// The service from --service, else the [Update] key of the application's Config.ini.
ErrorCode FindService(const UpdateArgs& a, HttpsUrl& url, std::string& why) {
    if (!a.service.empty()) {
        if (ParseServiceUrl(a.service, url)) return 0;
        why = "--service needs an https://host[:port] address";
        return err::kInvalidParameter;
    }
    IniBuffer ini;
    bool haveIni = false;
    std::string config;
    if (ConfigIniPath(config) == 0) {
        std::vector<std::uint8_t> bytes;
        if (ReadWholeFile(config, bytes) == 0) haveIni = IniParse(&ini, bytes.data(), bytes.size());
    }
    const ErrorCode e =
        ReadUpdateService(haveIni ? &ini : nullptr, a.tool ? kToolServiceKey : kFirmwareServiceKey,
                          a.tool ? kDefaultToolService : kDefaultFirmwareService, url, why);
    if (haveIni) IniRelease(&ini);
    return e;
}

} // namespace

int CmdUpdateCheck(const Options& o, std::FILE* out, std::FILE* err) {
    UpdateArgs a;
    for (std::size_t i = 0; i < o.args.size(); ++i) {
        const std::string& s = o.args[i];
        if (s == "--tool") {
            a.tool = true;
        } else if (s == "--open") {
            a.open = true;
        } else if ((s == "--service" || s == "--ca-file") && i + 1 < o.args.size()) {
            (s == "--service" ? a.service : a.caFile) = o.args[++i];
        } else if (!s.empty() && s[0] != '-' && a.drive.empty()) {
            a.drive = s;
        } else {
            return Fail(o, out, err, 2, "update-check: unexpected " + s);
        }
    }
    if (a.tool == !a.drive.empty())
        return Fail(o, out, err, 2, "update-check takes one DRIVE, or --tool");
    HttpsUrl checked;
    if (!a.service.empty() && !ParseServiceUrl(a.service, checked))
        return Fail(o, out, err, 2, "--service needs an https://host[:port] address");
#ifdef _WIN32
    // The machine's certificate store decides on Windows.
    if (!a.caFile.empty())
        return Fail(o, out, err, 4, "--ca-file: not supported on this platform",
                    err::kNotSupported);
#endif

    HttpsUrl service;
    std::string why;
    if (ErrorCode e = FindService(a, service, why)) return Fail(o, out, err, 1, why, e);

    std::string serial, firmware;
    ZoltRef<clJobHttpClient> job;
    ZoltRef<clJobHttpBuffer> fwJob;
    ZoltRef<clJobHttpGetData> swJob;
    std::vector<std::uint8_t> record;
    StorageSession session;
    if (!a.tool) {
        std::string problem;
        if (ErrorCode e = session.Open(o.simulate, problem, err))
            return Fail(o, out, err, 1, problem, e);
        ErrorCode code = err::kSuccess;
        ZoltRef<clFunDisk> fd = session.ServedDisk(a.drive, problem, code);
        if (!fd) return Fail(o, out, err, 1, problem, code);
        const std::string* s = GetSerial(fd.Get());
        const std::string* f = GetFirmware(fd.Get());
        serial = s ? *s : "";
        firmware = f ? *f : "";
        CloseHandles(fd.Get());
        const std::time_t now = std::time(nullptr);
        std::tm local{};
#ifdef _WIN32
        localtime_s(&local, &now);
#else
        localtime_r(&now, &local);
#endif
        ErrorCode e = 0;
        fwJob = CreateFwUpdateJob(
            service, serial, firmware, static_cast<unsigned>(local.tm_year + 1900),
            static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday), e);
        if (!fwJob)
            return Fail(o, out, err, 1,
                        "the drive's serial number or firmware revision cannot be sent", e);
        job = fwJob;
    } else {
        swJob = CreateSwUpdateJob(service, record);
        if (!swJob)
            return Fail(o, out, err, 1, "the request cannot be made", err::kNoSystemResources);
        job = swJob;
    }
    job->settings.caFile = a.caFile;
    if (!o.json) {
        if (!a.tool) {
            std::fprintf(out, "Drive:     %s\nSerial:    %s\nFirmware:  %s\n", a.drive.c_str(),
                         PrintableText(serial).c_str(), PrintableText(firmware).c_str());
        }
        std::fprintf(out, "Service:   https://%s:%u\n", service.host.c_str(),
                     static_cast<unsigned>(service.port));
        std::fflush(out);
    }

    const JobRunResult run = RunJobWithProgress(job.Get(), "update-check", err);
    if (!run.queued) return Fail(o, out, err, 1, "the job thread did not take the request");
    if (run.interrupted || run.outcome == JobOutcome::kAborted) return JobExitStatus(run);
    const UpdateOutcome r =
        a.tool ? DecodeSwUpdateJob(swJob.Get()) : DecodeFwUpdateJob(fwJob.Get());

    std::string message = PrintableText(r.message);
    if (o.json) {
        JsonWriter j;
        j.BeginObject().String("check", a.tool ? "tool" : "firmware");
        if (a.tool)
            j.Null("drive");
        else
            j.String("drive", a.drive);
        j.Unsigned("httpStatus", r.httpStatus).String("status", StateName(r.state));
        j.String("code", PrintableText(r.code)).String("message", message);
        if (r.url.empty())
            j.Null("url");
        else
            j.String("url", r.url);
        j.Bool("updateAvailable", r.state == UpdateCheckState::kUpdateAvailable);
        if (r.state == UpdateCheckState::kFailed)
            j.Unsigned("error", r.error);
        else
            j.Null("error");
        j.EndObject();
        std::fputs(j.Text().c_str(), out);
    } else {
        std::fprintf(out, "HTTP:      %u\nOutcome:   %s\n", r.httpStatus, StateName(r.state));
        if (!r.code.empty()) std::fprintf(out, "Code:      %s\n", PrintableText(r.code).c_str());
        if (!message.empty()) std::fprintf(out, "Message:   %s\n", message.c_str());
        if (r.state == UpdateCheckState::kFailed && r.error != 0)
            std::fprintf(out, "Error:     %u (%s)\n", r.error, SystemErrorText(r.error).c_str());
        if (!r.url.empty()) std::fprintf(out, "Download:  %s\n", r.url.c_str());
    }
    if (a.open && r.state == UpdateCheckState::kUpdateAvailable) {
        if (ErrorCode e = OpenSafeBrowserUrl(r.url))
            return Fail(o, out, err, e == err::kNotSupported ? 4 : 1,
                        e == err::kNotSupported ? "--open: not supported on this platform"
                        : e == err::kFileNotFound
                            ? "--open: no desktop shell of the user to open it in; nothing opened"
                            : "the browser could not be started",
                        e);
    }
    return r.state == UpdateCheckState::kUpToDate || r.state == UpdateCheckState::kUpdateAvailable
               ? 0
               : 1;
}

} // namespace tvd::cli
