#include "BankQuestion.h"

#include "BankText.h"
#include "core/ShiftJis.h"

namespace bank {

namespace {

bool isTrailingSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// What a record gives back of a text: trailing single-byte white space goes.
std::string_view trimmedRight(std::string_view s)
{
    while (!s.empty() && isTrailingSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string answerField(std::size_t i)
{
    return "answer" + std::to_string(i + 1);
}

} // namespace

bool markFromText(std::string_view utf8, char& mark)
{
    if (utf8.empty() || utf8 == "-") {
        mark = 'N';
        return true;
    }
    if (utf8 == "正解") {
        mark = 'C';
        return true;
    }
    if (utf8 == "不正解") {
        mark = 'I';
        return true;
    }
    if (utf8.size() == 1 && utf8[0] >= 0x20 && utf8[0] <= 0x7E) {
        mark = utf8[0];
        if (mark == 'n' || mark == 'c' || mark == 'i')
            mark = static_cast<char>(mark - 'a' + 'A');
        return true;
    }
    return false;
}

bool fitQuestion(const ParsedQuestion& in, const FitOptions& options, question::QuestionRecord& record,
                 std::vector<Cut>& cuts, const ProblemSink& problem)
{
    bool fits = true;
    const auto refuse = [&](int line, Problem::Kind kind, std::string detail) {
        fits = false;
        if (problem)
            problem(Problem{line > 0 ? line : in.line, kind, std::move(detail), false});
    };
    const auto answerLine = [&](std::size_t i) {
        return i < in.answerLines.size() && in.answerLines[i] > 0 ? in.answerLines[i] : in.line;
    };

    // Too few answers are filled up, when asked, with wrong ones.
    const std::size_t count = in.answers.size();
    const bool fill = !options.fill.empty() && count >= 2 && count < static_cast<std::size_t>(question::kAnswerCount);
    const std::string fillText = fill && in.cp932 ? sjis::fromUtf8(options.fill) : options.fill;
    if (count != static_cast<std::size_t>(question::kAnswerCount) && !fill)
        refuse(in.line, Problem::Kind::AnswerCount, std::to_string(count));
    if (!in.badCorrect.empty())
        refuse(in.correctLine, Problem::Kind::BadCorrect, in.badCorrect);
    else if (in.right.size() != 1)
        refuse(in.correctLine, Problem::Kind::RightAnswerCount, std::to_string(in.right.size()));

    // Every text in one conversion: the question, then the answers.
    std::vector<std::string_view> texts;
    texts.reserve(in.answers.size() + 1);
    texts.emplace_back(in.question);
    for (const std::string& a : in.answers)
        texts.emplace_back(a);
    if (fill)
        texts.resize(question::kAnswerCount + 1, fillText);
    const auto fieldName = [](std::size_t k) { return k == 0 ? std::string("question") : answerField(k - 1); };
    const auto lineOf = [&](std::size_t k) { return k == 0 ? in.line : answerLine(k - 1); };

    bool convertible = true;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        if (texts[k].find('\0') != std::string_view::npos) {
            refuse(lineOf(k), Problem::Kind::ZeroByte, fieldName(k));
            convertible = false;
        }
    }
    if (!convertible)
        return false;

    std::vector<std::string> cp932;
    if (in.cp932) {
        for (std::size_t k = 0; k < texts.size(); ++k) {
            if (!isValidShiftJis(texts[k]))
                refuse(lineOf(k), Problem::Kind::InvalidShiftJis, fieldName(k));
            cp932.emplace_back(texts[k]);
        }
    } else {
        std::vector<std::vector<std::string>> unmappable;
        cp932 = fieldsFromUtf8(texts, unmappable);
        for (std::size_t k = 0; k < texts.size(); ++k) {
            if (unmappable[k].empty())
                continue;
            std::string chars;
            for (const std::string& c : unmappable[k])
                chars += c;
            refuse(lineOf(k), Problem::Kind::Unmappable, fieldName(k) + ":" + chars);
        }
    }

    for (std::size_t k = 0; k < cp932.size(); ++k) {
        const std::string_view text = trimmedRight(cp932[k]);
        if (isBlankCp932(text)) {
            refuse(lineOf(k), k == 0 ? Problem::Kind::EmptyQuestion : Problem::Kind::EmptyAnswer,
                   k == 0 ? std::string() : std::to_string(k));
            continue;
        }
        const std::size_t limit = static_cast<std::size_t>(k == 0 ? question::kQuestionTextKept
                                                                  : question::kAnswerTextKept);
        std::string kept(text);
        if (text.size() > limit) {
            if (options.cut) {
                kept = std::string(text.substr(0, question::fittingLength(text, limit)));
                cuts.push_back(Cut{lineOf(k), fieldName(k), text.size(), kept.size()});
            } else if (k == 0) {
                refuse(lineOf(k), Problem::Kind::QuestionTooLong, std::to_string(text.size()));
            } else {
                refuse(lineOf(k), Problem::Kind::AnswerTooLong, std::to_string(k) + ":" + std::to_string(text.size()));
            }
        }
        if (k == 0)
            record.question = std::move(kept);
        else if (k <= static_cast<std::size_t>(question::kAnswerCount))
            record.answers[k - 1] = std::move(kept);
    }

    const std::string markText = in.cp932 ? sjis::toUtf8(in.mark) : in.mark;
    if (!markFromText(markText, record.mark))
        refuse(in.markLine, Problem::Kind::BadMark, markText);

    if (fits)
        record.correct = in.right.front() + 1;
    return fits;
}

OutQuestion outQuestion(int number, std::string_view recordBytes, bool cp932, std::vector<std::string>* invalid)
{
    const question::QuestionRecord r = question::decodeRecord(recordBytes);
    OutQuestion q;
    q.number = number;
    q.correct = r.correct;
    const std::string mark = r.mark == '\0' ? std::string() : std::string(1, r.mark);
    if (cp932) {
        q.picture = r.picture;
        q.mark = mark;
        q.question = r.question;
        for (int i = 0; i < question::kAnswerCount; ++i)
            q.answers[static_cast<std::size_t>(i)] = r.answers[static_cast<std::size_t>(i)];
        return q;
    }
    std::vector<std::string_view> fields{r.picture, mark, r.question};
    for (const std::string& a : r.answers)
        fields.emplace_back(a);
    std::vector<std::string> utf8 = fieldsToUtf8(fields);
    static const char* const kNames[] = {"picture", "mark", "question", "answer1", "answer2",
                                         "answer3", "answer4", "answer5"};
    if (invalid) {
        for (std::size_t k = 0; k < utf8.size(); ++k)
            if (hasReplacementCharacter(utf8[k]))
                invalid->emplace_back(kNames[k]);
    }
    q.picture = std::move(utf8[0]);
    q.mark = std::move(utf8[1]);
    q.question = std::move(utf8[2]);
    for (std::size_t i = 0; i < q.answers.size(); ++i)
        q.answers[i] = std::move(utf8[3 + i]);
    return q;
}

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Takes 1 to `most` digits from the front of s; false when there are none.
bool digits(std::string_view& s, std::size_t most, std::size_t least = 1)
{
    std::size_t n = 0;
    while (n < s.size() && n < most && isDigit(s[n]))
        ++n;
    if (n < least)
        return false;
    s.remove_prefix(n);
    return true;
}

bool take(std::string_view& s, std::string_view what)
{
    if (s.substr(0, what.size()) != what)
        return false;
    s.remove_prefix(what.size());
    return true;
}

bool isMonthName(std::string_view s)
{
    for (std::string_view m : {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"})
        if (s == m)
            return true;
    return false;
}

bool looksLikeDate(std::string_view s)
{
    std::string_view t = s;
    // 2026/1/2, 2026-01-02
    if (digits(t, 4, 4) && (take(t, "/") || take(t, "-")) && digits(t, 2) && (take(t, "/") || take(t, "-")) &&
        digits(t, 2) && t.empty())
        return true;
    // 1/2/2026, 01/02/26
    t = s;
    if (digits(t, 2) && take(t, "/") && digits(t, 2) && take(t, "/") && digits(t, 4, 2) && t.empty())
        return true;
    // 1月2日, in UTF-8 or code page 932
    t = s;
    if (digits(t, 2) && (take(t, "月") || take(t, "\x8C\x8E")) && digits(t, 2) && (take(t, "日") || take(t, "\x93\xFA")) &&
        t.empty())
        return true;
    // 2-Jan, Jan-02
    t = s;
    if (digits(t, 2) && take(t, "-") && isMonthName(t))
        return true;
    return s.size() >= 5 && isMonthName(s.substr(0, 3)) && s[3] == '-' && (t = s.substr(4), digits(t, 2, 2)) && t.empty();
}

} // namespace

const char* spreadsheetValue(std::string_view s, bool dates)
{
    for (std::string_view e : {"#VALUE!", "#NAME?", "#DIV/0!", "#REF!", "#N/A", "#NUM!", "#NULL!", "#SPILL!", "#CALC!"})
        if (s == e)
            return "error";
    std::string_view t = s;
    if (take(t, "Err:") && digits(t, 3, 3) && t.empty())
        return "error";
    // 1.23457E+11: a digit, a fraction, an exponent.
    t = s;
    take(t, "-");
    if (digits(t, 1, 1) && (!take(t, ".") || digits(t, 15)) && (take(t, "E+") || take(t, "E-") || take(t, "e+")) &&
        digits(t, 3) && t.empty())
        return "exponent";
    if (dates && looksLikeDate(s))
        return "date";
    return nullptr;
}

namespace {
bool isThreeDigits(std::string_view s)
{
    return s.size() == 3 && s.find_first_not_of("0123456789") == std::string_view::npos;
}
constexpr std::string_view kMetadataTag = "molvane-bank:";
} // namespace

std::string metadataComment(const OutQuestion& q)
{
    std::string out(kMetadataTag);
    if (isThreeDigits(q.picture))
        out += " picture=" + q.picture;
    if (q.mark.size() == 1 && q.mark[0] > 0x20 && q.mark[0] <= 0x7E)
        out += " mark=" + q.mark;
    return out;
}

bool parseMetadataComment(std::string_view text, std::string& picture, std::string& mark)
{
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos || text.substr(start, kMetadataTag.size()) != kMetadataTag)
        return false;
    text.remove_prefix(start + kMetadataTag.size());
    while (!text.empty()) {
        const std::size_t b = text.find_first_not_of(" \t\r\n");
        if (b == std::string_view::npos)
            break;
        text.remove_prefix(b);
        const std::size_t e = std::min(text.find_first_of(" \t\r\n"), text.size());
        const std::string_view item = text.substr(0, e);
        text.remove_prefix(e);
        if (item.substr(0, 8) == "picture=" && isThreeDigits(item.substr(8)))
            picture = std::string(item.substr(8));
        else if (item.substr(0, 5) == "mark=" && item.size() == 6)
            mark = std::string(item.substr(5));
    }
    return true;
}

} // namespace bank
