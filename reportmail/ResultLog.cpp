#include "ResultLog.h"

#include "reportmail/MailMessage.h"
#include "reportmail/MailTexts.h"

#include <charconv>

using namespace mailtext;

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
    m_text += kMarkOpen + std::to_string(asked) + kMarkClose + (result == 0 ? kRight : kWrong) + kCrLf;
}

void ResultLog::appendRateLine(int correct, int asked)
{
    m_text += kRateLabel + formatRate(correct, asked) + kPercent + kCrLf;
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
