#pragma once
// Comma-separated values as RFC 4180 has them, the way spreadsheets open and
// save them: fields separated by commas, records ended by CR LF, a field in
// double quotes when it holds a comma, a quote, a CR or an LF, and a quote
// inside a quoted field written twice.
//
// Works on bytes: the comma, the quote, CR and LF never occur inside a
// character of UTF-8 or of code page 932 (whose second bytes start at 0x40),
// so the same code reads and writes both. Converting the text is the caller's
// business; so is the byte-order mark (kUtf8Bom), which a spreadsheet needs to
// open a UTF-8 file by double-click.

#include <cstddef>
#include <initializer_list>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace csv {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kRecordEnd = "\r\n";

// True when the field must be written in quotes.
bool needsQuotes(std::string_view field);

// Appends one field, quoted when it needs to be.
void appendField(std::string& out, std::string_view field);

// Appends one record: the fields separated by commas, then CR LF.
void appendRecord(std::string& out, std::initializer_list<std::string_view> fields);
void appendRecord(std::string& out, const std::vector<std::string>& fields);

struct Field {
    std::string text;
    int line = 0; // the line the field starts on (1-based)
};

// Reads records one at a time from a stream, in chunks, so that a file of
// any length is read in flat memory. A record ends at CR LF, at a lone LF or
// at a lone CR outside quotes, or at the end of the input. Lenient where
// spreadsheets are: a quote inside an unquoted field, or text after a closing
// quote, is kept as it stands.
class Reader {
public:
    enum class Error {
        None,
        UnclosedQuote, // the input ended inside a quoted field
        FieldTooLong,  // a field longer than the limit (most often a quote left open)
        ReadFailed,    // the stream failed
    };

    explicit Reader(std::istream& in, std::size_t maxFieldBytes = 1 << 20);

    // Reads the next record into `fields` (whose strings are used again).
    // False at the end of the input or on an error (see error()).
    bool next(std::vector<Field>& fields);

    int recordLine() const { return m_recordLine; } // line of the last record read
    Error error() const { return m_error; }
    int errorLine() const { return m_errorLine; } // where the field in error starts

private:
    bool fill();
    int peek();
    int get();

    std::istream& m_in;
    std::size_t m_max;
    std::string m_buffer;
    std::size_t m_pos = 0;
    bool m_eof = false;
    int m_line = 1;
    int m_recordLine = 0;
    Error m_error = Error::None;
    int m_errorLine = 0;
};

} // namespace csv
