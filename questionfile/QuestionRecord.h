#pragma once
// One question of a question file: exactly 500 Shift-JIS bytes.
//
//   0   3  picture number ("000": no picture of its own)
//   3   1  last-result mark ("N", "C" or "I")
//   4  96  question text, filled up with spaces
// 100  80  answer slot 1: mark byte ("*" for the correct answer) + 79 bytes
// 180 ...  answer slots 2 to 5 likewise
//
// All widths count bytes; a double-byte character cut at a limit keeps its
// first byte.

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace question {

constexpr int kRecordSize = 500;
constexpr int kHeadSize = 100;
constexpr int kSlotSize = 80;
constexpr int kAnswerCount = 5;
constexpr int kQuestionTextSize = 96;
constexpr int kAnswerTextSize = 79;

// The warnings shown when a text is cut to fit (UTF-8, as shown).
extern const char* const kQuestionCutWarning;
extern const char* const kAnswerCutWarning;

// Called with one of the warnings above; writing goes on when it returns.
using WarningSink = std::function<void(const char* warning)>;

// A record as the editor sees it.
struct QuestionRecord {
    std::string picture = "000"; // 3 bytes
    char mark = 'N';
    std::string question;
    std::array<std::string, kAnswerCount> answers;
    int correct = 0; // 1 to 5; 0 when no slot is marked
};

// The 100-byte head. Warns when the question text is longer than 96 bytes.
std::string encodeHead(std::string_view picture, char mark, std::string_view questionText, const WarningSink& warn);

// The 80-byte slot i (1 to 5). Warns when the answer text is longer than 79
// bytes; keeps at most 78 bytes of text in any case.
std::string encodeSlot(int i, int correct, std::string_view answerText, const WarningSink& warn);

// The whole 500-byte record, head then slots 1 to 5, with their warnings.
std::string encodeRecord(const QuestionRecord& record, const WarningSink& warn);

// The editor's reading of 500 bytes: trailing single-byte white space
// removed, correct answer = first slot marked "*". A zero byte ends the text:
// every field at or after it reads as empty.
QuestionRecord decodeRecord(std::string_view bytes);

// The test runner's reading: fields cut by byte position from the text up to
// the first zero byte, kept with their trailing spaces.
struct RawQuestion {
    std::string picture;  // bytes 0 to 2
    std::string question; // bytes 4 to 99
    std::array<char, kAnswerCount> marks{};        // byte 100 + 80k, 0 when cut off
    std::array<std::string, kAnswerCount> answers; // 79 bytes from 101 + 80k
};
RawQuestion cutRawFields(std::string_view bytes);

// The longest texts a record holds whole: 96 bytes of question text, 78 of
// answer text (the last byte of a slot stays a space).
constexpr int kQuestionTextKept = kQuestionTextSize;
constexpr int kAnswerTextKept = kAnswerTextSize - 1;

// How many bytes of a Shift-JIS text fit in `limit` bytes when no double-byte
// character may be split: the limit itself, or one less.
std::size_t fittingLength(std::string_view text, std::size_t limit);

// The record that fills a new question file.
QuestionRecord templateRecord();
std::string templateRecordBytes();

// Last-result index of the editor's list (0 "-", 1 "正解", 2 "不正解") to
// mark and back.
char markForResultIndex(int index);
int resultIndexForMark(char mark); // -1 for any other byte

} // namespace question
