// The report writer: one plain-text file, UTF-16LE with a byte-order mark and CR LF line ends,
// built from a small set of line styles. Every primitive returns false once a write failed, and
// keeps returning false, so a section can stop at the first false and pass it up.
#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

// Where the report's bytes go.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    // False when not every byte was written.
    virtual bool Write(ByteView bytes) = 0;
};

// In memory; `failAfter` bytes are taken and any write beyond them fails (tests).
class MemoryReportSink : public ReportSink {
public:
    explicit MemoryReportSink(std::size_t failAfter = std::numeric_limits<std::size_t>::max())
        : failAfter_(failAfter) {}
    bool Write(ByteView bytes) override;
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t failAfter_;
};

// A file created for the report: Windows CreateFileW CREATE_ALWAYS without sharing; Linux
// open O_TRUNC without following a link at the name. `exclusive` refuses an existing name
// (a temporary file the caller renames later).
class FileReportSink : public ReportSink {
public:
    FileReportSink() = default;
    FileReportSink(const FileReportSink&) = delete;
    FileReportSink& operator=(const FileReportSink&) = delete;
    ~FileReportSink() override { Close(); }
    ErrorCode Create(const std::string& path, bool exclusive = false);
    bool Write(ByteView bytes) override;
    // Flushes and closes; the first failure of a write, the flush or the close.
    ErrorCode Close();
    std::uint64_t Written() const { return written_; }

private:
    std::intptr_t handle_ = -1;
    ErrorCode error_ = err::kSuccess;
    std::uint64_t written_ = 0;
};

enum class ReportEncoding {
    kUtf16Crlf, // the report file: FF FE, UTF-16LE, CR LF
    kUtf8Lf,    // standard output and --utf8: UTF-8, LF
};

// "0 Byte", "1023 Bytes", "1.00 KB" ... "%.2f TB".
std::string ReportSizeText(std::uint64_t bytes);
// "[ERROR_ACCESS_DENIED]" and its kin, "[%i]" otherwise.
std::string ReportErrorText(ErrorCode code);
// 8-bit device text (bytes widened one to one, Latin-1) as the writer's UTF-8.
std::string DeviceText(std::string_view bytes);
// "{%08X-%04X-...}" of a GUID in its Windows memory layout.
std::string GuidText(const std::uint8_t (&guid)[16]);

class ReportWriter {
public:
    explicit ReportWriter(ReportSink* sink, ReportEncoding encoding = ReportEncoding::kUtf16Crlf)
        : sink_(sink), encoding_(encoding) {}

    bool Ok() const { return ok_; }
    std::uint64_t BytesWritten() const { return bytes_; }
    // Lines of the forms " ** ... fail" and " * ..." written so far.
    std::uint32_t ErrorLines() const { return errorLines_; }

    bool Bom(); // FF FE in UTF-16; nothing in UTF-8
    // Texts are UTF-8 (invalid bytes U+FFFD); control characters 00-1F and 7F become blanks, so
    // no device or registry text can end a line or forge one.
    bool Text(std::string_view text);
    bool Eol();
    bool Line(std::string_view text) { return Text(text) && Eol(); }
    bool Value(std::string_view name, std::string_view value);
    bool HexValue(std::string_view name, ByteView bytes);
    bool Bool(std::string_view name, bool value);
    bool Guid(std::string_view name, const std::uint8_t (&guid)[16]);
    bool Int64(std::string_view name, std::int64_t value);     // "%s = [%I64d]"
    bool Hex02(std::string_view name, std::uint32_t value);    // "%s = [0x%02X]"
    bool Hex04(std::string_view name, std::uint32_t value);    // "%s = [0x%04X]"
    bool Hex08(std::string_view name, std::uint32_t value);    // "%s = [0x%08X]"
    bool Hex64(std::string_view name, std::uint64_t value);    // "%s = [0x%I64X]"
    bool Unsigned(std::string_view name, std::uint32_t value); // "%s = [%u]"
    // "%s = [%i] (%s)", or "(NULL)" without a name.
    bool NumberName(std::string_view name, std::int64_t value, const char* text);
    bool NumberName(std::string_view name, std::int64_t value, const std::string& text) {
        return NumberName(name, value, text.c_str());
    }
    bool Size(std::string_view name, std::uint64_t bytes); // "%s = [%I64d] (%s)"
    // "N/A" for -32768 and -1000, else "%i °C".
    bool Temperature(std::string_view name, int celsius);
    bool Bracketed(const char* text); // "[%s]" or "[]", no line end
    bool Bracketed(const std::string& text) { return Bracketed(text.c_str()); }
    bool Error(std::string_view name, ErrorCode code);    // " ** %s fail, Error=[...]."
    bool GetError(std::string_view name, ErrorCode code); // as Error with "Get %s"
    // A note or error line of the section's own (" ** ..." or " * ..."), counted as an error.
    bool ErrorLine(std::string_view text);
    // " * %s: not supported on this platform.", the one form of a platform gap.
    bool NotSupported(std::string_view what);
    // A double-NUL-terminated UTF-16LE list within `bytes` (REG_MULTI_SZ): two blanks, the
    // string, line end. An odd length or a missing final NUL is cut at the length.
    bool StringList(ByteView utf16Bytes);
    bool StringList(const std::vector<std::string>& strings);
    bool DriveType(std::uint32_t type); // "  DriveType = [%i] (NAME)"
    // The 16-bytes-per-line dump; null data writes nothing.
    bool HexDump(const std::uint8_t* data, std::size_t count);

private:
    bool Put(std::u16string_view units);

    ReportSink* sink_;
    ReportEncoding encoding_;
    bool ok_ = true;
    std::uint64_t bytes_ = 0;
    std::uint32_t errorLines_ = 0;
};

} // namespace tvd
