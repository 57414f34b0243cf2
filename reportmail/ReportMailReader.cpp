#include "ReportMailReader.h"

#include "reportmail/MailTexts.h"
#include "reportmail/ResultLog.h"

#include <algorithm>
#include <charconv>
#include <climits>

namespace mail {

namespace {

using namespace mailtext;

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// "%d" as written: an optional minus and decimal digits that fit an int.
bool readInt(std::string_view text, int& value)
{
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// "label" number "unit".
bool readNumberLine(std::string_view line, std::string_view label, std::string_view unit, int& value)
{
    return startsWith(line, label) && endsWith(line, unit) && line.size() >= label.size() + unit.size() &&
           readInt(line.substr(label.size(), line.size() - label.size() - unit.size()), value);
}

// " (n):*" or " (n):-"; spaces before the parenthesis are not counted on,
// as mail software may take them away or add to them.
bool readMarkLine(std::string_view line, ReadLog::Mark& mark)
{
    const std::string_view open = std::string_view(kMarkOpen).substr(1); // "("
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    if (!startsWith(line, open) || line.size() < open.size() + 1)
        return false;
    line.remove_prefix(open.size());
    const std::size_t close = line.find(kMarkClose);
    if (close == std::string_view::npos || !readInt(line.substr(0, close), mark.number))
        return false;
    const std::string_view rest = line.substr(close + std::string_view(kMarkClose).size());
    if (rest.size() != 1 || (rest[0] != kRight && rest[0] != kWrong))
        return false;
    mark.right = rest[0] == kRight;
    return true;
}

// The rate as written between the label and "%": digits, perhaps a decimal
// point (or comma) and more digits, perhaps padded with spaces.
bool readRateLine(std::string_view line, std::string& rate)
{
    if (!startsWith(line, kRateLabel) || !endsWith(line, kPercent))
        return false;
    std::string_view number = line.substr(std::string_view(kRateLabel).size());
    number.remove_suffix(std::string_view(kPercent).size());
    number = trimmed(number);
    std::string out;
    bool digits = false;
    bool point = false;
    for (char c : number) {
        if (c >= '0' && c <= '9') {
            digits = true;
            out += c;
        } else if ((c == '.' || c == ',') && !point && digits) {
            point = true;
            out += '.';
        } else {
            return false;
        }
    }
    if (!digits || out.back() == '.')
        return false;
    rate = out;
    return true;
}

std::string shape(std::string_view label, std::string_view unit)
{
    return std::string(label) + "n" + std::string(unit);
}

} // namespace

int ReadLog::rightAnswers() const
{
    return static_cast<int>(std::count_if(marks.begin(), marks.end(), [](const Mark& m) { return m.right; }));
}

namespace {

// The lines of a text one at a time, without a copy or a list of them: a
// body of millions of lines costs no more than the body itself.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : m_text(text) { load(); }

    bool atEnd() const { return m_atEnd; }
    // The current line without its line end; empty past the last line.
    std::string_view line() const { return m_atEnd ? std::string_view() : m_line; }
    // 1-based number of the current line; past the end, the last line's.
    int number() const { return m_number; }
    void advance()
    {
        if (m_atEnd)
            return;
        if (m_next > m_text.size()) {
            m_atEnd = true;
            return;
        }
        m_pos = m_next;
        if (m_number < INT_MAX)
            ++m_number;
        load();
    }

private:
    void load()
    {
        std::size_t end = m_text.find('\n', m_pos);
        if (end == std::string_view::npos)
            end = m_text.size();
        m_line = m_text.substr(m_pos, end - m_pos);
        if (!m_line.empty() && m_line.back() == '\r')
            m_line.remove_suffix(1);
        m_next = end + 1;
    }

    std::string_view m_text;
    std::string_view m_line;
    std::size_t m_pos = 0;
    std::size_t m_next = 0;
    int m_number = 1;
    bool m_atEnd = false;
};

} // namespace

bool readResultLog(std::string_view text, ReadLog& log, int& lineNumber, std::string& expected)
{
    log = ReadLog();
    expected.clear();
    lineNumber = 0;

    LineCursor lines(text);
    auto blank = [](std::string_view line) { return trimmed(line).empty(); };
    while (!lines.atEnd() && blank(lines.line()))
        lines.advance();
    auto fail = [&](std::string shapeOfLine) {
        lineNumber = lines.number();
        expected = std::move(shapeOfLine);
        return false;
    };
    auto line = [&]() { return lines.line(); };

    if (!startsWith(line(), kQuestionLabel))
        return fail(std::string(kQuestionLabel) + "...");
    log.questionFile = std::string(line().substr(std::string_view(kQuestionLabel).size()));
    lines.advance();
    if (!startsWith(line(), kNameLabel))
        return fail(std::string(kNameLabel) + "...");
    log.name = std::string(line().substr(std::string_view(kNameLabel).size()));
    lines.advance();
    if (!readNumberLine(line(), kCountLabel, kCountUnit, log.questionCount))
        return fail(shape(kCountLabel, kCountUnit));
    lines.advance();
    if (!readNumberLine(line(), kLifeLabel, kLifeUnit, log.life))
        return fail(shape(kLifeLabel, kLifeUnit));
    lines.advance();
    if (!readNumberLine(line(), kTimeLabel, kTimeUnit, log.timeLimit))
        return fail(shape(kTimeLabel, kTimeUnit));
    lines.advance();
    if (lines.atEnd() || line() != kResultHeading)
        return fail(kResultHeading);
    lines.advance();

    ReadLog::Mark mark;
    while (!lines.atEnd() && readMarkLine(line(), mark)) {
        log.marks.push_back(mark);
        lines.advance();
    }
    if (!lines.atEnd() && readRateLine(line(), log.rate)) {
        log.hasRateLine = true;
        lines.advance();
    }
    // Only blank lines may follow; otherwise the log stops fitting right here.
    const int stop = lines.number();
    while (!lines.atEnd() && blank(line()))
        lines.advance();
    if (!lines.atEnd()) {
        lineNumber = stop;
        expected = log.hasRateLine ? std::string() : std::string(kMarkOpen) + "n" + kMarkClose + kRight;
        return false;
    }
    return true;
}

std::string rateText(int right, int judged)
{
    std::string rate = formatRate(right, judged);
    rate.erase(0, rate.find_first_not_of(' '));
    std::replace(rate.begin(), rate.end(), ',', '.');
    return rate;
}

std::vector<LogFinding> checkResultLog(const ReadLog& log, std::string_view subjectName)
{
    std::vector<LogFinding> findings;
    if (log.name != subjectName) {
        LogFinding f;
        f.kind = LogFinding::NameDiffers;
        f.text = std::string(subjectName);
        f.other = log.name;
        findings.push_back(f);
    }
    for (std::size_t i = 0; i < log.marks.size(); ++i) {
        const int expected = static_cast<int>(i) + 1;
        if (log.marks[i].number != expected) {
            LogFinding f;
            f.kind = LogFinding::MarkOutOfOrder;
            f.expected = expected;
            f.found = log.marks[i].number;
            findings.push_back(f);
            break;
        }
    }
    auto outOfRange = [&findings](LogFinding::Kind kind, int value) {
        LogFinding f;
        f.kind = kind;
        f.found = value;
        findings.push_back(f);
    };
    if (log.questionCount < 1)
        outOfRange(LogFinding::CountOutOfRange, log.questionCount);
    if (log.life < 0)
        outOfRange(LogFinding::LifeOutOfRange, log.life);
    if (log.timeLimit < 0)
        outOfRange(LogFinding::TimeLimitOutOfRange, log.timeLimit);
    const int judged = static_cast<int>(std::min<std::size_t>(log.marks.size(), INT_MAX));
    const int right = log.rightAnswers();
    if (judged != log.questionCount) {
        LogFinding f;
        f.kind = LogFinding::MarkCountDiffers;
        f.expected = log.questionCount;
        f.found = judged;
        findings.push_back(f);
    }
    if (log.life > 0 && judged - right > log.life) {
        LogFinding f;
        f.kind = LogFinding::TooManyMisses;
        f.expected = log.life;
        f.found = judged - right;
        findings.push_back(f);
    }
    if (!log.hasRateLine) {
        LogFinding f;
        f.kind = LogFinding::NoRateLine;
        findings.push_back(f);
    } else {
        const std::string computed = rateText(right, judged);
        if (computed != log.rate) {
            LogFinding f;
            f.kind = LogFinding::RateDiffers;
            f.text = computed;
            f.other = log.rate;
            findings.push_back(f);
        }
    }
    return findings;
}

ReadReport readReportMail(std::string_view subject, std::string_view body)
{
    ReadReport out;
    subject = trimmed(subject);
    const std::string_view content = trimmed(body);

    if (subject == kTestMailTitle) {
        out.kind = MailKind::Test;
        if (content != kTestMailTitle)
            out.problem = ReadReport::Problem::TestBody;
        return out;
    }
    const bool start = endsWith(subject, kStarted);
    const bool result = !start && endsWith(subject, kFinished);
    const std::size_t labelSize = std::string_view(kNameLabel).size();
    const std::size_t endingSize = std::string_view(start ? kStarted : kFinished).size();
    if (!startsWith(subject, kNameLabel) || (!start && !result) || subject.size() < labelSize + endingSize) {
        out.problem = ReadReport::Problem::NotReport;
        return out;
    }
    out.name = std::string(subject.substr(labelSize, subject.size() - labelSize - endingSize));
    if (start) {
        out.kind = MailKind::Start;
        if (content != kTestStart)
            out.problem = ReadReport::Problem::StartBody;
        return out;
    }
    out.kind = MailKind::Result;
    if (!readResultLog(body, out.log, out.problemLine, out.expected))
        out.problem = ReadReport::Problem::LogLine;
    return out;
}

} // namespace mail
