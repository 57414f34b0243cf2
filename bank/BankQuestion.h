#pragma once
// A question on its way between a bank and another format.
//
// Going out, every record becomes an OutQuestion: its fields as UTF-8 (or as
// the record's own bytes for a code page 932 file), its picture file when the
// format carries pictures. A writer that cannot carry something says so
// through a Note.
//
// Coming in, a reader gives a ParsedQuestion for every question it finds, as
// the file has it (any number of answers, any length), and a Problem for
// anything it cannot read; fitQuestion() then decides whether the question
// fits a record, with the record codec's limits.

#include "questionfile/QuestionRecord.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bank {

// One picture file, as its bytes.
struct PictureFile {
    std::string name;  // "005.bmp"
    std::string bytes; // the file's content
};

struct OutQuestion {
    int number = 0;               // 1-based position in the bank
    std::string picture;          // the record's three bytes ("000": none), as text
    std::string mark;             // the last-result mark, as text
    std::string question;         // question text
    std::array<std::string, question::kAnswerCount> answers;
    int correct = 0;              // 1 to 5; 0 when no slot is marked
    std::shared_ptr<const PictureFile> pictureFile; // null: none, or not found
    bool pictureMissing = false;  // a picture number whose file could not be read
};

// What a writer could not carry, for the user to hear of.
struct Note {
    enum class Kind {
        NoCorrectAnswer,   // the question was left out: the format needs a right answer
        LineBreak,         // a line break written as a space
        EmptyText,         // an empty question or answer the format cannot hold
        EdgeSpaces,        // spaces at the start or end of a text, which readers trim
        ControlCharacter,  // a character the format cannot hold, written as U+FFFD
        InvalidBytes,      // bytes that are no Shift-JIS character, written as U+FFFD
        PictureMissing,    // the picture file could not be read; written without it
        PictureNotCarried, // the format has no place for pictures
        CarriageReturn,    // a CR written as a plain line break
        SpaceFolded,       // a tab, CR or form feed that HTML shows as a space, written as one
    };
    int number = 0;
    Kind kind = Kind::LineBreak;
    std::string field; // "question", "answer3"...; the picture number for the picture notes
};
using NoteSink = std::function<void(const Note&)>;

// Where a reader found something, and what.
struct Problem {
    enum class Kind {
        // the file as a whole
        NotText,          // zero bytes: not a text file
        Utf16,            // a UTF-16 file
        EucJp,            // an EUC-JP file
        BadEncoding,      // bytes that are neither UTF-8 nor code page 932 (or not the one asked for)
        CutShort,         // the file ends inside a character
        UnclosedQuote,    // CSV: the file ends inside a quoted cell
        CellTooLong,      // CSV: a cell longer than any text could be
        NoHeader,         // CSV: the first row is not the header
        MissingColumn,    // CSV: the header lacks a column (detail: its name)
        NotXml,           // XML not well formed (detail: the parser's words)
        NotQuiz,          // XML whose root is not <quiz>
        LineTooLong,      // Aiken, GIFT: a line longer than any text could be
        ReadFailed,       // the file could not be read
        // one question
        NotMultipleChoice, // another kind of question (detail: which)
        AnswerCount,       // not exactly five answers (detail: how many)
        RightAnswerCount,  // not exactly one right answer (detail: how many)
        EmptyQuestion,
        EmptyAnswer,       // detail: the answer's number
        QuestionTooLong,   // detail: bytes
        AnswerTooLong,     // detail: "n:bytes"
        Unmappable,        // a character code page 932 cannot hold (detail: the characters)
        InvalidShiftJis,   // code page 932 bytes that are no character
        ZeroByte,          // a zero byte in a text
        BadCorrect,        // CSV: the right-answer cell is not 1 to 5 (detail: the cell)
        BadMark,           // CSV: the last-result cell is no mark (detail: the cell)
        BadPictureNumber,  // a picture number that is not 1 to 3 digits (detail)
        PictureMissing,    // detail: the file looked for
        PictureUnreadable, // detail: the file
        PictureTooLarge,   // detail: the file
        PicturesFull,      // no free number left in 256bitmap
        AikenNoAnswerLine, // Aiken: the question has no ANSWER line
        AikenStrayLine,    // Aiken: a line that is neither a choice nor ANSWER
        AikenBadAnswer,    // Aiken: ANSWER names no choice (detail: the letter)
        GiftUnclosed,      // GIFT: "{" without "}"
        TooManyQuestions,  // more questions than a bank may hold
        NestedTooDeep,     // XML: elements nested deeper than kMaxXmlDepth
        DoctypeEntities,   // XML: a document type that declares entities
        TextTooLong,       // XML: a text longer than kMaxLineBytes (detail: the element)
        HtmlTooDeep,       // a text whose HTML is nested deeper than a browser would build it
        // warnings: the question is imported, but not all of it
        MediaLeftOut,      // detail: "audio", "video", "object", "answer-picture:N", "second-picture"
        MarkupLost,        // detail: "field:what", what = sup, sub, table, list, markdown, math
        SpreadsheetValue,  // detail: "field:what:text", what = error, exponent, date
        SpreadsheetSaved,  // CSV: the file was saved by a spreadsheet that read cells as numbers
    };
    int line = 0;     // 1-based; 0 when it concerns no line
    Kind kind = Kind::NotText;
    std::string detail;
    bool fatal = false; // the file cannot be read any further
    bool warning = false; // the question is imported all the same
};
using ProblemSink = std::function<void(const Problem&)>;

// A question as a reader found it.
struct ParsedQuestion {
    int line = 0;                 // where the question starts
    bool cp932 = false;           // texts are code page 932 bytes, not UTF-8
    std::string picture;          // as written: empty, a number, or a file name
    int pictureLine = 0;
    std::string mark;             // as written; empty means "N"
    int markLine = 0;
    std::string question;
    std::vector<std::string> answers;
    std::vector<int> answerLines; // line of each answer (0: the question's)
    std::vector<int> right;       // 0-based indices of the right answers
    int correctLine = 0;          // where the right answer is named, if apart
    std::string embeddedName;     // a picture carried in the file: its name...
    std::string embeddedData;     // ...and its bytes
    std::string badCorrect;       // CSV: a right-answer cell that names no answer
    std::vector<Problem> warnings; // what the record cannot carry of it (Problem::warning)
};
using QuestionSink = std::function<void(ParsedQuestion&)>;

// How fitQuestion() treats texts that are too long.
struct FitOptions {
    bool cut = false; // cut them to fit instead of refusing the question
    // Fills the slots of a question with two to four answers, as wrong
    // answers (UTF-8; empty: such a question does not fit).
    std::string fill;
};

// A text that was cut to fit.
struct Cut {
    int line = 0;
    std::string field; // "question" or "answerN"
    std::size_t from = 0, to = 0; // bytes before and after
};

// Decides whether a question fits a record and gives the record's texts
// (code page 932) in `record` (the picture is left to the caller). Returns
// false, after reporting every reason, when it does not fit.
bool fitQuestion(const ParsedQuestion& in, const FitOptions& options, question::QuestionRecord& record,
                 std::vector<Cut>& cuts, const ProblemSink& problem);

// The mark byte for a last-result cell: "N", "C", "I" (or any other single
// printable ASCII character, kept as it stands), "-", "正解", "不正解" or
// empty. False when the text is none of these.
bool markFromText(std::string_view utf8, char& mark);

// Reads a record into an OutQuestion (texts as UTF-8, or as the record's own
// bytes when cp932 is set). `invalid` lists the fields that held bytes that
// are no character.
OutQuestion outQuestion(int number, std::string_view recordBytes, bool cp932, std::vector<std::string>* invalid);

// What a spreadsheet makes of a cell it reads as a number or a formula,
// told by the cell alone: "error" (#VALUE!, #NAME?..., Err:502), "exponent"
// (a long number as 1.23457E+11) and, with `dates`, "date" (1/2 as
// 2026/1/2, 1月2日, 2-Jan...). Null for any other text. ASCII and code page
// 932 texts alike.
const char* spreadsheetValue(std::string_view text, bool dates);

// Comment lines by which the text formats carry what other quiz systems have
// no place for: "molvane-bank: picture=005 mark=N".
std::string metadataComment(const OutQuestion& q);
bool parseMetadataComment(std::string_view text, std::string& picture, std::string& mark);

} // namespace bank
