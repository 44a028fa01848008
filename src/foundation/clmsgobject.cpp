#include "foundation/clmsgobject.h"

#include <algorithm>
#include <cstring>

namespace tvd {

namespace {

constexpr char16_t kTab = 9;
constexpr char16_t kSpace = 32;

bool IsLineBreak(char16_t u) {
    return u == 13 || u == 10 || u == 26;
}

// Decimal id from the leading digits of a line (the low byte of each code unit is read),
// truncated to 32 bits; 0 when the line does not start with a digit.
std::int32_t ParseId(const char16_t* line, std::size_t length) {
    std::uint32_t id = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned digit = static_cast<unsigned>(line[i] & 0xFF) - unsigned('0');
        if (digit > 9) break;
        id = id * 10u + digit; // wraps modulo 2^32
    }
    return static_cast<std::int32_t>(id);
}

} // namespace

clMsgObject::clMsgObject() noexcept = default;
clMsgObject::~clMsgObject() = default;

bool clMsgObject::Load(const void* data, std::size_t byteLength) noexcept {
    const std::size_t units = byteLength / 2; // a trailing odd byte is not a code unit
    if (units != 0 && data == nullptr) return false;
    // The copy, with its terminating NUL, is measured in 32-bit byte counts.
    if (units > std::size_t{0xFFFFFFFFu / 2 - 1}) return false;
    try {
        std::vector<char16_t> text(units + 1);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < units; ++i) {
            const auto u = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
            text[i] = IsLineBreak(u) ? char16_t{0} : u;
        }
        text[units] = 0;

        std::size_t lineCount = 0;
        for (std::size_t i = 0; i < units; ++i)
            if (text[i] != 0 && (i == 0 || text[i - 1] == 0)) ++lineCount;

        std::vector<Line> entries;
        entries.reserve(lineCount);
        std::size_t i = 0;
        while (i < units) {
            if (text[i] == 0) {
                ++i;
                continue;
            }
            const std::size_t start = i;
            while (text[i] != 0)
                ++i; // text[units] is 0, so this stops inside the copy
            const std::size_t length = i - start;

            std::size_t sep = 0;
            while (sep < length && text[start + sep] != kTab && text[start + sep] != kSpace)
                ++sep;

            Line line{0, kNoText, 0};
            if (sep > 0 && sep < length) {
                line.id = ParseId(&text[start], length);
                line.offset = static_cast<std::uint32_t>(start + sep + 1);
                line.length = static_cast<std::uint32_t>(length - sep - 1);
            }
            entries.push_back(line);
        }

        text_.swap(text);
        entries_.swap(entries);
        return true;
    } catch (...) {
        return false;
    }
}

const clMsgObject::Line* clMsgObject::Find(std::int32_t id) const noexcept {
    if (id == 0) return nullptr;
    for (const Line& line : entries_)
        if (line.id == id) return &line;
    return nullptr;
}

clMsgObject::Entry clMsgObject::MakeEntry(const Line& line) const noexcept {
    Entry e;
    e.id = line.id;
    if (line.offset != kNoText) {
        e.text = text_.data() + line.offset;
        e.length = line.length;
    }
    return e;
}

clMsgObject::Entry clMsgObject::EntryAt(std::size_t index) const noexcept {
    return index < entries_.size() ? MakeEntry(entries_[index]) : Entry{};
}

const char16_t* clMsgObject::FindText(std::int32_t id) const noexcept {
    const Line* line = Find(id);
    return line ? MakeEntry(*line).text : nullptr;
}

const char16_t* clMsgObject::GetText(std::int32_t id) noexcept {
    const Line* line = Find(id);
    if (line == nullptr || line->offset == kNoText || line->length == 0) return nullptr;
    const char16_t* src = text_.data() + line->offset;
    const std::size_t length = line->length;

    // Pairs "\\" and "%%" need nothing; any other backslash or percent sign asks for the copy.
    bool expand = false;
    for (std::size_t i = 0; i < length && !expand; ++i) {
        const char16_t c = src[i];
        if (c != u'\\' && c != u'%') continue;
        if (i + 1 < length && src[i + 1] == c)
            ++i;
        else
            expand = true;
    }
    if (!expand) return src;

    // 2 x length + 512 bytes, counted in 64 bits: length + 256 code units, so the copy (never
    // longer than the text) and its terminating NUL always fit.
    const std::uint64_t workUnits = (2 * std::uint64_t{length} + 512) / 2;
    if (workUnits > work_.max_size()) return nullptr;
    try {
        if (work_.size() < workUnits)
            work_.assign(static_cast<std::size_t>(workUnits), char16_t{0});
        else
            std::fill(work_.begin(), work_.end(), char16_t{0});
    } catch (...) {
        return nullptr;
    }

    char16_t* dst = work_.data();
    std::size_t out = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = src[i];
        if (c == u'\\' && i + 1 < length && (src[i + 1] == u'n' || src[i + 1] == u'r')) {
            dst[out++] = src[++i] == u'n' ? char16_t{10} : char16_t{13};
            continue;
        }
        dst[out++] = c;
    }
    dst[out] = 0;
    return dst;
}

void clMsgObject::SetLanguage(const char* code) noexcept {
    std::memset(language_, 0, sizeof language_);
    if (code == nullptr) return;
    for (std::size_t i = 0; i < sizeof language_ - 1 && code[i] != 0; ++i)
        language_[i] = code[i];
}

} // namespace tvd
