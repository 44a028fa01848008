#include "shell/drivedetailutil.h"

#include <algorithm>
#include <cstdio>

namespace tvd {

namespace {

template <class... Args> std::string Printed(const char* format, Args... args) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, format, args...);
    return n > 0 ? std::string(buf,
                               std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buf - 1))
                 : std::string();
}

std::string HexUnits(ByteView bytes, std::size_t unit) {
    std::string out;
    for (std::size_t off = 0; off + unit <= bytes.size(); off += unit) {
        out += unit == 2 ? Printed("%04X ", Le<std::uint16_t>(bytes, off))
                         : Printed("%02X ", bytes[off]);
    }
    return out;
}

// Characters up to the first zero byte; the bytes' order is given by `at`.
template <class At> std::string TextUpToZero(std::size_t count, At at) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t c = at(i);
        if (c == 0) break;
        out += static_cast<char>(c);
    }
    return out;
}

std::string PositionText(std::size_t first, std::size_t last) {
    return first == last
               ? Printed("%u", static_cast<unsigned>(first))
               : Printed("%u..%u", static_cast<unsigned>(first), static_cast<unsigned>(last));
}

// `unit` bytes per position, `perRow` positions per raw row.
std::vector<DetailRow> BuildRows(std::span<const DetailField> fields, ByteView data,
                                 std::size_t unit, std::size_t perRow) {
    std::vector<DetailRow> rows;
    const std::size_t have = data.size() / unit; // whole positions returned
    for (const DetailField& f : fields) {
        if (f.first >= have) break;
        const std::size_t last = std::min<std::size_t>(f.last, have - 1);
        if (!IsRawDetailFormat(f.format)) {
            if (last != f.last) break; // a formatted field needs all its bytes
            const ByteView bytes = data.subspan(f.first * unit, (f.last - f.first + 1u) * unit);
            DetailRow r;
            r.first = f.first;
            r.last = f.last;
            r.position = PositionText(f.first, f.last);
            r.name = f.name ? f.name : "";
            r.value = FormatDetailValue(f.format, bytes);
            r.description = f.description;
            r.field = &f;
            rows.push_back(std::move(r));
            continue;
        }
        for (std::size_t start = f.first; start <= last; start += perRow) {
            const std::size_t end = std::min(start + perRow - 1, last);
            DetailRow r;
            r.first = static_cast<std::uint16_t>(start);
            r.last = static_cast<std::uint16_t>(end);
            r.position = PositionText(start, end);
            if (start == f.first) {
                r.name = f.name ? f.name : "";
                r.description = f.description;
            }
            r.value =
                FormatDetailValue(f.format, data.subspan(start * unit, (end - start + 1) * unit));
            r.field = &f;
            rows.push_back(std::move(r));
        }
    }
    return rows;
}

} // namespace

bool IsRawDetailFormat(DetailFormat format) {
    return format == DetailFormat::kAtaRaw || format == DetailFormat::kNvmeRaw;
}

const char* DetailFormatCode(DetailFormat format) {
    switch (format) {
    case DetailFormat::kAtaRaw:
    case DetailFormat::kNvmeRaw:
        return "";
    case DetailFormat::kAtaWord:
    case DetailFormat::kNvmeWord:
        return "w";
    case DetailFormat::kAtaDword:
    case DetailFormat::kNvmeDword:
        return "d";
    case DetailFormat::kAtaQword:
        return "q";
    case DetailFormat::kAtaHex:
        return "h";
    case DetailFormat::kAtaText:
    case DetailFormat::kNvmeText:
        return "s";
    case DetailFormat::kNvmeByte:
        return "b";
    case DetailFormat::kNvmeWordInt:
        return "wi";
    case DetailFormat::kNvmeDwordInt:
        return "di";
    case DetailFormat::kNvmeOcta:
        return "o";
    }
    return "";
}

std::string FormatDetailValue(DetailFormat format, ByteView b) {
    switch (format) {
    case DetailFormat::kAtaRaw:
        return HexUnits(b, 2);
    case DetailFormat::kNvmeRaw:
        return HexUnits(b, 1);
    case DetailFormat::kAtaWord:
    case DetailFormat::kNvmeWordInt: {
        std::uint16_t v;
        return LoadLe(b, 0, v) ? Printed("0x%04X (%u)", v, v) : std::string();
    }
    case DetailFormat::kAtaDword: {
        std::uint32_t v;
        return LoadLe(b, 0, v) ? Printed("0x%08X (%u)", v, v) : std::string();
    }
    case DetailFormat::kAtaQword: {
        std::uint64_t v;
        return LoadLe(b, 0, v) ? Printed("0x%016llX (%lld)", static_cast<unsigned long long>(v),
                                         static_cast<long long>(v))
                               : std::string();
    }
    case DetailFormat::kAtaHex: {
        std::string out;
        for (std::size_t i = 0; i + 1 < b.size(); i += 2)
            out += Printed("%02X%02X", b[i + 1], b[i]);
        return out;
    }
    case DetailFormat::kAtaText:
        return TextUpToZero(b.size() & ~std::size_t{1},
                            [&](std::size_t i) { return b[i ^ 1u]; }); // high byte first
    case DetailFormat::kNvmeByte:
        return b.empty() ? std::string() : Printed("0x%02X", b[0]);
    case DetailFormat::kNvmeWord: {
        std::uint16_t v;
        return LoadLe(b, 0, v) ? Printed("0x%04X", v) : std::string();
    }
    case DetailFormat::kNvmeDword: {
        std::uint32_t v;
        return LoadLe(b, 0, v) ? Printed("0x%08X", v) : std::string();
    }
    case DetailFormat::kNvmeDwordInt: {
        std::uint32_t v;
        return LoadLe(b, 0, v) ? Printed("0x%08X (%d)", v, static_cast<std::int32_t>(v))
                               : std::string();
    }
    case DetailFormat::kNvmeOcta: {
        if (b.size() < 16) return std::string();
        std::string out = "0x";
        for (std::size_t i = 16; i-- > 0;)
            out += Printed("%02X", b[i]);
        return out + Printed(" (%llu)", static_cast<unsigned long long>(Le<std::uint64_t>(b, 0)));
    }
    case DetailFormat::kNvmeText:
        return TextUpToZero(b.size(), [&](std::size_t i) { return b[i]; });
    }
    return std::string();
}

std::vector<DetailRow> BuildAtaDetailRows(ByteView identify) {
    return BuildRows(AtaDetailFields(), identify, 2, kAtaRawWordsPerRow);
}

std::vector<DetailRow> BuildNvmeDetailRows(ByteView controller) {
    return BuildRows(NvmeDetailFields(), controller, 1, kNvmeRawBytesPerRow);
}

} // namespace tvd
