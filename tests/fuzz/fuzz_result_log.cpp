// The reader of the report mails on any bytes (the first line the subject,
// the rest the body): never crashes, and a result log it reads, written again
// by the result log's own writer, reads back to the same fields (the name
// without control characters, which the writer leaves out).

#include "reportmail/MailMessage.h"
#include "reportmail/MailTexts.h"
#include "reportmail/ReportMailReader.h"
#include "reportmail/ResultLog.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool sameLog(const mail::ReadLog& a, const mail::ReadLog& b)
{
    if (a.questionFile != b.questionFile || a.name != b.name || a.questionCount != b.questionCount ||
        a.life != b.life || a.timeLimit != b.timeLimit || a.hasRateLine != b.hasRateLine || a.rate != b.rate ||
        a.marks.size() != b.marks.size())
        return false;
    for (std::size_t i = 0; i < a.marks.size(); ++i)
        if (a.marks[i].number != b.marks[i].number || a.marks[i].right != b.marks[i].right)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = bytes.find('\n');
    const std::string subject = cut == std::string::npos ? bytes : bytes.substr(0, cut);
    const std::string body = cut == std::string::npos ? std::string() : bytes.substr(cut + 1);

    const mail::ReadReport report = mail::readReportMail(subject, body);
    if (report.kind == mail::MailKind::Result && report.problem == mail::ReadReport::Problem::None)
        (void)mail::checkResultLog(report.log, report.name);

    mail::ReadLog log;
    int line = 0;
    std::string expected;
    if (!mail::readResultLog(body, log, line, expected)) {
        // A refusal always names a line of the text.
        if (line < 1)
            std::abort();
        return 0;
    }
    ResultLog written;
    written.writeHeader(log.questionFile, log.name, log.questionCount, log.life, log.timeLimit);
    for (const mail::ReadLog::Mark& mark : log.marks)
        written.appendResultLine(mark.number, mark.right ? 0 : 1);
    std::string text = written.text();
    if (log.hasRateLine)
        text += std::string(mailtext::kRateLabel) + log.rate + mailtext::kPercent + mailtext::kCrLf;
    // The writer keeps a name on its line: control characters are not
    // written back.
    mail::ReadLog want = log;
    want.name = mail::withoutControls(log.name);
    mail::ReadLog again;
    if (!mail::readResultLog(text, again, line, expected) || !sameLog(want, again))
        std::abort();
    (void)mail::checkResultLog(log, subject);
    return 0;
}
