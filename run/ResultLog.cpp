#include "ResultLog.h"

#include "report/MailTexts.h"

#include <cstdio>

using namespace mailtext;

void ResultLog::writeHeader(const std::string& questionFile, const std::string& name, int questionCount, int life,
                            int timeLimit)
{
    m_text += kQuestionLabel + questionFile + kCrLf;
    m_text += kNameLabel + name + kCrLf;
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
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%4.1f", rate);
    return buffer;
}

ResultLog& resultLog()
{
    static ResultLog log;
    return log;
}
