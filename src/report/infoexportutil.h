// The whole report: header and sections in their fixed order, into a writer or a file.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "foundation/errorcodes.h"
#include "report/infowriteutil.h"

namespace tvd {

class DeviceRegistry;

// " Create on [...]" time text: "%02i-%02i-%02i, %02i:%02i:%02i" (two-digit year first).
std::string ReportTimeText(int year, int month, int day, int hour, int minute, int second);

struct ReportOptions {
    DeviceRegistry* registry = nullptr;                // null: the process's registry
    const std::atomic<bool>* abort = nullptr;          // checked between sections and disks
    std::function<void(const char* section)> progress; // told the section being gathered
};

struct ReportResult {
    ErrorCode error = err::kSuccess; // creating, writing or closing the file; kCancelled on abort
    bool complete = false;
    std::uint64_t bytes = 0;
    std::uint32_t errorLines = 0;
};

// Writes the byte-order mark, the header and the sections; stops at the first failed write or
// at an abort.
ReportResult WriteReport(ReportWriter& w, const ReportOptions& options);
// Creates the file (replacing an existing one unless `exclusive`) and writes the report into it;
// a partly written file stays.
ReportResult ExportReport(const std::string& path, const ReportOptions& options = {},
                          ReportEncoding encoding = ReportEncoding::kUtf16Crlf,
                          bool exclusive = false);

} // namespace tvd
