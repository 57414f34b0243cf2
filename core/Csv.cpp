#include "Csv.h"

namespace csv {

std::string escapeCell(std::string_view cell)
{
    if (cell.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(cell);
    std::string out;
    out.reserve(cell.size() + 2);
    out += '"';
    for (char c : cell) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

void appendRow(std::string& out, const std::vector<std::string>& cells)
{
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += ',';
        out += escapeCell(cells[i]);
    }
    out += "\r\n";
}

} // namespace csv
