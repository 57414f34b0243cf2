#include "BankText.h"

#include "core/ShiftJis.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace bank {

namespace {

// Byte-at-a-time validity of UTF-8, so that a file is checked in chunks.
class Utf8Check {
public:
    // False once the bytes seen so far cannot be UTF-8.
    bool feed(unsigned char c)
    {
        if (m_need == 0) {
            if (c < 0x80)
                return true;
            if (c >= 0xC2 && c <= 0xDF) {
                m_need = 1;
                m_lo = 0x80;
                m_hi = 0xBF;
            } else if (c >= 0xE0 && c <= 0xEF) {
                m_need = 2;
                m_lo = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
                m_hi = c == 0xED ? 0x9F : 0xBF; // no surrogates
            } else if (c >= 0xF0 && c <= 0xF4) {
                m_need = 3;
                m_lo = c == 0xF0 ? 0x90 : 0x80;
                m_hi = c == 0xF4 ? 0x8F : 0xBF;
            } else {
                return false;
            }
            return true;
        }
        if (c < m_lo || c > m_hi)
            return false;
        m_lo = 0x80;
        m_hi = 0xBF;
        --m_need;
        return true;
    }
    bool complete() const { return m_need == 0; }

private:
    int m_need = 0;
    unsigned char m_lo = 0x80;
    unsigned char m_hi = 0xBF;
};

class Cp932Check {
public:
    bool feed(unsigned char c)
    {
        if (m_trail) {
            m_trail = false;
            return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
        }
        if (sjis::isLeadByte(c)) {
            m_trail = true;
            return true;
        }
        return c < 0x80 || (c >= 0xA1 && c <= 0xDF);
    }
    bool complete() const { return !m_trail; }

private:
    bool m_trail = false;
};

// EUC-JP: two bytes of A1-FE, or 8E and a half-width kana, or 8F and two
// bytes of A1-FE. Text in code page 932 almost always holds bytes 81-9F,
// which EUC-JP never has outside those two prefixes.
class EucJpCheck {
public:
    bool feed(unsigned char c)
    {
        if (m_need > 0) {
            --m_need;
            return c >= 0xA1 && c <= 0xFE;
        }
        if (c < 0x80)
            return true;
        m_seen = true;
        if (c == 0x8E) {
            m_need = 1;
            return true;
        }
        if (c == 0x8F) {
            m_need = 2;
            return true;
        }
        if (c >= 0xA1 && c <= 0xFE) {
            m_need = 1;
            return true;
        }
        return false;
    }
    bool complete() const { return m_need == 0; }
    bool seen() const { return m_seen; }

private:
    int m_need = 0;
    bool m_seen = false;
};

const std::string_view kReplacement = "\xEF\xBF\xBD";

} // namespace

namespace {

// Runs `feed` over the bytes of the stream from `skip` on. `bad` gets the
// line of the first byte feed() refuses (0: none), `nul` that of the first
// zero byte. Returns whether `done` holds at the end.
template <typename Feed, typename Done>
void scan(std::istream& in, std::size_t skip, Feed feed, Done done, int& bad, int& nul, bool* cutShort = nullptr)
{
    in.clear();
    in.seekg(static_cast<std::streamoff>(skip));
    std::string buffer(65536, '\0');
    int line = 1;
    bad = 0;
    nul = 0;
    for (;;) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::size_t n = static_cast<std::size_t>(in.gcount());
        if (n == 0)
            break;
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char c = static_cast<unsigned char>(buffer[i]);
            if (c < 0x20) {
                if (c == '\n')
                    ++line;
                else if (c == 0 && nul == 0)
                    nul = line;
            }
            if (bad == 0 && !feed(c))
                bad = line;
        }
    }
    if (bad == 0 && !done()) {
        bad = line;
        if (cutShort)
            *cutShort = true;
    }
    in.clear();
    in.seekg(0);
}

} // namespace

Sniffed sniffEncoding(std::istream& in, Encoding wanted)
{
    char head[3] = {};
    in.read(head, 3);
    const std::string_view start(head, static_cast<std::size_t>(in.gcount()));
    if (start.substr(0, 2) == "\xFF\xFE" || start.substr(0, 2) == "\xFE\xFF") {
        in.clear();
        in.seekg(0);
        return {Sniffed::Kind::Utf16, false, 1};
    }
    Sniffed s;
    s.bom = start == "\xEF\xBB\xBF";
    const std::size_t skip = s.bom ? 3 : 0;
    int nul = 0;

    // UTF-8 first: what most files are, and the only pass they need.
    if (wanted != Encoding::Cp932 || s.bom) {
        Utf8Check utf8;
        int bad = 0;
        bool cutShort = false;
        scan(
            in, skip, [&](unsigned char c) { return utf8.feed(c); }, [&] { return utf8.complete(); }, bad, nul,
            &cutShort);
        if (nul > 0)
            return {Sniffed::Kind::Binary, s.bom, nul};
        // UTF-8 to the last character, and that one cut: a file cut short.
        if (cutShort)
            return {Sniffed::Kind::CutShort, s.bom, bad};
        if (bad == 0 || wanted == Encoding::Utf8 || s.bom) {
            s.kind = bad == 0 ? Sniffed::Kind::Utf8 : Sniffed::Kind::Invalid;
            s.line = bad;
            return s;
        }
    }
    Cp932Check cp932;
    EucJpCheck euc;
    bool eucOk = true;
    int bad = 0;
    scan(
        in, skip,
        [&](unsigned char c) {
            eucOk = eucOk && euc.feed(c);
            return cp932.feed(c);
        },
        [&] { return cp932.complete(); }, bad, nul);
    if (nul > 0)
        return {Sniffed::Kind::Binary, s.bom, nul};
    if (wanted == Encoding::Auto && eucOk && euc.complete() && euc.seen()) {
        s.kind = Sniffed::Kind::EucJp;
        return s;
    }
    s.kind = bad == 0 ? Sniffed::Kind::Cp932 : Sniffed::Kind::Invalid;
    s.line = bad;
    return s;
}

bool isValidUtf8(std::string_view s)
{
    Utf8Check check;
    for (char c : s)
        if (!check.feed(static_cast<unsigned char>(c)))
            return false;
    return check.complete();
}

namespace {

// Which single bytes and which byte pairs code page 932 defines, found out
// by converting every one of them once.
class Cp932Table {
public:
    Cp932Table()
    {
        std::string probe;
        std::vector<unsigned> codes;
        for (unsigned c = 1; c < 0x100; ++c) {
            if (sjis::isLeadByte(static_cast<unsigned char>(c)))
                continue;
            probe += static_cast<char>(c);
            probe += '\0';
            codes.push_back(c);
        }
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!sjis::isLeadByte(static_cast<unsigned char>(lead)))
                continue;
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                if (trail == 0x7F)
                    continue;
                probe += static_cast<char>(lead);
                probe += static_cast<char>(trail);
                probe += '\0';
                codes.push_back(lead << 8 | trail);
            }
        }
        // Zero bytes keep every probe apart: no character holds one.
        const std::string utf8 = sjis::toUtf8(probe);
        std::size_t start = 0;
        for (unsigned code : codes) {
            const std::size_t end = utf8.find('\0', start);
            if (end == std::string::npos)
                break;
            if (!hasReplacementCharacter(std::string_view(utf8).substr(start, end - start)))
                m_defined[code] = true;
            start = end + 1;
        }
        m_defined[0] = true;
    }
    bool defined(unsigned code) const { return m_defined[code]; }

private:
    std::vector<bool> m_defined = std::vector<bool>(0x10000, false);
};

} // namespace

bool isBlankCp932(std::string_view s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ' ' || (c >= '\t' && c <= '\r'))
            continue;
        if (c == '\x81' && i + 1 < s.size() && s[i + 1] == '\x40') {
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

bool isValidShiftJis(std::string_view s)
{
    static const Cp932Table table;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80)
            continue;
        if (!sjis::isLeadByte(c)) {
            if (!table.defined(c))
                return false;
            continue;
        }
        if (i + 1 >= s.size() || !table.defined(static_cast<unsigned>(c) << 8 | static_cast<unsigned char>(s[i + 1])))
            return false;
        ++i;
    }
    return true;
}

std::vector<std::string> fieldsToUtf8(const std::vector<std::string_view>& fields)
{
    // One conversion for all fields: they are joined with zero bytes, which
    // no field holds and which the conversion keeps in place.
    std::string joined;
    for (std::string_view f : fields) {
        joined += f;
        joined += '\0';
    }
    const std::string utf8 = sjis::toUtf8(joined);
    std::vector<std::string> out;
    out.reserve(fields.size());
    std::size_t start = 0;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const std::size_t end = utf8.find('\0', start);
        if (end == std::string::npos) {
            out.emplace_back(utf8.substr(std::min(start, utf8.size())));
            start = utf8.size();
            continue;
        }
        out.emplace_back(utf8.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

bool hasReplacementCharacter(std::string_view utf8)
{
    return utf8.find(kReplacement) != std::string_view::npos;
}

namespace {

std::size_t utf8Length(unsigned char c)
{
    if (c < 0x80)
        return 1;
    if (c >= 0xF0)
        return 4;
    if (c >= 0xE0)
        return 3;
    return 2;
}

// The characters of a field that code page 932 cannot hold, found one at a
// time; only called for a field whose conversion gave more "?" than it had.
std::vector<std::string> unmappableIn(std::string_view utf8)
{
    std::vector<std::string> found;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::size_t n = std::min(utf8Length(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
        const std::string_view ch = utf8.substr(i, n);
        if (ch != "?" && sjis::fromUtf8(ch) == "?" &&
            std::find(found.begin(), found.end(), ch) == found.end())
            found.emplace_back(ch);
        i += n;
    }
    return found;
}

} // namespace

std::vector<std::string> fieldsFromUtf8(const std::vector<std::string_view>& fields,
                                        std::vector<std::vector<std::string>>& unmappable)
{
    std::string joined;
    for (std::string_view f : fields) {
        joined += f;
        joined += '\0';
    }
    const std::string cp932 = sjis::fromUtf8(joined);
    std::vector<std::string> out;
    out.reserve(fields.size());
    unmappable.assign(fields.size(), {});
    std::size_t start = 0;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        std::size_t end = cp932.find('\0', start);
        if (end == std::string::npos)
            end = cp932.size();
        out.emplace_back(cp932.substr(std::min(start, cp932.size()), end - std::min(start, end)));
        start = end + 1;
        const auto questionMarks = [](std::string_view s) { return std::count(s.begin(), s.end(), '?'); };
        if (questionMarks(out.back()) > questionMarks(fields[k]))
            unmappable[k] = unmappableIn(fields[k]);
    }
    return out;
}

std::string htmlEscape(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size() + 16);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\r':
            if (i + 1 < utf8.size() && utf8[i + 1] == '\n')
                ++i;
            out += "<br>";
            break;
        case '\n':
            out += "<br>";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string htmlKeepingSpaces(std::string_view utf8, bool* folded)
{
    static constexpr std::string_view kNoBreakSpace = "&nbsp;";
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
    std::string out;
    out.reserve(utf8.size() + 16);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == ' ') {
            // A single space between two other characters survives folding.
            const bool single = i > 0 && i + 1 < utf8.size() && !isBlank(utf8[i - 1]) && !isBlank(utf8[i + 1]);
            out += single ? std::string_view(" ") : kNoBreakSpace;
        } else if (c == '\t' || c == '\f' || (c == '\r' && !(i + 1 < utf8.size() && utf8[i + 1] == '\n'))) {
            out += kNoBreakSpace;
            if (folded)
                *folded = true;
        } else {
            // CR LF is a line break, the CR of it lost.
            out += htmlEscape(utf8.substr(i, c == '\r' ? 2 : 1));
            if (c == '\r') {
                ++i;
                if (folded)
                    *folded = true;
            }
        }
    }
    return out;
}

LineReader::LineReader(std::istream& in, Encoding encoding, std::size_t maxLineBytes)
    : m_in(in), m_cp932(encoding == Encoding::Cp932), m_max(maxLineBytes)
{
}

int LineReader::get()
{
    if (m_pos >= m_buffer.size()) {
        if (m_eof)
            return -1;
        m_buffer.resize(65536);
        m_in.read(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
        m_buffer.resize(static_cast<std::size_t>(m_in.gcount()));
        m_pos = 0;
        if (m_in.bad())
            m_failed = true;
        if (m_buffer.empty()) {
            m_eof = true;
            return -1;
        }
        if (!m_started) {
            m_started = true;
            if (std::string_view(m_buffer).substr(0, 3) == "\xEF\xBB\xBF")
                m_pos = 3;
            if (m_pos >= m_buffer.size())
                return get();
        }
    }
    return static_cast<unsigned char>(m_buffer[m_pos++]);
}

bool LineReader::next(std::string& line)
{
    line.clear();
    if (m_tooLong || m_failed)
        return false;
    int c = get();
    if (c < 0)
        return false;
    ++m_line;
    while (c >= 0 && c != '\n' && c != '\r') {
        line += static_cast<char>(c);
        if (line.size() > m_max) {
            m_tooLong = true;
            return false;
        }
        c = get();
    }
    if (c == '\r') {
        const int d = get();
        if (d >= 0 && d != '\n')
            --m_pos; // the start of the next line
    }
    if (m_failed)
        return false;
    if (m_cp932)
        line = sjis::toUtf8(line);
    return true;
}

int lineAt(std::string_view text, std::size_t offset)
{
    int line = 1;
    const std::size_t end = std::min(offset, text.size());
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
            ++line;
    }
    return line;
}

} // namespace bank
