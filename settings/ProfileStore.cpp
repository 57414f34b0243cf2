#include "ProfileStore.h"

#include "core/FileSystem.h"
#include "core/ShiftJis.h"

#include <climits>
#include <cstdint>
#include <vector>

namespace {

struct Line {
    std::size_t begin; // first byte of the line
    std::size_t end;   // one past the last byte before the line break
    std::size_t next;  // first byte of the next line
};

std::vector<Line> splitLines(const std::string& text)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    // A UTF-8 byte order mark written by an editor is not part of the text.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        std::size_t end = nl == std::string::npos ? text.size() : nl;
        const std::size_t next = nl == std::string::npos ? text.size() : nl + 1;
        if (end > pos && text[end - 1] == '\r')
            --end;
        lines.push_back({pos, end, next});
        pos = next;
    }
    return lines;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string trim(const std::string& s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool sameName(const std::string& a, const std::string& b)
{
    return sjis::foldCase(a) == sjis::foldCase(b);
}

// The section name of a "[name]" line, or false when the line is no header.
bool sectionName(const std::string& line, std::string& name)
{
    const std::string t = trim(line);
    if (t.empty() || t.front() != '[')
        return false;
    const std::size_t close = t.find(']');
    name = trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// Splits an "entry=value" line. Returns false for lines without "=".
bool entryLine(const std::string& line, std::string& name, std::string& value)
{
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    name = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    // A value stored in quotes keeps the blanks inside them.
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return true;
}

// The value as it goes into the file: line breaks would start new lines, so
// they are dropped; blanks at either end, or quotes around the whole value,
// would be lost on reading, so such a value is put in quotes.
std::string storedValue(const std::string& value)
{
    std::string v;
    v.reserve(value.size() + 2);
    for (char c : value) {
        if (c != '\r' && c != '\n' && c != '\0')
            v += c;
    }
    const bool needsQuotes = !v.empty() && (isBlank(v.front()) || isBlank(v.back()) ||
                                            (v.size() >= 2 && v.front() == '"' && v.back() == '"'));
    return needsQuotes ? "\"" + v + "\"" : v;
}

std::string lineBreakOf(const std::string& text)
{
    const std::size_t nl = text.find('\n');
    if (nl != std::string::npos && (nl == 0 || text[nl - 1] != '\r'))
        return "\n";
    return "\r\n";
}

} // namespace

namespace {

// Where section/entry stands in a file's text. The reader and the writer
// both go by it, so a write always replaces the very line a read returns.
struct Location {
    bool entryFound = false;
    Line entry{};       // the entry's line: the first of that name in any copy of the section
    std::string value;  // its value
    bool sectionFound = false;
    std::size_t insertAt = 0; // after the last entry of the section's first copy
};

Location locate(const std::string& text, const std::string& section, const std::string& entry)
{
    Location at;
    bool inSection = false;
    bool inFirstCopy = false;
    for (const Line& l : splitLines(text)) {
        const std::string line = text.substr(l.begin, l.end - l.begin);
        std::string name;
        std::string v;
        if (sectionName(line, name)) {
            inSection = sameName(name, section);
            inFirstCopy = inSection && !at.sectionFound;
            if (inFirstCopy) {
                at.sectionFound = true;
                at.insertAt = l.next;
            }
        } else if (inSection) {
            if (entryLine(line, name, v) && sameName(name, entry)) {
                at.entryFound = true;
                at.entry = l;
                at.value = v;
                return at;
            }
            if (inFirstCopy && !trim(line).empty())
                at.insertAt = l.next;
        }
    }
    return at;
}

} // namespace

namespace ini {

bool findValue(const std::string& text, const std::string& section, const std::string& entry, std::string& value)
{
    const Location at = locate(text, section, entry);
    if (at.entryFound)
        value = at.value;
    return at.entryFound;
}

std::string setValue(const std::string& text, const std::string& section, const std::string& entry,
                     const std::string& value)
{
    const std::string newLine = entry + "=" + storedValue(value);
    const std::string br = lineBreakOf(text);
    const Location at = locate(text, section, entry);
    if (at.entryFound)
        return text.substr(0, at.entry.begin) + newLine + text.substr(at.entry.end);
    if (at.sectionFound) {
        std::string before = text.substr(0, at.insertAt);
        if (!before.empty() && before.back() != '\n')
            before += br;
        return before + newLine + br + text.substr(at.insertAt);
    }
    std::string out = text;
    if (!out.empty() && out.back() != '\n')
        out += br;
    out += "[" + section + "]" + br + newLine + br;
    return out;
}

int parseInt(const std::string& value)
{
    std::size_t i = 0;
    while (i < value.size() && isBlank(value[i]))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '-' || value[i] == '+')) {
        negative = value[i] == '-';
        ++i;
    }
    std::int64_t n = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        n = n * 10 + (value[i] - '0');
        if (n > static_cast<std::int64_t>(INT_MAX) + 1)
            n = static_cast<std::int64_t>(INT_MAX) + 1;
    }
    if (negative)
        n = -n;
    if (n > INT_MAX)
        n = INT_MAX;
    return static_cast<int>(n);
}

} // namespace ini

ProfileStore::ProfileStore(std::filesystem::path path) : m_path(std::move(path)) {}

std::string ProfileStore::GetProfileStringA(const std::string& section, const std::string& entry,
                                            const std::string& def) const
{
    std::string text;
    if (!fsutil::readFile(m_path, text))
        return def;
    std::string value;
    return ini::findValue(text, section, entry, value) ? value : def;
}

int ProfileStore::GetProfileIntA(const std::string& section, const std::string& entry, int def) const
{
    std::string text;
    if (!fsutil::readFile(m_path, text))
        return def;
    std::string value;
    if (!ini::findValue(text, section, entry, value) || value.empty())
        return def;
    return ini::parseInt(value);
}

bool ProfileStore::WriteProfileStringA(const std::string& section, const std::string& entry,
                                       const std::string& value)
{
    const auto path = m_path;
    std::string text;
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && !fsutil::readFile(path, text))
        return false; // never replace a file that could not be read
    return fsutil::writeFileAtomically(path, ini::setValue(text, section, entry, value), true);
}

bool ProfileStore::WriteProfileInt(const std::string& section, const std::string& entry, int value)
{
    return WriteProfileStringA(section, entry, std::to_string(value));
}
