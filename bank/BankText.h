#pragma once
// Text helpers of the bank formats: which encoding a file is in, moving the
// fields of a record between code page 932 and UTF-8 in one conversion, and
// the little HTML the formats carry.

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace bank {

enum class Encoding { Auto, Utf8, Cp932 };

// What a whole text file turned out to be.
struct Sniffed {
    enum class Kind {
        Utf8,   // valid UTF-8 (plain ASCII included)
        Cp932,  // not UTF-8, but valid code page 932
        Utf16,  // a UTF-16 byte-order mark
        EucJp,  // Japanese in EUC-JP, which is read by neither of the above
        Binary, // zero bytes: not a text file at all
        CutShort, // UTF-8 whose last character is cut: the file was cut short
        Invalid // bytes that fit the encoding asked for (or neither) nowhere
    };
    Kind kind = Kind::Utf8;
    bool bom = false; // a UTF-8 byte-order mark at the start
    int line = 0;     // Invalid, Binary: the line of the first offending byte
};

// Reads the stream to its end and puts it back at its start. With
// Encoding::Auto a file that is valid UTF-8 is UTF-8; one that is not, but is
// valid code page 932, is code page 932. Asked for one encoding, the file
// must be valid in it.
Sniffed sniffEncoding(std::istream& in, Encoding wanted);

bool isValidUtf8(std::string_view s);

// True when every byte of s belongs to a character that code page 932
// defines (as core/ShiftJis reads it). Answered from a table made once, so
// that a whole bank is checked without converting it.
bool isValidShiftJis(std::string_view s);

// True when a code page 932 text holds nothing but white space, full-width
// spaces (81 40) included: a text a candidate would see as empty.
bool isBlankCp932(std::string_view s);

// Converts several code page 932 fields to UTF-8 in one go. A field that
// holds a byte sequence code page 932 does not define gets U+FFFD there.
// No field may contain a zero byte.
std::vector<std::string> fieldsToUtf8(const std::vector<std::string_view>& fields);

// True when the UTF-8 text holds U+FFFD, the mark of a byte that was no
// character.
bool hasReplacementCharacter(std::string_view utf8);

// UTF-8 fields to code page 932 in one go. `unmappable` gets, for each field,
// the characters (UTF-8) that code page 932 cannot hold; such characters come
// out as "?".
std::vector<std::string> fieldsFromUtf8(const std::vector<std::string_view>& fields,
                                        std::vector<std::vector<std::string>>& unmappable);

// Text for HTML: & < > " escaped, line breaks as <br>.
std::string htmlEscape(std::string_view utf8);

// Text as an HTML fragment that htmlToText() gives back exactly: as
// htmlEscape(), and spaces that HTML would fold (runs of spaces, spaces at
// either end or beside a line break) written as no-break spaces. Tabs, CRs
// and form feeds, which a browser shows as spaces, become no-break spaces
// too; `folded` is set when there was one.
std::string htmlKeepingSpaces(std::string_view utf8, bool* folded = nullptr);

// What a text's HTML held beyond its text.
struct HtmlText {
    std::vector<std::string> images; // the src of every <img>, in order
    std::vector<std::string> media;  // "audio", "video", "object", "embed", "iframe"
    std::vector<std::string> markup; // what changes the meaning: "sup", "sub", "table", "list", "math"
    bool tooDeep = false;            // nested deeper than the parser builds (256 levels)
};

// The text of an HTML fragment as a browser shows it: tags removed, every
// character reference decoded, a "<" that opens no tag kept, comments,
// scripts and styles left out, runs of white space folded into one space,
// <br> as a line break and blocks (paragraphs, list items...) on lines of
// their own, no-break spaces as spaces.
std::string htmlToText(std::string_view html, HtmlText* info = nullptr);

// Sets libxml2 up once, its messages silenced: what matters is told by
// the readers.
void initXml();

// Moodle's auto format: HTML in which line breaks are kept.
std::string moodleAutoToText(std::string_view text, HtmlText* info = nullptr);

// Reads a text stream line by line (ended by LF, CR LF or a lone CR), in
// chunks. Skips a UTF-8 byte-order mark at the start; lines of a code page
// 932 stream come out as UTF-8.
class LineReader {
public:
    LineReader(std::istream& in, Encoding encoding, std::size_t maxLineBytes);

    // The next line without its end. False at the end, or when a line is too
    // long or the stream fails (see tooLong(), failed()).
    bool next(std::string& line);
    int line() const { return m_line; } // number of the line last read

    bool tooLong() const { return m_tooLong; }
    bool failed() const { return m_failed; }

private:
    int get();

    std::istream& m_in;
    bool m_cp932;
    std::size_t m_max;
    std::string m_buffer;
    std::size_t m_pos = 0;
    bool m_eof = false;
    int m_line = 0;
    bool m_tooLong = false;
    bool m_failed = false;
    bool m_started = false;
};

// Number of line breaks (LF, CR LF or a lone CR) before offset in text, plus 1.
int lineAt(std::string_view text, std::size_t offset);

} // namespace bank
