#include "ResultLog.h"

#include "report/MailMessage.h"

#include <charconv>

namespace {
// Shift-JIS texts of the log.
const char* const kQuestionLabel = "\x81\x79\x96\xE2\x91\xE8\x81\x7A:";           // 【問題】:
const char* const kNameLabel = "\x81\x79\x8E\x81\x96\xBC\x81\x7A:";               // 【氏名】:
const char* const kCountLabel = "\x81\x79\x8F\x6F\x91\xE8\x90\x94\x81\x7A:";      // 【出題数】:
const char* const kCountUnit = "\x91\xE8";                                        // 題
const char* const kLifeLabel = "\x81\x79\x83\x7E\x83\x58\x8B\x96\x97\x65\x90\x94\x81\x7A:"; // 【ミス許容数】:
const char* const kLifeUnit = "\x89\xF1";                                         // 回
const char* const kTimeLabel = "\x81\x79\x90\xA7\x8C\xC0\x8E\x9E\x8A\xD4\x81\x7A:"; // 【制限時間】:
const char* const kTimeUnit = "\x95\x62";                                         // 秒
const char* const kResultHeading = "\x81\x79\x8C\x8B\x89\xCA *\x90\xB3\x89\xF0, -\x95\x73\x90\xB3\x89\xF0\x81\x7A"; // 【結果 *正解, -不正解】
const char* const kRateLabel = "\x81\x79\x90\xB3\x89\xF0\x97\xA6\x81\x7A\x81\x46"; // 【正解率】：
const char* const kCrLf = "\r\n";
} // namespace

void ResultLog::writeHeader(const std::string& questionFile, const std::string& name, int questionCount, int life,
                            int timeLimit)
{
    m_text += kQuestionLabel + questionFile + kCrLf;
    // The name comes from a one-line field, yet a pasted text may carry line
    // breaks: they must not add lines to the log the supervisor reads. The
    // name stands here as it stands in the mail's subject.
    m_text += kNameLabel + mail::withoutControls(name) + kCrLf;
    m_text += kCountLabel + std::to_string(questionCount) + kCountUnit + kCrLf;
    m_text += kLifeLabel + std::to_string(life) + kLifeUnit + kCrLf;
    m_text += kTimeLabel + std::to_string(timeLimit) + kTimeUnit + kCrLf;
    m_text += std::string(kResultHeading) + kCrLf;
}

void ResultLog::appendResultLine(int asked, int result)
{
    m_text += " (" + std::to_string(asked) + "):" + (result == 0 ? "*" : "-") + kCrLf;
}

void ResultLog::appendRateLine(int correct, int asked)
{
    m_text += kRateLabel + formatRate(correct, asked) + "%" + kCrLf;
}

std::string formatRate(int correct, int asked)
{
    // With nothing judged there is no rate to speak of; it reads as 0.0.
    const double rate = asked != 0 ? static_cast<double>(correct) / asked * 100.0 : 0.0;
    // "%4.1f" in the C locale: a decimal point whatever the user's locale,
    // which printf would follow.
    char buffer[400];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, rate, std::chars_format::fixed, 1).ptr;
    std::string text(buffer, end);
    if (text.size() < 4)
        text.insert(0, 4 - text.size(), ' ');
    return text;
}

ResultLog& resultLog()
{
    static ResultLog log;
    return log;
}
