// Whole mails, as anyone may send them to the supervisor, through the
// roster: charsets, MIME, the result log reader, the pairing, and out as CSV
// and as the page. Nothing a mail holds gets through as markup or as a
// control character: the page has only its own elements, no cell holds a
// character that could end it or start a tag, and neither output holds a
// control character other than the CSV's line ends.
//
// Input: up to four mails, separated by zero bytes; with --since when the
// first byte is odd.

#include "FuzzInput.h"
#include "roster/Roster.h"
#include "roster/RosterOutput.h"

#include <cctype>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

// The code point at s[i] (valid UTF-8 is checked by the caller's loop).
std::uint32_t codePoint(const std::string& s, std::size_t i, std::size_t& length)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
    FUZZ_CHECK(i + length <= s.size());
    std::uint32_t cp = length == 1 ? c : length == 2 ? (c & 0x1Fu) : length == 3 ? (c & 0x0Fu) : (c & 0x07u);
    for (std::size_t k = 1; k < length; ++k) {
        FUZZ_CHECK((static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80);
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
    }
    return cp;
}

// No control character, no C1 control, no direction override, UTF-8 only;
// CR only before LF, LF only after CR when `crlf`.
void checkText(const std::string& s, bool crlf)
{
    for (std::size_t i = 0; i < s.size();) {
        std::size_t length = 0;
        const std::uint32_t cp = codePoint(s, i, length);
        if (cp == '\r') {
            FUZZ_CHECK(crlf && i + 1 < s.size() && s[i + 1] == '\n');
        } else if (cp == '\n') {
            FUZZ_CHECK(crlf ? i > 0 && s[i - 1] == '\r' : true);
        } else {
            FUZZ_CHECK(cp >= 0x20 && cp != 0x7F);
            FUZZ_CHECK(!(cp >= 0x80 && cp <= 0x9F));
            FUZZ_CHECK(!(cp >= 0x202A && cp <= 0x202E) && !(cp >= 0x2066 && cp <= 0x2069));
        }
        i += length;
    }
}

void checkPage(const std::string& html)
{
    checkText(html, false);
    static const std::set<std::string> elements = {
        "!DOCTYPE", "html", "head", "meta", "title", "style", "body", "h1", "p", "div", "span", "b", "figure",
        "figcaption", "svg", "line", "rect", "text", "table", "thead", "tbody", "tr", "th", "td", "script"};
    for (std::size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        std::size_t name = at + 1;
        if (name < html.size() && html[name] == '/')
            ++name;
        std::size_t end = name;
        while (end < html.size() && (std::isalnum(static_cast<unsigned char>(html[end])) || html[end] == '!'))
            ++end;
        const std::string element = html.substr(name, end - name);
        FUZZ_CHECK(elements.count(element) == 1);
        // The page's own style and script hold "<" of their own.
        if ((element == "style" || element == "script") && html[at + 1] != '/')
            at = html.find("</" + element + ">", at);
        FUZZ_CHECK(at != std::string::npos);
    }
    // Every cell's text is plain: nothing in it can close it, open a tag or
    // leave an attribute.
    const std::size_t table = html.find("<tbody>");
    for (std::size_t cell = html.find("<td", table); cell != std::string::npos; cell = html.find("<td", cell + 1)) {
        const std::size_t open = html.find('>', cell);
        const std::size_t close = html.find("</td>", open);
        FUZZ_CHECK(open != std::string::npos && close != std::string::npos);
        const std::string text = html.substr(open + 1, close - open - 1);
        FUZZ_CHECK(text.find_first_of("<>\"'") == std::string::npos);
    }
    FUZZ_CHECK(html.find("<script") == html.rfind("<script"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> mails = fuzz::parts(data, size, 4);
    roster::RosterBuilder builder(size > 0 && (data[0] & 1) ? std::optional<std::int64_t>(1796605200) : std::nullopt);
    for (const std::string& mail : mails)
        if (!mail.empty())
            builder.add("fuzz", mail);
    const roster::Roster table = builder.finish();

    const std::string csv = roster::rosterCsv(table, false);
    checkText(csv.substr(3), true); // after the byte-order mark
    checkPage(roster::rosterHtml(table, "imaps://fuzz:993/INBOX"));
    for (const roster::Row& row : table.rows)
        for (const std::string& cell : roster::rowCells(row, true))
            checkText(cell, false);
    (void)roster::rosterCsv(table, true);
    return 0;
}
