#pragma once
// Reading the report mails back: which of the three kinds a mail is, and the
// result log that a result mail carries. The texts are the ones the mails are
// written with (reportmail/MailTexts.h). Input and output are Shift-JIS bytes;
// lines may end with CR LF or LF alone.

#include <string>
#include <string_view>
#include <vector>

namespace mail {

// What a result log says.
struct ReadLog {
    std::string questionFile;
    std::string name;
    int questionCount = 0;
    int life = 0;
    int timeLimit = 0;
    // One entry per judged question: its number as written and whether it was right.
    struct Mark {
        int number = 0;
        bool right = false;
    };
    std::vector<Mark> marks;
    bool hasRateLine = false;
    std::string rate; // the rate as written, without spaces; a decimal comma read as a point

    int rightAnswers() const;
};

// Reads a result log. False when the text is not one; then `line` is the
// 1-based line where it stops fitting and `expected` the shape of the line
// that should have stood there ("【出題数】:n題"), or empty when the text
// goes on after a complete log. Blank lines after the log are allowed.
bool readResultLog(std::string_view text, ReadLog& log, int& line, std::string& expected);

// Where the parts of a result log disagree with each other or with the subject.
struct LogFinding {
    enum Kind {
        NameDiffers,      // text: the name in the subject; other: the name in the log
        MarkOutOfOrder,   // expected: the number the mark should have; found: its number
        MarkCountDiffers, // expected: the question count; found: the marks
        TooManyMisses,    // expected: the allowance; found: the wrong answers
        NoRateLine,
        RateDiffers,      // text: the rate the marks give; other: the rate line's
        // A number no run of the program can write into a result mail
        // (found: the number): a question count below 1 (such a run never
        // sends one), a negative miss allowance or time limit.
        CountOutOfRange,
        LifeOutOfRange,
        TimeLimitOutOfRange,
    };
    Kind kind = NoRateLine;
    int expected = 0;
    int found = 0;
    std::string text;
    std::string other;
};
std::vector<LogFinding> checkResultLog(const ReadLog& log, std::string_view subjectName);

// The rate of right answers as the rate line writes it, without leading spaces.
std::string rateText(int right, int judged);

enum class MailKind { Start, Result, Test, Other };

struct ReadReport {
    MailKind kind = MailKind::Other;
    std::string name; // from the subject (start and result mails)
    ReadLog log;      // result mails
    // Why a mail could not be read.
    enum class Problem {
        None,
        NotReport, // the subject is none of ours
        StartBody, // a start mail's subject, another body
        TestBody,  // a test mail's subject, another body
        LogLine,   // a result mail's subject, a body that is not a result log
    };
    Problem problem = Problem::None;
    int problemLine = 0;  // LogLine: the line of the body
    std::string expected; // LogLine: the shape of that line, see readResultLog
};

// Reads one mail from its decoded subject and body.
ReadReport readReportMail(std::string_view subject, std::string_view body);

} // namespace mail
