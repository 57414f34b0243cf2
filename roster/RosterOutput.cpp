#include "RosterOutput.h"

#include "core/Csv.h"
#include "core/ShiftJis.h"
#include "core/TerminalText.h"

#include <glib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace roster {

namespace {

// A text a spreadsheet would take for a formula starts with a quote mark,
// so that a name such as "=HYPERLINK(...)" stays a name.
std::string plainText(std::string text)
{
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        text.insert(text.begin(), '\'');
    return text;
}

std::string escapeHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string joined(const std::vector<std::string>& notes)
{
    std::string out;
    for (const std::string& note : notes)
        out += (out.empty() ? "" : " / ") + note;
    return out;
}

// Which columns hold numbers (for alignment).
bool numericColumn(std::size_t column)
{
    return column >= 4 && column <= 9;
}

// The start time sorts by the moment, which the cell carries as its key.
bool sortsAsNumber(std::size_t column)
{
    return column == 0 || numericColumn(column);
}

// The policy allows this page's own style and script, named by their
// SHA-256, and nothing else: no other script, no event handler attribute,
// nothing loaded from anywhere.
std::string sha256Source(const char* text)
{
    GChecksum* checksum = g_checksum_new(G_CHECKSUM_SHA256);
    g_checksum_update(checksum, reinterpret_cast<const guchar*>(text), static_cast<gssize>(std::strlen(text)));
    guint8 digest[32];
    gsize length = sizeof digest;
    g_checksum_get_digest(checksum, digest, &length);
    g_checksum_free(checksum);
    gchar* encoded = g_base64_encode(digest, length);
    std::string out = "'sha256-" + std::string(encoded) + "'";
    g_free(encoded);
    return out;
}

// Whether the rows' times need their offset: only when they differ, as the
// roster's own zone changes (summer time).
bool mixedOffsets(const Roster& roster)
{
    for (const Row& row : roster.rows)
        if (rosterOffsetMinutes(row.utcSeconds) != rosterOffsetMinutes(roster.rows.front().utcSeconds))
            return true;
    return false;
}

const char* stateClass(State state)
{
    switch (state) {
    case State::Finished: return "finished";
    case State::NotFinished: return "open";
    case State::ResultWithoutStart: return "nostart";
    }
    return "";
}

// The rate distribution: ten bars of ten points each (the last one takes 100).
std::string rateChart(const Roster& roster)
{
    int bins[10] = {};
    int total = 0;
    for (const Row& row : roster.rows) {
        if (!row.hasLog)
            continue;
        // A rate line may say anything ("99999999999999"): only a number
        // already held to 0..100 is turned into a bin.
        const double rate = std::clamp(std::strtod(row.rate.c_str(), nullptr), 0.0, 100.0);
        const int bin = std::min(static_cast<int>(rate / 10.0), 9);
        ++bins[bin];
        ++total;
    }
    const int peak = std::max(1, *std::max_element(std::begin(bins), std::end(bins)));
    const int width = 640;
    const int height = 260;
    const int left = 48;
    const int bottom = 40;
    const int top = 20;
    const int plotHeight = height - bottom - top;
    const int barSpace = (width - left - 10) / 10;

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" width=\"" + std::to_string(width) +
                      "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " +
                      std::to_string(height) + "\" aria-label=\"正解率の分布\">\n";
    svg += "<line x1=\"" + std::to_string(left) + "\" y1=\"" + std::to_string(height - bottom) + "\" x2=\"" +
           std::to_string(width - 10) + "\" y2=\"" + std::to_string(height - bottom) + "\" class=\"axis\"/>\n";
    for (int i = 0; i < 10; ++i) {
        const int barHeight = bins[i] * plotHeight / peak;
        const int x = left + i * barSpace + 4;
        const int y = height - bottom - barHeight;
        svg += "<rect class=\"bar\" x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
               std::to_string(barSpace - 8) + "\" height=\"" + std::to_string(barHeight) + "\"><title>" +
               std::to_string(i * 10) + (i == 9 ? "–100" : "–" + std::to_string(i * 10 + 9) + ".9") + "%: " +
               std::to_string(bins[i]) + "</title></rect>\n";
        if (bins[i] > 0)
            svg += "<text class=\"value\" x=\"" + std::to_string(x + (barSpace - 8) / 2) + "\" y=\"" +
                   std::to_string(y - 4) + "\">" + std::to_string(bins[i]) + "</text>\n";
        svg += "<text class=\"label\" x=\"" + std::to_string(x + (barSpace - 8) / 2) + "\" y=\"" +
               std::to_string(height - bottom + 16) + "\">" + std::to_string(i * 10) + "–" +
               std::to_string(i == 9 ? 100 : i * 10 + 9) + "</text>\n";
    }
    svg += "<text class=\"unit\" x=\"" + std::to_string(width / 2) + "\" y=\"" + std::to_string(height - 6) +
           "\">正解率 (%)</text>\n";
    svg += "<text class=\"axis-name\" x=\"4\" y=\"" + std::to_string(top - 6) + "\">人数</text>\n";
    svg += "</svg>";
    return "<figure><figcaption>正解率の分布 (" + std::to_string(total) + " 件)</figcaption>\n" + svg +
           "\n</figure>\n";
}

const char kStyle[] = R"(
body { font-family: "IPAPGothic", "IPAGothic", "Noto Sans CJK JP", "Yu Gothic", sans-serif; margin: 1.5em; color: #222; }
h1 { font-size: 1.4em; margin: 0 0 .2em; }
.source { color: #555; margin: 0 0 1em; word-break: break-all; }
.counts { display: flex; flex-wrap: wrap; gap: .6em; margin-bottom: 1em; }
.count { border: 1px solid #ccc; border-radius: 6px; padding: .4em .9em; min-width: 6em; }
.count b { display: block; font-size: 1.5em; }
.count.finished { background: #e8f5e9; } .count.open { background: #fff3e0; } .count.nostart { background: #fce4ec; }
figure { margin: 0 0 1.2em; } figcaption { font-weight: bold; margin-bottom: .3em; }
svg .bar { fill: #4a7ebb; } svg .axis { stroke: #444; }
svg text { font-size: 12px; text-anchor: middle; fill: #333; } svg text.axis-name { text-anchor: start; }
table { border-collapse: collapse; font-size: .92em; }
th, td { border: 1px solid #bbb; padding: .25em .5em; }
th { background: #eef; cursor: pointer; user-select: none; white-space: nowrap; }
th[aria-sort=ascending]::after { content: " ▲"; } th[aria-sort=descending]::after { content: " ▼"; }
td { white-space: pre-wrap; }
td.num { text-align: right; }
td.num, td:first-child, td:nth-child(11) { white-space: nowrap; }
tr.open td { background: #fff8ec; } tr.nostart td { background: #fdf0f4; }
)";

const char kScript[] = R"(
(function () {
  var table = document.getElementById('roster');
  var heads = table.tHead.rows[0].cells;
  Array.prototype.forEach.call(heads, function (th, column) {
    th.addEventListener('click', function () {
      var ascending = th.getAttribute('aria-sort') !== 'ascending';
      Array.prototype.forEach.call(heads, function (h) { h.removeAttribute('aria-sort'); });
      th.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
      var numeric = th.getAttribute('data-type') === 'number';
      var body = table.tBodies[0];
      var rows = Array.prototype.slice.call(body.rows);
      var key = function (cell) {
        var k = cell.getAttribute('data-key');
        return k !== null ? k : cell.textContent;
      };
      rows.sort(function (a, b) {
        var x = key(a.cells[column]), y = key(b.cells[column]);
        if (x === '' || y === '') return x === y ? 0 : (x === '' ? 1 : -1);
        var d = numeric ? parseFloat(x) - parseFloat(y) : (x < y ? -1 : x > y ? 1 : 0);
        return ascending ? d : -d;
      });
      rows.forEach(function (r) { body.appendChild(r); });
    });
  });
})();
)";

} // namespace

std::vector<std::string> headerCells()
{
    return {"開始日時", "PC", "氏名", "問題", "出題数", "ミス許容数", "制限時間", "正解数", "解答数", "正解率",
            "状態", "備考"};
}

std::vector<std::string> rowCells(const Row& row, bool withOffset)
{
    auto number = [&row](int value) { return row.hasLog ? std::to_string(value) : std::string(); };
    // Texts from the mails may hold anything: control characters are made
    // visible, so that no cell can start a line, move the cursor of a
    // terminal that shows the table, or hide part of itself.
    auto text = [](std::string_view utf8) { return termtext::visible(utf8); };
    return {formatLocalTime(row.utcSeconds, rosterOffsetMinutes(row.utcSeconds), withOffset),
            text(row.pc),
            text(sjis::toUtf8(row.name)),
            row.hasLog ? text(sjis::toUtf8(row.questionFile)) : std::string(),
            number(row.questionCount),
            number(row.life),
            number(row.timeLimit),
            number(row.right),
            number(row.judged),
            row.hasLog ? text(row.rate) : std::string(),
            stateText(row.state),
            text(joined(row.notes))};
}

std::string rosterCsv(const Roster& roster, bool cp932)
{
    std::string out = cp932 ? std::string() : std::string(csv::kUtf8Bom);
    csv::appendRecord(out, headerCells());
    const bool withOffset = mixedOffsets(roster);
    for (const Row& row : roster.rows) {
        std::vector<std::string> cells = rowCells(row, withOffset);
        for (std::size_t i : {1u, 2u, 3u, 11u})
            cells[i] = plainText(cells[i]);
        csv::appendRecord(out, cells);
    }
    // The cells were UTF-8 so far; code page 932 holds every text of the table.
    return cp932 ? sjis::fromUtf8(out) : out;
}

std::string rosterHtml(const Roster& roster, const std::string& source)
{
    const Counts& c = roster.counts;
    std::string html;
    html += "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src " +
            sha256Source(kStyle) + "; script-src " + sha256Source(kScript) +
            "; base-uri 'none'; form-action 'none'\">\n";
    html += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    html += "<title>受験一覧</title>\n<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
    html += "<h1>受験一覧</h1>\n<p class=\"source\">" + escapeHtml(termtext::visible(source)) + " — メール " +
            std::to_string(c.mails) + " 通</p>\n";
    auto count = [&html](const char* cls, const char* label, int n) {
        html += std::string("<div class=\"count ") + cls + "\"><span>" + label + "</span><b>" + std::to_string(n) +
                "</b></div>\n";
    };
    html += "<div class=\"counts\">\n";
    count("finished", stateText(State::Finished), c.finished);
    count("open", stateText(State::NotFinished), c.notFinished);
    count("nostart", stateText(State::ResultWithoutStart), c.resultWithoutStart);
    count("test", "テストメール", c.testMails);
    count("skipped", "読めなかったメール", c.skipped);
    html += "</div>\n";
    html += rateChart(roster);

    html += "<table id=\"roster\">\n<thead><tr>";
    const std::vector<std::string> heads = headerCells();
    for (std::size_t i = 0; i < heads.size(); ++i)
        html += std::string("<th data-type=\"") + (sortsAsNumber(i) ? "number" : "text") + "\">" +
                escapeHtml(heads[i]) + "</th>";
    html += "</tr></thead>\n<tbody>\n";
    const bool withOffset = mixedOffsets(roster);
    for (const Row& row : roster.rows) {
        html += std::string("<tr class=\"") + stateClass(row.state) + "\">";
        const std::vector<std::string> cells = rowCells(row, withOffset);
        html += "<td data-key=\"" + std::to_string(row.utcSeconds) + "\">" + escapeHtml(cells[0]) + "</td>";
        for (std::size_t i = 1; i < cells.size(); ++i)
            html += std::string(numericColumn(i) ? "<td class=\"num\">" : "<td>") + escapeHtml(cells[i]) + "</td>";
        html += "</tr>\n";
    }
    html += "</tbody>\n</table>\n<script>" + std::string(kScript) + "</script>\n</body>\n</html>\n";
    return html;
}

} // namespace roster
