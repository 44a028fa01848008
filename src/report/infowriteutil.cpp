#include "report/infowriteutil.h"

#include "shell/formathelpers.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "foundation/textconvutil.h"

namespace tvd {

namespace {

template <class... A> std::string Format(const char* format, A... args) {
    char buffer[128];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof buffer) return std::string(buffer, n);
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), format, args...);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

std::string Named(std::string_view name, const std::string& bracketed) {
    std::string s(name);
    s += " = [";
    s += bracketed;
    s += ']';
    return s;
}

} // namespace

bool MemoryReportSink::Write(ByteView bytes) {
    const std::size_t room = failAfter_ > bytes_.size() ? failAfter_ - bytes_.size() : 0;
    const std::size_t n = std::min(room, bytes.size());
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    return n == bytes.size();
}

std::string ReportSizeText(std::uint64_t bytes) {
    return FormatSizeDecimal(bytes);
}

std::string ReportErrorText(ErrorCode code) {
    switch (code) {
    case 5:
        return "[ERROR_ACCESS_DENIED]";
    case 234:
        return "[ERROR_MORE_DATA]";
    case 1332:
        return "[ERROR_NONE_MAPPED]";
    case 1355:
        return "[ERROR_NO_SUCH_DOMAIN]";
    default:
        return Format("[%i]", static_cast<int>(code));
    }
}

std::string DeviceText(std::string_view bytes) {
    return Utf16ToUtf8(CodePageToUtf16(bytes, kCodePageLatin1));
}

std::string GuidText(const std::uint8_t (&g)[16]) {
    const ByteView b(g);
    return Format("{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(Le<std::uint32_t>(b, 0)),
                  static_cast<unsigned>(Le<std::uint16_t>(b, 4)),
                  static_cast<unsigned>(Le<std::uint16_t>(b, 6)), g[8], g[9], g[10], g[11], g[12],
                  g[13], g[14], g[15]);
}

bool ReportWriter::Put(std::u16string_view units) {
    if (!ok_) return false;
    if (!sink_) return ok_ = false;
    std::vector<std::uint8_t> bytes;
    if (encoding_ == ReportEncoding::kUtf16Crlf) {
        bytes.reserve(units.size() * 2);
        for (char16_t u : units) {
            bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(u >> 8));
        }
    } else {
        const std::string utf8 = Utf16ToUtf8(units);
        bytes.assign(utf8.begin(), utf8.end());
    }
    if (!sink_->Write(ByteView(bytes))) return ok_ = false;
    bytes_ += bytes.size();
    return true;
}

bool ReportWriter::Bom() {
    if (encoding_ != ReportEncoding::kUtf16Crlf) return ok_;
    return Put(u"\xFEFF");
}

bool ReportWriter::Text(std::string_view text) {
    std::u16string units = Utf8ToUtf16(text);
    for (char16_t& u : units)
        if (u < 0x20 || u == 0x7F) u = u' ';
    return Put(units);
}

bool ReportWriter::Eol() {
    return Put(encoding_ == ReportEncoding::kUtf16Crlf ? u"\r\n" : u"\n");
}

bool ReportWriter::Value(std::string_view name, std::string_view value) {
    return Line(Named(name, std::string(value)));
}

bool ReportWriter::HexValue(std::string_view name, ByteView bytes) {
    std::string hex;
    for (std::uint8_t b : bytes)
        hex += Format("%02X", b);
    return Line(Named(name, hex));
}

bool ReportWriter::Bool(std::string_view name, bool value) {
    return Line(Named(name, value ? "true" : "false"));
}

bool ReportWriter::Guid(std::string_view name, const std::uint8_t (&guid)[16]) {
    return Line(Named(name, GuidText(guid)));
}

bool ReportWriter::Int64(std::string_view name, std::int64_t value) {
    return Line(Named(name, Format("%" PRId64, value)));
}

bool ReportWriter::Hex02(std::string_view name, std::uint32_t value) {
    return Line(Named(name, Format("0x%02X", static_cast<unsigned>(value))));
}

bool ReportWriter::Hex04(std::string_view name, std::uint32_t value) {
    return Line(Named(name, Format("0x%04X", static_cast<unsigned>(value))));
}

bool ReportWriter::Hex08(std::string_view name, std::uint32_t value) {
    return Line(Named(name, Format("0x%08X", static_cast<unsigned>(value))));
}

bool ReportWriter::Hex64(std::string_view name, std::uint64_t value) {
    return Line(Named(name, Format("0x%" PRIX64, value)));
}

bool ReportWriter::Unsigned(std::string_view name, std::uint32_t value) {
    return Line(Named(name, std::to_string(value)));
}

bool ReportWriter::NumberName(std::string_view name, std::int64_t value, const char* text) {
    return Line(Named(name, Format("%" PRId64, value)) + " (" + (text ? text : "NULL") + ")");
}

bool ReportWriter::Size(std::string_view name, std::uint64_t bytes) {
    return Line(Named(name, Format("%" PRId64, static_cast<std::int64_t>(bytes))) + " (" +
                ReportSizeText(bytes) + ")");
}

bool ReportWriter::Temperature(std::string_view name, int celsius) {
    const std::string value = celsius == -32768 || celsius == -1000 ? std::string("N/A")
                                                                    : Format("%i \xC2\xB0"
                                                                             "C",
                                                                             celsius);
    return Line(Named(name, value));
}

bool ReportWriter::Bracketed(const char* text) {
    return Text(std::string("[") + (text ? text : "") + "]");
}

bool ReportWriter::Error(std::string_view name, ErrorCode code) {
    return ErrorLine(" ** " + std::string(name) + " fail, Error=" + ReportErrorText(code) + ".");
}

bool ReportWriter::GetError(std::string_view name, ErrorCode code) {
    return Error("Get " + std::string(name), code);
}

bool ReportWriter::ErrorLine(std::string_view text) {
    ++errorLines_;
    return Line(text);
}

bool ReportWriter::NotSupported(std::string_view what) {
    return Line(" * " + std::string(what) + ": not supported on this platform.");
}

bool ReportWriter::StringList(ByteView bytes) {
    const std::size_t units = bytes.size() / 2; // an odd last byte is cut
    std::u16string current;
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t u = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (u != 0) {
            current += u;
            continue;
        }
        if (current.empty()) return ok_; // the double NUL
        if (!Text("  " + Utf16ToUtf8(current)) || !Eol()) return false;
        current.clear();
    }
    if (!current.empty()) return Text("  " + Utf16ToUtf8(current)) && Eol();
    return ok_;
}

bool ReportWriter::StringList(const std::vector<std::string>& strings) {
    for (const std::string& s : strings)
        if (!s.empty() && !Line("  " + s)) return false;
    return ok_;
}

bool ReportWriter::DriveType(std::uint32_t type) {
    static const char* const kNames[] = {"(NO_ROOT_DIR)", "(REMOVABLE)", "(FIXED)",
                                         "(REMOTE)",      "(CDROM)",     "(RAMDISK)"};
    const char* name = type >= 1 && type <= 6 ? kNames[type - 1] : "(UNKNOWN)";
    return Line(Format("  DriveType = [%i] ", static_cast<int>(type)) + name);
}

bool ReportWriter::HexDump(const std::uint8_t* data, std::size_t count) {
    if (!data) return ok_;
    if (!Line("        0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F   [0123456789ABCDEF]"))
        return false;
    for (std::size_t line = 0; line < count; line += 16) {
        std::string field(68, ' ');
        for (std::size_t i = 0; i < 16 && line + i < count; ++i) {
            const std::uint8_t b = data[line + i];
            const std::string hex = Format("%02X", b);
            field[i * 3] = hex[0];
            field[i * 3 + 1] = hex[1];
            field[50 + i] = b < 32 || b > 127 ? ' ' : static_cast<char>(b);
        }
        field[49] = '[';
        field[66] = ']';
        // Byte 127 is shown as the report's other texts show it: a control character is a blank.
        if (!Line(Format(" %04X : ", static_cast<unsigned>(line)) + field)) return false;
    }
    return ok_;
}

} // namespace tvd
