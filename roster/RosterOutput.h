#pragma once
// The roster as a table: CSV for a spreadsheet, or a page of HTML that a
// browser shows with nothing loaded from anywhere.

#include "Roster.h"

#include <string>
#include <vector>

namespace roster {

// The header row and one row of cells, UTF-8. Times are in the roster's own
// time zone (TZ), with their offset when `withOffset`, which the table asks
// for when its rows' offsets differ.
std::vector<std::string> headerCells();
std::vector<std::string> rowCells(const Row& row, bool withOffset = false);

// CSV: UTF-8 with a byte-order mark, or code page 932 without one.
std::string rosterCsv(const Roster& roster, bool cp932);

// A self-contained page: counts per state, the rates as a bar chart in
// SVG, and the table, sortable by clicking a column's heading.
// `source` names where the mails came from (no password ever reaches it).
std::string rosterHtml(const Roster& roster, const std::string& source);

} // namespace roster
