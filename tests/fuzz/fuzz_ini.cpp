// The settings file's reader and writer on any file text: setting a value
// and finding it again gives it back (numbers too), every other entry keeps
// its value, and a write adds at most one section and one entry.
//
// Input, split at zero bytes: the file's text, a byte choosing the section and
// entry, the value, a number.

#include "FuzzInput.h"
#include "core/ShiftJis.h"
#include "settings/ProfileStore.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// The names the program reads and writes, and a few more.
const char* const kSections[] = {"QUESTION", "QUESTION_CNT", "LIFE", "TIME_LIMIT", "SEQ", "SOUND", "MAIL",
                                 "SMTP",     "PORT",         "TO",   "FROM",       "ID",  "PW",    "question",
                                 "Mail",
                                 // 新規, ア and ャ: the second bytes of the last two differ in case only
                                 "\x90\x56\x8B\x4B", "\x83\x41", "\x83\x61"};
const char* const kEntries[] = {"1", "SW", "2", "sw"};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string trimmed(const std::string& s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        lines.push_back(text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
        pos = nl == std::string::npos ? text.size() : nl + 1;
    }
    return lines;
}

struct Shape {
    std::size_t headers = 0; // lines that open a section
    std::size_t entries = 0; // other lines with "="
};

Shape shapeOf(const std::string& text)
{
    Shape s;
    for (const std::string& line : linesOf(text)) {
        const std::string t = trimmed(line);
        if (!t.empty() && t.front() == '[')
            ++s.headers;
        else if (t.find('=') != std::string::npos)
            ++s.entries;
    }
    return s;
}

using Pair = std::pair<std::string, std::string>;

// The entries of the text, each with the section it stands in, so that
// entries of any name are looked at.
void harvestPairs(const std::string& text, std::vector<Pair>& pairs)
{
    std::string section;
    for (const std::string& line : linesOf(text)) {
        const std::string t = trimmed(line);
        const std::size_t close = t.find(']');
        if (!t.empty() && t.front() == '[')
            section = trimmed(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        else if (t.find('=') != std::string::npos)
            pairs.emplace_back(section, trimmed(t.substr(0, t.find('='))));
        if (pairs.size() > 64)
            break;
    }
}

bool same(const std::string& a, const std::string& b)
{
    return sjis::foldCase(a) == sjis::foldCase(b);
}

struct Found {
    bool found = false;
    std::string value;
    bool operator==(const Found& o) const { return found == o.found && value == o.value; }
};

Found find(const std::string& text, const std::string& section, const std::string& entry)
{
    Found f;
    f.found = ini::findValue(text, section, entry, f.value);
    return f;
}

// The number at the start of a value as the C library reads it, held in the
// 32-bit range.
int expectedInt(const std::string& value)
{
    errno = 0;
    const long long n = std::strtoll(value.c_str(), nullptr, 10);
    return n > INT_MAX ? INT_MAX : n < INT_MIN ? INT_MIN : static_cast<int>(n);
}

void checkParseInt(const std::string& value)
{
    // strtoll also skips line feeds, which never occur in a value read from
    // the file.
    if (value.find('\n') == std::string::npos)
        FUZZ_CHECK(ini::parseInt(value) == expectedInt(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> p = fuzz::parts(data, size, 4);
    const std::string& text = p[0];
    const unsigned choice = fuzz::byteOf(p[1]);
    const std::string section = kSections[choice % std::size(kSections)];
    const std::string entry = kEntries[choice / std::size(kSections) % std::size(kEntries)];
    const std::string& value = p[2];

    // The value found is the one set; line breaks cannot be stored and are
    // dropped.
    const std::string written = ini::setValue(text, section, entry, value);
    std::string stored;
    for (char c : value)
        if (c != '\r' && c != '\n')
            stored += c;
    const Found back = find(written, section, entry);
    FUZZ_CHECK(back.found && back.value == stored);
    FUZZ_CHECK(ini::setValue(written, section, entry, value) == written);

    // Every other entry keeps what it had.
    std::vector<Pair> pairs = {{"SOUND", "SW"}, {"sound", "sw"}, {"LIFE", "2"}};
    for (const char* s : kSections)
        pairs.emplace_back(s, "1");
    harvestPairs(text, pairs);
    for (const auto& [s, e] : pairs) {
        if (same(s, section) && same(e, entry))
            continue;
        const Found before = find(text, s, e);
        FUZZ_CHECK(find(written, s, e) == before);
        if (before.found)
            checkParseInt(before.value);
    }

    // One write adds at most one section header and one entry, whatever the
    // value holds.
    const Shape was = shapeOf(text);
    const Shape is = shapeOf(written);
    FUZZ_CHECK(is.headers <= was.headers + 1 && is.headers >= was.headers);
    FUZZ_CHECK(is.entries <= was.entries + 1 && is.entries >= was.entries);

    // Numbers come back as they were written.
    std::uint32_t n = 0;
    for (char c : p[3])
        n = n * 31u + static_cast<unsigned char>(c);
    const int number = static_cast<int>(n);
    const std::string withNumber = ini::setValue(text, section, entry, std::to_string(number));
    const Found numberBack = find(withNumber, section, entry);
    FUZZ_CHECK(numberBack.found && ini::parseInt(numberBack.value) == number);
    checkParseInt(value);
    checkParseInt(p[3]);
    return 0;
}
