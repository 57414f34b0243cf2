// The question record on any bytes: the editor's reading and the runner's
// cut fields agree with the byte positions of the record, and what the editor
// writes is 500 bytes that read back as written and stay as they are through
// further readings and writings.
//
// Input: the whole input is read as record bytes. Split at zero bytes it is
// also a record to write: picture, a control byte (mark and correct answer),
// question text, answers 1 to 5.

#include "FuzzInput.h"
#include "questionfile/QuestionRecord.h"

#include <string>
#include <string_view>

using namespace question;

namespace {

bool isTrailingSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string trimRight(std::string s)
{
    while (!s.empty() && isTrailingSpace(s.back()))
        s.pop_back();
    return s;
}

std::string cut(const std::string& s, std::size_t width)
{
    return s.substr(0, width);
}

// Reading any bytes.
void checkReading(const std::string& bytes)
{
    const QuestionRecord r = decodeRecord(bytes);
    const RawQuestion raw = cutRawFields(bytes);
    // Only the first 500 bytes count.
    if (bytes.size() > static_cast<std::size_t>(kRecordSize)) {
        const std::string first(bytes, 0, kRecordSize);
        FUZZ_CHECK(cutRawFields(first).question == raw.question);
        FUZZ_CHECK(decodeRecord(first).answers == r.answers);
    }
    // Fields are taken from the text before the first zero byte, by position.
    const std::string text = cut(bytes, kRecordSize).substr(0, bytes.find('\0'));
    auto at = [&text](std::size_t offset, std::size_t width) {
        return offset < text.size() ? text.substr(offset, width) : std::string();
    };
    FUZZ_CHECK(raw.picture == at(0, 3) && r.picture == raw.picture);
    FUZZ_CHECK(raw.question == at(4, kQuestionTextSize));
    FUZZ_CHECK(r.question == trimRight(raw.question));
    int firstStar = 0;
    for (int k = 0; k < kAnswerCount; ++k) {
        const std::size_t slot = static_cast<std::size_t>(kHeadSize + kSlotSize * k);
        const std::size_t i = static_cast<std::size_t>(k);
        FUZZ_CHECK(raw.answers[i] == at(slot + 1, kAnswerTextSize));
        FUZZ_CHECK(r.answers[i] == trimRight(raw.answers[i]));
        FUZZ_CHECK(raw.marks[i] == (slot < text.size() ? text[slot] : '\0'));
        if (firstStar == 0 && raw.marks[i] == '*')
            firstStar = k + 1;
    }
    FUZZ_CHECK(r.correct == firstStar);
    FUZZ_CHECK(r.mark == (text.size() > 3 ? text[3] : '\0'));
}

// Writing a record as the editor gives it: texts without zero bytes, a mark
// of its list, no correct answer or one of the five.
void checkWriting(const std::vector<std::string>& p)
{
    QuestionRecord r;
    r.picture = p[0];
    const unsigned control = fuzz::byteOf(p[1]);
    r.mark = markForResultIndex(static_cast<int>(control % 3));
    r.correct = static_cast<int>(control / 3 % 6);
    r.question = p[2];
    for (std::size_t i = 0; i < r.answers.size(); ++i)
        r.answers[i] = p[3 + i];

    int questionWarnings = 0;
    int answerWarnings = 0;
    const std::string bytes = encodeRecord(r, [&](const char* warning) {
        if (warning == kQuestionCutWarning)
            ++questionWarnings;
        else if (warning == kAnswerCutWarning)
            ++answerWarnings;
        else
            fuzz::fail("unknown warning");
    });
    FUZZ_CHECK(bytes.size() == static_cast<std::size_t>(kRecordSize));
    FUZZ_CHECK(bytes.find('\0') == std::string::npos);
    FUZZ_CHECK(questionWarnings == (r.question.size() > static_cast<std::size_t>(kQuestionTextSize) ? 1 : 0));
    int expectedAnswerWarnings = 0;
    for (const std::string& a : r.answers)
        expectedAnswerWarnings += a.size() > static_cast<std::size_t>(kAnswerTextSize) ? 1 : 0;
    FUZZ_CHECK(answerWarnings == expectedAnswerWarnings);
    // Head and slots in place: the picture's three bytes, the mark, the last
    // byte of every slot a space, "*" on the correct slot only.
    std::string picture = cut(r.picture, 3);
    picture.resize(3, ' ');
    FUZZ_CHECK(bytes.compare(0, 3, picture) == 0 && bytes[3] == r.mark);
    for (int k = 0; k < kAnswerCount; ++k) {
        const std::size_t slot = static_cast<std::size_t>(kHeadSize + kSlotSize * k);
        FUZZ_CHECK(bytes[slot] == (k + 1 == r.correct ? '*' : ' '));
        FUZZ_CHECK(bytes[slot + kSlotSize - 1] == ' ');
    }

    // It reads back as written, cut to the widths...
    const QuestionRecord back = decodeRecord(bytes);
    FUZZ_CHECK(back.picture == picture && back.mark == r.mark && back.correct == r.correct);
    FUZZ_CHECK(back.question == trimRight(cut(r.question, kQuestionTextSize)));
    for (std::size_t i = 0; i < r.answers.size(); ++i)
        FUZZ_CHECK(back.answers[i] == trimRight(cut(r.answers[i], kAnswerTextSize - 1)));
    // ...and writing what was read, then reading and writing that once more,
    // changes nothing and warns of nothing (reading drops trailing white
    // space, which the first write may have kept).
    bool warned = false;
    const auto warn = [&warned](const char*) { warned = true; };
    const std::string again = encodeRecord(back, warn);
    FUZZ_CHECK(decodeRecord(again).question == back.question && decodeRecord(again).answers == back.answers);
    FUZZ_CHECK(encodeRecord(decodeRecord(again), warn) == again);
    FUZZ_CHECK(!warned);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    checkReading(bytes);
    checkWriting(fuzz::parts(data, size, 8));
    return 0;
}
