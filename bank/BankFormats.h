#pragma once
// The formats a bank moves in and out in: CSV for spreadsheets, Aiken and
// GIFT (the plain-text formats of other quiz systems), Moodle XML, and an HTML
// catalogue for printing. Writers take one question at a time and append to
// a string; readers go through a stream and hand over one question at a time,
// so that neither ever holds a whole bank.

#include "BankQuestion.h"
#include "BankText.h"

#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace bank {

enum class Format { Csv, Aiken, Gift, MoodleXml, Html };

// "csv", "aiken", "gift", "moodle-xml", "html".
std::optional<Format> formatFromName(std::string_view name);
const char* formatName(Format format);

// The CSV header: 番号, 画像, 問題, 解答1 to 解答5, 正解, 前回 (UTF-8).
extern const char* const kCsvHeader[10];

class BankWriter {
public:
    virtual ~BankWriter() = default;
    // True when write() wants OutQuestion::pictureFile filled in.
    virtual bool wantsPictures() const { return false; }
    virtual void begin(std::string& out) { (void)out; }
    // Appends one question; tells `note` what it could not carry. False when
    // the question was left out.
    virtual bool write(const OutQuestion& q, std::string& out, const NoteSink& note) = 0;
    virtual void end(std::string& out) { (void)out; }
};

struct WriterOptions {
    bool cp932 = false;   // CSV: code page 932 without a byte-order mark
    bool answers = false; // HTML: mark the right answers and add an answer key
    std::string title;    // HTML: the heading (UTF-8)
};

std::unique_ptr<BankWriter> makeWriter(Format format, const WriterOptions& options);

// Reads a whole file of the given format (not HTML). Text formats are UTF-8,
// with or without a byte-order mark, or code page 932 (found out, or as
// asked); Moodle XML says its encoding itself. A fatal problem ends the
// reading; any other problem concerns one question, and reading goes on.
void readQuestions(Format format, std::istream& in, Encoding encoding, const QuestionSink& question,
                   const ProblemSink& problem);

// The readers themselves, on a stream already known to be in `encoding`
// (Utf8 or Cp932); a UTF-8 byte-order mark at the start is skipped.
void readCsv(std::istream& in, Encoding encoding, const QuestionSink& question, const ProblemSink& problem);
void readAiken(std::istream& in, Encoding encoding, const QuestionSink& question, const ProblemSink& problem);
void readGift(std::istream& in, Encoding encoding, const QuestionSink& question, const ProblemSink& problem);
void readMoodleXml(std::istream& in, const QuestionSink& question, const ProblemSink& problem);

// Tells of a line reader that stopped on a line too long or a failed read;
// true when it did.
bool endedInError(const LineReader& lines, const ProblemSink& problem);

// Longest line or cell a reader takes: far beyond any text a record holds,
// small enough that a file without line ends cannot fill the memory.
constexpr std::size_t kMaxLineBytes = 1 << 20;

// Deepest nesting of XML elements read; Moodle XML needs six levels.
constexpr std::size_t kMaxXmlDepth = 256;

} // namespace bank
