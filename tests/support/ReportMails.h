#pragma once
// Whole report mails as the program sends them (the same composition and
// message code), for tests and the benchmark that read them back.

#include "core/ShiftJis.h"
#include "report/MailMessage.h"
#include "report/ReportMail.h"
#include "run/ResultLog.h"

#include <ctime>
#include <string>

namespace reportmails {

inline std::string message(const std::string& from, const std::string& subjectCp932, const std::string& bodyCp932,
                           std::time_t when)
{
    mail::MessageParts parts;
    parts.from = from;
    parts.to = {"boss@centre.example"};
    parts.subjectUtf8 = sjis::toUtf8(subjectCp932);
    parts.bodyUtf8 = sjis::toUtf8(bodyCp932);
    parts.date = mail::formatDate(when);
    parts.messageId = mail::makeMessageId(from, when);
    return mail::buildMessage(parts);
}

inline std::string start(const std::string& from, const std::string& name, std::time_t when)
{
    return message(from, mail::subjectFor(mail::kStartMail, name), mail::fixedBodyFor(mail::kStartMail), when);
}

inline std::string test(const std::string& from, std::time_t when)
{
    return message(from, mail::subjectFor(mail::kTestMail, ""), mail::fixedBodyFor(mail::kTestMail), when);
}

// The result log of a run: marks is one character per judged question, "*"
// right and "-" wrong; with rateLine the rate line the result mail adds.
inline std::string resultLog(const std::string& name, const std::string& marks, int count = -1, int life = 3,
                             int timeLimit = 10, bool rateLine = true, const std::string& file = "sample0524.txt")
{
    ResultLog log;
    log.writeHeader(file, name, count < 0 ? static_cast<int>(marks.size()) : count, life, timeLimit);
    int right = 0;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        log.appendResultLine(static_cast<int>(i) + 1, marks[i] == '*' ? 0 : 1);
        right += marks[i] == '*';
    }
    if (rateLine)
        log.appendRateLine(right, static_cast<int>(marks.size()));
    return log.text();
}

inline std::string result(const std::string& from, const std::string& name, const std::string& marks, std::time_t when)
{
    return message(from, mail::subjectFor(mail::kResultMail, name), resultLog(name, marks), when);
}

} // namespace reportmails
