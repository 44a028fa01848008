// Plain-text output helpers of the command-line tool.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tvd::cli {

// "931.5 GiB", "512 B": binary units, one decimal above bytes.
std::string SizeText(std::uint64_t bytes);

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
