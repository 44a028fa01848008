// Plain-text output helpers of the command-line tool.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"

namespace tvd::cli {

// "931.5 GiB", "512 B": binary units, one decimal above bytes.
std::string SizeText(std::uint64_t bytes);

// Without the blanks, tabs and NULs that device strings pad with at either end.
std::string Trimmed(std::string s);

// Lower-case hex byte pairs, "" for no bytes.
std::string HexBytes(ByteView bytes);

// "0x" and `digits` hex digits at least, upper or lower case.
std::string HexNumber(std::uint64_t v, int digits, bool upper = false);

// Left-aligned columns separated by two blanks; widths count UTF-8 characters.
class TextTable {
public:
    explicit TextTable(std::vector<std::string> header);
    void Row(std::vector<std::string> cells);
    std::string Text() const;

private:
    std::vector<std::vector<std::string>> rows_;
};

} // namespace tvd::cli
