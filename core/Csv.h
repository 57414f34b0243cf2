#pragma once
// Writing CSV as RFC 4180 describes it, in the shape spreadsheets open by
// double-click: rows end with CR LF, a cell holding a comma, a quote, CR or
// LF is quoted with its quotes doubled, and a UTF-8 file begins with a
// byte-order mark.

#include <string>
#include <string_view>
#include <vector>

namespace csv {

// The byte-order mark that tells a spreadsheet the file is UTF-8.
inline constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// One cell as it stands in the file.
std::string escapeCell(std::string_view cell);

// Appends the cells, separated by commas, and CR LF.
void appendRow(std::string& out, const std::vector<std::string>& cells);

} // namespace csv
