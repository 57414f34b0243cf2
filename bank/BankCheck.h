#pragma once
// The preflight of a bank and of the settings a test will run with: every
// mistake a candidate would otherwise meet first, found before the test day.

#include <filesystem>
#include <functional>
#include <string>

namespace bank {

struct Finding {
    enum class Kind {
        // the bank
        TrailingBytes,         // detail: how many bytes follow the last whole record; other: its number
        NoCorrectAnswer,       // no slot marked "*"
        SeveralCorrectAnswers, // detail: the slots marked, "2, 4"
        EmptyQuestion,
        EmptyAnswer,           // detail: the answer's number
        InvalidShiftJis,       // detail: the field ("question", "answer3", "picture", "mark")
        ZeroByte,              // detail: the field
        PictureNumber,         // detail: the three bytes, as text
        PictureMissing,        // detail: the file
        PictureNotBitmap,      // detail: the file
        PictureSize,           // detail: the file, then a TAB and its size "640x480"
        DuplicateQuestion,     // other: the question with the same text
        DefaultPictureMissing, // detail: the file (000.bmp, shown between tests)
        SpreadsheetValue,      // detail: "field:what:text", what as spreadsheetValue() says
        // the settings
        QuestionFileMissing,   // detail: the QUESTION value
        QuestionFileOther,     // note; detail: the QUESTION value
        QuestionCount,         // detail: the value; other: the bank's question count
        TimeLimit,             // detail: the value ("" when missing)
        Life,                  // detail: the value ("" when missing)
        MailAccount,           // detail: the empty entry ("SMTP", "TO" or "FROM")
        PortInvalid,           // detail: the PORT value
        StartTlsUnknown,       // note; detail: the port
        PasswordReadable,      // detail: the file's mode, "0644"
    };
    Kind kind = Kind::TrailingBytes;
    int question = 0;    // 1-based; 0 when it concerns no question
    std::string detail;  // UTF-8
    int other = 0;
    bool note = false;   // says what cannot be known; does not count as a finding
};
using FindingSink = std::function<void(const Finding&)>;

// Reads the bank through once, record by record. `questions` gets its
// record count. False, with nothing reported, when it cannot be read.
bool checkBank(const std::filesystem::path& bank, const FindingSink& sink, int& questions);

// The settings file against the bank. A bare or relative QUESTION value is
// looked up in the settings file's folder, where the program starts. False
// when the settings file cannot be read.
bool checkSettings(const std::filesystem::path& ini, const std::filesystem::path& bank, int bankQuestions,
                   const FindingSink& sink);

// A stable name for scripts ("no-correct-answer").
const char* findingCode(Finding::Kind kind);

} // namespace bank
