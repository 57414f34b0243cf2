#include "QuestionRecord.h"

#include "core/ShiftJis.h"

namespace question {

const char* const kQuestionCutWarning = "問題文の半角97文字以上は削除されます";
const char* const kAnswerCutWarning = "解答文の半角81文字以上は削除されます";

namespace {

std::string padded(std::string_view text, std::size_t keep, std::size_t width)
{
    std::string out(text.substr(0, keep));
    out.resize(width, ' ');
    return out;
}

bool isTrailingSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string trimRight(std::string_view s)
{
    std::size_t e = s.size();
    while (e > 0 && isTrailingSpace(s[e - 1]))
        --e;
    return std::string(s.substr(0, e));
}

// The record's text: everything before the first zero byte.
std::string_view textOf(std::string_view bytes)
{
    const std::size_t nul = bytes.find('\0');
    return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

std::string_view field(std::string_view text, std::size_t offset, std::size_t width)
{
    if (offset >= text.size())
        return {};
    return text.substr(offset, width);
}

} // namespace

std::string encodeHead(std::string_view picture, char mark, std::string_view questionText, const WarningSink& warn)
{
    // The picture number always takes its three bytes, so that a short name
    // can never shift the question text out of place.
    std::string head = padded(picture, 3, 3);
    head += mark;
    head += questionText;
    if (head.size() > static_cast<std::size_t>(kHeadSize) && warn)
        warn(kQuestionCutWarning);
    return padded(head, kHeadSize, kHeadSize);
}

std::string encodeSlot(int i, int correct, std::string_view answerText, const WarningSink& warn)
{
    std::string slot(1, i == correct ? '*' : ' ');
    slot += answerText;
    if (slot.size() > static_cast<std::size_t>(kSlotSize) && warn)
        warn(kAnswerCutWarning);
    return padded(slot, kSlotSize - 1, kSlotSize);
}

std::string encodeRecord(const QuestionRecord& record, const WarningSink& warn)
{
    std::string out = encodeHead(record.picture, record.mark, record.question, warn);
    for (int i = 1; i <= kAnswerCount; ++i)
        out += encodeSlot(i, record.correct, record.answers[static_cast<std::size_t>(i - 1)], warn);
    return out;
}

QuestionRecord decodeRecord(std::string_view bytes)
{
    const std::string_view text = textOf(bytes.substr(0, kRecordSize));
    QuestionRecord r;
    r.picture = std::string(field(text, 0, 3));
    const std::string_view mark = field(text, 3, 1);
    r.mark = mark.empty() ? '\0' : mark.front();
    r.question = trimRight(field(text, 4, kQuestionTextSize));
    r.correct = 0;
    for (int i = 0; i < kAnswerCount; ++i) {
        const std::size_t slot = static_cast<std::size_t>(kHeadSize + kSlotSize * i);
        r.answers[static_cast<std::size_t>(i)] = trimRight(field(text, slot + 1, kAnswerTextSize));
        if (r.correct == 0 && field(text, slot, 1) == "*")
            r.correct = i + 1;
    }
    return r;
}

RawQuestion cutRawFields(std::string_view bytes)
{
    const std::string_view text = textOf(bytes.substr(0, kRecordSize));
    RawQuestion q;
    q.picture = std::string(field(text, 0, 3));
    q.question = std::string(field(text, 4, kQuestionTextSize));
    for (int k = 0; k < kAnswerCount; ++k) {
        const std::size_t slot = static_cast<std::size_t>(kHeadSize + kSlotSize * k);
        const std::string_view m = field(text, slot, 1);
        q.marks[static_cast<std::size_t>(k)] = m.empty() ? '\0' : m.front();
        q.answers[static_cast<std::size_t>(k)] = std::string(field(text, slot + 1, kAnswerTextSize));
    }
    return q;
}

std::size_t fittingLength(std::string_view text, std::size_t limit)
{
    std::size_t n = 0;
    while (n < text.size()) {
        const std::size_t width = sjis::isLeadByte(static_cast<unsigned char>(text[n])) ? 2 : 1;
        if (n + width > limit)
            break;
        n += width;
    }
    return n;
}

QuestionRecord templateRecord()
{
    QuestionRecord r;
    r.picture = "000";
    r.mark = 'N';
    r.question = "\x83\x65\x83\x58\x83\x67\x96\xE2\x91\xE8"; // テスト問題
    for (int i = 0; i < kAnswerCount; ++i)
        r.answers[static_cast<std::size_t>(i)] = "\x89\xF0\x93\x9A" + std::to_string(i + 1); // 解答n
    r.correct = 1;
    return r;
}

std::string templateRecordBytes()
{
    return encodeRecord(templateRecord(), nullptr);
}

char markForResultIndex(int index)
{
    switch (index) {
    case 1:
        return 'C';
    case 2:
        return 'I';
    default:
        return 'N';
    }
}

int resultIndexForMark(char mark)
{
    switch (mark) {
    case 'N':
        return 0;
    case 'C':
        return 1;
    case 'I':
        return 2;
    default:
        return -1;
    }
}

} // namespace question
