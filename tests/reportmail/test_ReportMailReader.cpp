// Reading the report mails back: what the writer writes is read as it was
// meant, disagreements inside a result log are found, and anything else is
// refused with the line that does not fit.

#include "TestSupport.h"
#include "reportmail/ReportMail.h"
#include "reportmail/ReportMailReader.h"
#include "reportmail/ResultLog.h"
#include "support/ReportMails.h"

#include <QFile>
#include <QTest>
#include <cstring>

using mail::LogFinding;
using mail::MailKind;
using mail::ReadReport;

Q_DECLARE_METATYPE(std::string)

namespace {

std::string lfOnly(std::string text)
{
    std::string out;
    for (char c : text)
        if (c != '\r')
            out += c;
    return out;
}

QList<int> kinds(const std::vector<LogFinding>& findings)
{
    QList<int> out;
    for (const LogFinding& f : findings)
        out << f.kind;
    return out;
}

} // namespace

class TestReportMailReader : public QObject {
    Q_OBJECT
private slots:
    void readsWhatTheWriterWrites_data()
    {
        QTest::addColumn<std::string>("name");
        QTest::addColumn<bool>("lineFeedsOnly");
        QTest::newRow("Japanese name") << sj("試験太郎") << false;
        QTest::newRow("name ending like a subject") << sj("山田 終了") << false;
        QTest::newRow("empty name, LF line ends") << std::string() << true;
    }
    void readsWhatTheWriterWrites()
    {
        QFETCH(std::string, name);
        QFETCH(bool, lineFeedsOnly);
        auto body = [&](const std::string& text) { return lineFeedsOnly ? lfOnly(text) : text; };

        const ReadReport start = mail::readReportMail(mail::subjectFor(mail::kStartMail, name),
                                                      body(mail::fixedBodyFor(mail::kStartMail)));
        QCOMPARE(start.problem, ReadReport::Problem::None);
        QCOMPARE(start.kind, MailKind::Start);
        QCOMPARE(start.name, name);

        const ReadReport test = mail::readReportMail(mail::subjectFor(mail::kTestMail, name),
                                                     body(mail::fixedBodyFor(mail::kTestMail)));
        QCOMPARE(test.kind, MailKind::Test);
        QCOMPARE(test.problem, ReadReport::Problem::None);

        // A run of 4 of 5 questions stopped by the misses, and its mail.
        ResultLog log;
        log.writeHeader(sj("問題\\第1回.txt"), name, 5, 2, 15);
        log.appendResultLine(1, 0);
        log.appendResultLine(2, 1);
        log.appendResultLine(3, 0);
        log.appendResultLine(4, 1);
        log.appendResultLine(5, 0);
        log.appendRateLine(3, 5);
        const ReadReport result =
            mail::readReportMail(mail::subjectFor(mail::kResultMail, name), body(log.text()) + "\r\n\r\n");
        QCOMPARE(result.problem, ReadReport::Problem::None);
        QCOMPARE(result.kind, MailKind::Result);
        QCOMPARE(result.name, name);
        QCOMPARE(result.log.questionFile, sj("問題\\第1回.txt"));
        QCOMPARE(result.log.name, name);
        QCOMPARE(result.log.questionCount, 5);
        QCOMPARE(result.log.life, 2);
        QCOMPARE(result.log.timeLimit, 15);
        QCOMPARE(result.log.marks.size(), std::size_t(5));
        QCOMPARE(result.log.marks[3].number, 4);
        QVERIFY(!result.log.marks[3].right);
        QCOMPARE(result.log.rightAnswers(), 3);
        QVERIFY(result.log.hasRateLine);
        QCOMPARE(result.log.rate, std::string("60.0"));
        QVERIFY(mail::checkResultLog(result.log, name).empty());
    }

    void findings_data()
    {
        QTest::addColumn<std::string>("log");
        QTest::addColumn<std::string>("subjectName");
        QTest::addColumn<QList<int>>("expected");
        const std::string name = sj("花子");
        const std::string good = reportmails::resultLog(name, "*-*");
        auto replaced = [&good](const char* from, const char* to) {
            std::string s = good;
            s.replace(s.find(from), std::strlen(from), to);
            return s;
        };
        QTest::newRow("consistent") << good << name << QList<int>();
        QTest::newRow("another name in the subject") << good << sj("太郎") << QList<int>{LogFinding::NameDiffers};
        QTest::newRow("a mark out of order") << replaced(" (2):-", " (7):-") << name
                                             << QList<int>{LogFinding::MarkOutOfOrder};
        QTest::newRow("fewer marks than the count")
            << reportmails::resultLog(name, "*-*", 4) << name << QList<int>{LogFinding::MarkCountDiffers};
        QTest::newRow("more misses than allowed")
            << reportmails::resultLog(name, "*--", 3, 1) << name << QList<int>{LogFinding::TooManyMisses};
        QTest::newRow("no rate line") << reportmails::resultLog(name, "*-*", -1, 3, 10, false) << name
                                      << QList<int>{LogFinding::NoRateLine};
        QTest::newRow("rate line disagrees") << replaced("66.7%", "70.0%") << name
                                             << QList<int>{LogFinding::RateDiffers};
        QTest::newRow("a decimal comma is the same rate") << replaced("66.7%", "66,7%") << name << QList<int>();
        // Numbers no run writes into a result mail.
        QTest::newRow("count 0") << reportmails::resultLog(name, "", 0) << name
                                 << QList<int>{LogFinding::CountOutOfRange};
        QTest::newRow("negative allowance and time limit")
            << reportmails::resultLog(name, "*-*", 3, -1, -10) << name
            << QList<int>{LogFinding::LifeOutOfRange, LogFinding::TimeLimitOutOfRange};
    }
    void findings()
    {
        QFETCH(std::string, log);
        QFETCH(std::string, subjectName);
        QFETCH(QList<int>, expected);
        const ReadReport read = mail::readReportMail(mail::subjectFor(mail::kResultMail, subjectName), log);
        QCOMPARE(read.problem, ReadReport::Problem::None);
        const std::vector<LogFinding> found = mail::checkResultLog(read.log, subjectName);
        QCOMPARE(kinds(found), expected);
        if (expected == QList<int>{LogFinding::RateDiffers}) {
            QCOMPARE(found[0].text, std::string("66.7"));
            QCOMPARE(found[0].other, std::string("70.0"));
        }
        if (expected == QList<int>{LogFinding::MarkOutOfOrder}) {
            QCOMPARE(found[0].expected, 2);
            QCOMPARE(found[0].found, 7);
        }
    }

    void refusals_data()
    {
        QTest::addColumn<std::string>("subject");
        QTest::addColumn<std::string>("body");
        QTest::addColumn<int>("problem");
        QTest::addColumn<int>("line");
        QTest::addColumn<std::string>("expected");
        const std::string name = sj("花子");
        const std::string resultSubject = mail::subjectFor(mail::kResultMail, name);
        const std::string good = reportmails::resultLog(name, "*-*");
        using P = ReadReport::Problem;
        QTest::newRow("another subject") << std::string("Re: ") + resultSubject << good << int(P::NotReport) << 0
                                         << std::string();
        QTest::newRow("start mail, other body") << mail::subjectFor(mail::kStartMail, name) << std::string("hello")
                                                << int(P::StartBody) << 0 << std::string();
        QTest::newRow("test mail, other body") << mail::subjectFor(mail::kTestMail, name) << good << int(P::TestBody)
                                               << 0 << std::string();
        std::string count = good;
        count.replace(count.find(sj("3題")), sj("3題").size(), sj("三題"));
        QTest::newRow("count not a number") << resultSubject << count << int(P::LogLine) << 3
                                            << sj("【出題数】:n題");
        std::string overflow = good;
        overflow.replace(overflow.find(sj("10秒")), sj("10秒").size(), sj("99999999999秒"));
        QTest::newRow("time limit beyond an int") << resultSubject << overflow << int(P::LogLine) << 5
                                                  << sj("【制限時間】:n秒");
        std::string gap = good;
        gap.insert(gap.find(" (2)"), "\r\n");
        QTest::newRow("blank line among the marks") << resultSubject << gap << int(P::LogLine) << 8
                                                    << sj(" (n):*");
        QTest::newRow("text after the rate line") << resultSubject << good + "--\r\nsent from my phone\r\n"
                                                  << int(P::LogLine) << 11 << std::string();
        QTest::newRow("header only, cut short") << resultSubject << good.substr(0, good.find(sj("【ミス")))
                                                << int(P::LogLine) << 4 << sj("【ミス許容数】:n回");
        QTest::newRow("empty body") << resultSubject << std::string() << int(P::LogLine) << 1
                                    << sj("【問題】:...");
    }
    void refusals()
    {
        QFETCH(std::string, subject);
        QFETCH(std::string, body);
        QFETCH(int, problem);
        QFETCH(int, line);
        QFETCH(std::string, expected);
        const ReadReport read = mail::readReportMail(subject, body);
        QCOMPARE(int(read.problem), problem);
        QCOMPARE(read.problemLine, line);
        QCOMPARE(read.expected, expected);
    }

    // A body of millions of lines costs little more than the body itself.
    void longBodyInBoundedMemory()
    {
        std::string body = reportmails::resultLog(sj("花子"), "*-*") + std::string(10u << 20, '\n');
        auto peakKb = [](const char* field) {
            QFile status(QStringLiteral("/proc/self/status"));
            status.open(QIODevice::ReadOnly);
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith(field))
                    return line.mid(std::strlen(field)).trimmed().split(' ').first().toLongLong();
            return 0LL;
        };
        QFile reset(QStringLiteral("/proc/self/clear_refs"));
        if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1)
            QSKIP("the peak memory cannot be reset here");
        reset.close();
        const long long before = peakKb("VmRSS:");
        mail::ReadLog log;
        int line = 0;
        std::string expected;
        QVERIFY(mail::readResultLog(body, log, line, expected));
        QCOMPARE(log.marks.size(), std::size_t(3));
        const long long grown = peakKb("VmHWM:") - before;
        QVERIFY2(grown < 64 * 1024, qPrintable(QString::number(grown) + " KB"));
    }
};

QTEST_APPLESS_MAIN(TestReportMailReader)
#include "test_ReportMailReader.moc"
