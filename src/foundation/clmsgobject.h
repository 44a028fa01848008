// One parsed message table: the numbered UI texts of one language.
//
// The table is UTF-16LE text (byte-order mark already skipped), one message per line: the
// decimal id, a TAB (or a space), the text. Texts may carry the escapes \n and \r, which
// GetText expands.
#pragma once
#include "foundation/clzoltitem.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvd {

class clMsgObject : public clZoltItem {
public:
    // One line of the table. text points into the object's private copy and is NUL-terminated
    // there; a line without an id/text separator has id 0 and a null text.
    struct Entry {
        std::int32_t id = 0;
        const char16_t* text = nullptr;
        std::uint32_t length = 0; // in code units
    };

    clMsgObject() noexcept;
    ~clMsgObject() override;

    TVD_ISA(clMsgObject, clZoltItem)

    // Builds the table from byteLength bytes of UTF-16LE text at data, replacing any table
    // loaded before. A trailing odd byte is ignored. False when memory runs out or the table
    // is too large; the object is then unchanged.
    bool Load(const void* data, std::size_t byteLength) noexcept;

    // The text of the first line with this id, or null (always null for id 0).
    const char16_t* FindText(std::int32_t id) const noexcept;
    // As FindText, with \n and \r expanded; null for a missing or empty text. The result is
    // valid until the next GetText or Load on this object.
    const char16_t* GetText(std::int32_t id) noexcept;

    std::size_t EntryCount() const noexcept { return entries_.size(); }
    // Entry number index in line order; an empty entry when out of range.
    Entry EntryAt(std::size_t index) const noexcept;

    // Three-letter language code of the table ("" until set).
    const char* Language() const noexcept { return language_; }
    void SetLanguage(const char* code) noexcept;

private:
    struct Line {
        std::int32_t id;
        std::uint32_t offset; // of the text in text_; kNoText when the line has none
        std::uint32_t length;
    };
    static constexpr std::uint32_t kNoText = 0xFFFFFFFFu;

    const Line* Find(std::int32_t id) const noexcept;
    Entry MakeEntry(const Line& line) const noexcept;

    std::vector<char16_t> work_; // GetText's expansion buffer
    std::vector<Line> entries_;  // one per line of the table
    std::vector<char16_t> text_; // private copy of the table, lines NUL-separated
    char language_[4] = {0, 0, 0, 0};
};

} // namespace tvd
