// The roster's reading of received mails: MIME in every encoding Japanese
// mail software uses, and the pairing of start and result mails into rows.

#include "TestSupport.h"
#include "roster/ImapProtocol.h"
#include "roster/MailCharset.h"
#include "roster/MimeMail.h"
#include "reportmail/ReportMailReader.h"
#include "roster/Roster.h"
#include "roster/RosterOutput.h"
#include "support/ReportMails.h"

#include <QElapsedTimer>
#include <QTest>

#include <cstring>
#include <functional>
#include <thread>

using roster::Roster;
using roster::RosterBuilder;
using roster::State;

Q_DECLARE_METATYPE(std::string)

namespace {

const std::time_t t0 = 1796000000; // a Monday morning in 2026

std::string base64(const std::string& bytes)
{
    return QByteArray::fromStdString(bytes).toBase64().toStdString();
}

std::string handMade(const std::string& subjectHeader, const std::string& contentType, const std::string& encoding,
                     const std::string& body, const char* id)
{
    return "From: =?ISO-2022-JP?B?GyRCO24wdRsoQg==?= <pc7@centre.example>\r\n"
           "To: boss@centre.example\r\n"
           "Date: Mon, 30 Nov 2026 09:15:00 +0900\r\n"
           "Message-ID: <" + std::string(id) + "@centre.example>\r\n"
           "Subject: " + subjectHeader + "\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: " + contentType + "\r\n"
           "Content-Transfer-Encoding: " + encoding + "\r\n"
           "\r\n" + body;
}

struct Read {
    roster::ParsedMail parsed;
    mail::ReadReport report;
};

Read readMail(const std::string& raw)
{
    Read read;
    std::string problem;
    if (!roster::parseMail(raw, read.parsed, problem))
        qWarning("%s", problem.c_str());
    read.report = mail::readReportMail(read.parsed.subject, read.parsed.body);
    return read;
}

// The mail with another Date header (a PC in another time zone).
std::string dated(std::string raw, const std::string& date)
{
    const std::size_t at = raw.find("Date: ");
    raw.replace(at, raw.find("\r\n", at) - at, "Date: " + date);
    return raw;
}

std::string messageIdOf(const std::string& raw)
{
    const std::size_t at = raw.find("Message-ID: <") + 13;
    return raw.substr(at, raw.find('>', at) - at);
}

// An IMAP server inside the test, on the far side of a stand-in connection:
// it answers each command through `answer`, hands its bytes out `chunk` at
// a time, and takes `delayMs` before each answer.
class ScriptedServer : public roster::ImapConnection {
public:
    std::function<std::string(const std::string& tag, const std::string& command)> answer;
    std::size_t chunk = 65536;
    int delayMs = 0;
    QStringList commands;

    Io send(std::string_view bytes, roster::ImapClock::time_point) override
    {
        const std::string line(bytes.substr(0, bytes.size() - 2));
        commands << QString::fromStdString(line);
        const std::size_t space = line.find(' ');
        m_pending.erase(0, m_pos);
        m_pos = 0;
        m_pending += answer(line.substr(0, space), line.substr(space + 1));
        m_fresh = true;
        return Io::Ok;
    }
    Io receive(char* buffer, std::size_t size, std::size_t& received, roster::ImapClock::time_point deadline) override
    {
        if (m_fresh && delayMs > 0) {
            const auto ready = roster::ImapClock::now() + std::chrono::milliseconds(delayMs);
            std::this_thread::sleep_until(std::min(ready, deadline));
            if (ready > deadline)
                return Io::TimedOut;
        }
        m_fresh = false;
        if (m_pos >= m_pending.size())
            return Io::Closed;
        received = std::min({size, chunk, m_pending.size() - m_pos});
        std::memcpy(buffer, m_pending.data() + m_pos, received);
        m_pos += received;
        return Io::Ok;
    }

private:
    std::string m_pending;
    std::size_t m_pos = 0;
    bool m_fresh = false;
};

QStringList states(const Roster& r)
{
    QStringList out;
    for (const roster::Row& row : r.rows)
        out << QString::fromStdString(row.pc) + QLatin1Char(' ') + QString::fromStdString(sjis::toUtf8(row.name)) +
                   QLatin1Char(' ') + QString::fromUtf8(roster::stateText(row.state));
    return out;
}

} // namespace

class TestRosterMails : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("TZ", "Asia/Tokyo"); tzset(); }

    // The same result mail in every encoding reads to the same log, with
    // names that only code page 932 holds (髙, ①).
    void encodings_data()
    {
        QTest::addColumn<std::string>("raw");
        const std::string name = sj("髙橋①子");
        const std::string subject = mail::subjectFor(mail::kResultMail, name);
        const std::string log = reportmails::resultLog(name, "*-*-");

        QTest::newRow("as sent by the program") << reportmails::message("pc7@centre.example", subject, log, t0);
        std::string lf = reportmails::message("pc7@centre.example", subject, log, t0);
        for (std::size_t p; (p = lf.find("\r\n")) != std::string::npos;)
            lf.erase(p, 1);
        QTest::newRow("as sent, LF line ends") << lf;

        QTest::newRow("ISO-2022-JP, quoted-printable")
            << handMade("=?ISO-2022-JP?B?" + base64(reportmails::toIso2022jp(subject)) + "?=",
                        "text/plain; charset=ISO-2022-JP", "quoted-printable", reportmails::quotedPrintable(reportmails::toIso2022jp(log)),
                        "jis");
        QTest::newRow("ISO-2022-JP, 7bit")
            << handMade("=?iso-2022-jp?B?" + base64(reportmails::toIso2022jp(subject)) + "?=",
                        "text/plain; charset=\"iso-2022-jp\"", "7bit", reportmails::toIso2022jp(log), "jis7");
        // Two words that cut a character in half, as some mailers do.
        QTest::newRow("Shift_JIS, quoted-printable") // the cut halves 髙
            << handMade("=?Shift_JIS?B?" + base64(subject.substr(0, 10)) + "?=\r\n =?Shift_JIS?B?" +
                            base64(subject.substr(10)) + "?=",
                        "text/plain; charset=Shift_JIS", "quoted-printable", reportmails::quotedPrintable(log), "sjis");
        QTest::newRow("Shift_JIS, Q words, 8bit")
            << handMade("=?shift_jis?Q?" + QByteArray::fromStdString(reportmails::quotedPrintable(subject))
                                                 .replace("=20", "_")
                                                 .toStdString() +
                            "?=",
                        "text/plain; charset=shift_jis", "8bit",
                        log, "sjisq");
        // One subject in words of two charsets, each decoded as its own.
        const std::string firstHalf = subject.substr(0, subject.find(sj("①")));
        QTest::newRow("ISO-2022-JP and UTF-8 words in one subject")
            << handMade("=?ISO-2022-JP?B?" + base64(reportmails::toIso2022jp(firstHalf)) + "?= =?UTF-8?B?" +
                            base64(sjis::toUtf8(subject.substr(firstHalf.size()))) + "?=",
                        "text/plain; charset=UTF-8", "8bit", sjis::toUtf8(log), "mixed");
        QTest::newRow("UTF-8, 8bit, in a multipart")
            << handMade("=?UTF-8?B?" + base64(sjis::toUtf8(subject)) + "?=",
                        "multipart/alternative; boundary=\"b1\"", "7bit",
                        "--b1\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n<p>x</p>\r\n"
                        "--b1\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
                            sjis::toUtf8(log) + "\r\n--b1--\r\n",
                        "utf8");
    }
    void encodings()
    {
        QFETCH(std::string, raw);
        const Read read = readMail(raw);
        QCOMPARE(read.parsed.from, std::string("pc7@centre.example"));
        QVERIFY(read.parsed.hasDate);
        QCOMPARE(read.report.problem, mail::ReadReport::Problem::None);
        QCOMPARE(read.report.kind, mail::MailKind::Result);
        QCOMPARE(read.report.name, sj("髙橋①子"));
        QCOMPARE(read.report.log.name, sj("髙橋①子"));
        QCOMPARE(read.report.log.questionFile, std::string("sample0524.txt"));
        QCOMPARE(read.report.log.marks.size(), std::size_t(4));
        QCOMPARE(read.report.log.rightAnswers(), 2);
        QCOMPARE(read.report.log.rate, std::string("50.0"));
    }

    void pairsStartsWithTheirResults()
    {
        RosterBuilder builder;
        const std::string taro = sj("太郎");
        const std::string hanako = sj("花子");
        // Mails come in any order; the dates decide. A mail that is skipped
        // does not count as seen, whatever Message-ID it carries.
        const std::string first = reportmails::result("pc1@centre.example", taro, "**-", t0 + 300);
        builder.add("0", "From: x@example.org\r\nMessage-ID: <" + messageIdOf(first) +
                             ">\r\nSubject: hello\r\n\r\nhi\r\n");
        builder.add("1", first);
        builder.add("2", reportmails::start("pc1@centre.example", taro, t0));
        builder.add("3", reportmails::start("pc2@centre.example", taro, t0 + 10));     // another PC, no result
        builder.add("4", reportmails::start("PC1@Centre.example", hanako, t0 + 20));   // another name, same PC
        builder.add("5", reportmails::result("pc1@centre.example", hanako, "***", t0 + 400));
        builder.add("6", reportmails::result("pc3@centre.example", sj("次郎"), "*", t0 + 50)); // no start
        builder.add("7", reportmails::test("pc1@centre.example", t0 - 100));
        builder.add("8", reportmails::test("pc2@centre.example", t0 - 90));
        // The name again on the first PC: a start given up, a new start, its result.
        builder.add("9", reportmails::start("pc1@centre.example", taro, t0 + 1000));
        builder.add("10", reportmails::start("pc1@centre.example", taro, t0 + 1100));
        const std::string last = reportmails::result("pc1@centre.example", taro, "*-", t0 + 1500);
        builder.add("11", last);
        builder.add("11 again", last);
        const Roster r = builder.finish();

        QCOMPARE(states(r), QStringList({"pc1@centre.example 太郎 完了", "pc2@centre.example 太郎 未完了",
                                         "PC1@Centre.example 花子 完了", "pc3@centre.example 次郎 開始メールなし",
                                         "pc1@centre.example 太郎 未完了", "pc1@centre.example 太郎 完了"}));
        // A row has the start mail's time and the result mail's figures.
        QCOMPARE(roster::formatLocalTime(r.rows[0].utcSeconds, r.rows[0].offsetMinutes),
                 std::string("2026-11-30 09:53:20"));
        QCOMPARE(r.rows[0].judged, 3);
        QCOMPARE(r.rows[0].right, 2);
        QCOMPARE(r.rows[0].rate, std::string("66.7"));
        QCOMPARE(r.rows[5].utcSeconds, std::int64_t(t0 + 1100));
        QCOMPARE(r.rows[5].rate, std::string("50.0"));
        QCOMPARE(r.rows[3].utcSeconds, std::int64_t(t0 + 50));
        QVERIFY(!r.rows[1].hasLog);
        QCOMPARE(r.counts.mails, 13);
        QCOMPARE(r.counts.finished, 3);
        QCOMPARE(r.counts.notFinished, 2);
        QCOMPARE(r.counts.resultWithoutStart, 1);
        QCOMPARE(r.counts.testMails, 2);
        QCOMPARE(r.counts.duplicates, 1);
        QCOMPARE(r.counts.skipped, 1);
        QCOMPARE(r.skipped[0].origin, std::string("0"));
    }

    void skipsWhatCannotBeUnderstood()
    {
        RosterBuilder builder(t0);
        const std::string name = sj("太郎");
        std::string broken = reportmails::result("pc1@centre.example", name, "*", t0 + 5);
        const std::size_t body = broken.find("\r\n\r\n") + 4;
        broken.replace(body, std::string::npos, "gARBage!!base64\r\n");
        builder.add("UID 4", broken);
        builder.add("UID 5", "not a mail at all");
        builder.add("UID 6", reportmails::start("pc1@centre.example", name, t0 - 1)); // before --since
        builder.add("UID 7", reportmails::start("pc1@centre.example", name, t0 + 1));
        builder.add("UID 8", reportmails::start("pc2@centre.example", name, t0)); // exactly at it
        const Roster r = builder.finish();

        QCOMPARE(r.counts.skipped, 2);
        QCOMPARE(r.skipped[0].origin, std::string("UID 4"));
        const std::size_t idStart = broken.find("Message-ID: <") + 13;
        QCOMPARE(r.skipped[0].messageId, broken.substr(idStart, broken.find('>', idStart) - idStart));
        QVERIFY2(r.skipped[0].reason.find("line 1") != std::string::npos, r.skipped[0].reason.c_str());
        QCOMPARE(r.skipped[1].origin, std::string("UID 5"));
        QCOMPARE(r.counts.beforeSince, 1);
        QCOMPARE(states(r), QStringList({"pc2@centre.example 太郎 未完了", "pc1@centre.example 太郎 未完了"}));
    }

    // What a sender can put into a mail: headers that take long to decode,
    // control characters, numbers no program writes, a mail too large.
    void hostileMails()
    {
        // Every "=?" opens what could be an encoded word: reading them stays
        // linear in the header's length.
        std::string header;
        while (header.size() < 10u << 20)
            header += "=?x?B?a";
        QElapsedTimer timer;
        timer.start();
        const std::string decoded = roster::decodeHeaderText(header);
        const qint64 ms = timer.elapsed();
        QCOMPARE(decoded.size(), header.size());
#if defined(__SANITIZE_ADDRESS__)
        QVERIFY2(ms < 10000, qPrintable(QString::number(ms)));
#else
        QVERIFY2(ms < 1000, qPrintable(QString::number(ms)));
#endif

        RosterBuilder builder;
        // A name with the escape sequences of a terminal, a rate line far
        // beyond 100 and counts no run writes.
        const std::string name = "\x1B]0;owned\x07\x1B[2J" + sj("次郎");
        std::string log = reportmails::resultLog(name, "*-", 2, 1, 10);
        log.replace(log.find("50.0%"), 5, "99999999999999%");
        log.replace(log.find(sj("1回")), sj("1回").size(), sj("-1回"));
        log.replace(log.find(sj("10秒")), sj("10秒").size(), sj("-5秒"));
        builder.add("UID 1", handMade("=?UTF-8?B?" + base64(sjis::toUtf8(mail::subjectFor(mail::kResultMail, name))) +
                                          "?=",
                                      "text/plain; charset=UTF-8", "8bit", sjis::toUtf8(log), "controls"));
        std::string zero = reportmails::resultLog(sj("三郎"), "", 0);
        builder.add("UID 2", reportmails::message("pc2@centre.example",
                                                  mail::subjectFor(mail::kResultMail, sj("三郎")), zero, t0 + 1));
        builder.add("UID 3", std::string(roster::kMaxMailBytes + 1, 'x'));
        builder.add("UID 4", reportmails::start("pc3@centre.example", sj("<img src=x onerror=alert(1)>"), t0 + 2));
        const Roster r = builder.finish();

        QCOMPARE(r.rows.size(), std::size_t(3));
        QCOMPARE(r.counts.skipped, 1);
        QVERIFY2(r.skipped[0].reason.find("16 MiB") != std::string::npos, r.skipped[0].reason.c_str());
        const QStringList notes = QString::fromStdString(roster::rowCells(r.rows[0])[11]).split(QStringLiteral(" / "));
        QVERIFY2(notes.contains(QStringLiteral("ミス許容数 -1 回は負の値です")), qPrintable(notes.join('|')));
        QVERIFY2(notes.contains(QStringLiteral("制限時間 -5 秒は負の値です")), qPrintable(notes.join('|')));
        QVERIFY2(notes.contains(QStringLiteral("結果からは 50.0% ですが正解率の行は 99999999999999% です")),
                 qPrintable(notes.join('|')));
        QVERIFY(QString::fromStdString(roster::rowCells(r.rows[1])[11])
                    .contains(QStringLiteral("出題数 0 題の試験は終了メールを送りません")));

        // No control character reaches a cell, in CSV or HTML; the chart
        // puts the rate past 100 into its last bar.
        for (const std::string& out : {roster::rosterCsv(r, false), roster::rosterHtml(r, "INBOX\x1B[2J")}) {
            for (char c : out)
                QVERIFY2(static_cast<unsigned char>(c) >= 0x20 || c == '\r' || c == '\n', qPrintable(QString::number(c)));
            QVERIFY(QString::fromStdString(out).contains(QStringLiteral("␛]0;owned␇␛[2J次郎")));
        }
        // Markup is text; the page's policy allows no script but its own,
        // which it names by its hash (a browser runs it: test_roster_program).
        const std::string page = roster::rosterHtml(r, "INBOX");
        QVERIFY(page.find("<title>90–100%: 1</title>") != std::string::npos);
        QVERIFY(page.find("<td>&lt;img src=x onerror=alert(1)&gt;</td>") != std::string::npos);
        const std::size_t policy = page.find("Content-Security-Policy");
        QVERIFY(page.substr(policy, page.find('>', policy) - policy).find("unsafe") == std::string::npos);
    }

    // PCs in other time zones: the rows are in the order of the moments,
    // shown in the roster's own zone, and --since compares moments.
    void mixedTimeZones()
    {
        const std::string tokyo = dated(reportmails::start("pc1@centre.example", sj("太郎"), t0),
                                        "Mon, 07 Dec 2026 19:30:00 +0900"); // 10:30 UTC
        const std::string london = dated(reportmails::start("pc2@centre.example", sj("花子"), t0),
                                         "Mon, 07 Dec 2026 10:35:00 +0000"); // 19:35 in Tokyo
        const std::string newYork = dated(reportmails::start("pc3@centre.example", sj("次郎"), t0),
                                          "Mon, 07 Dec 2026 05:20:00 -0500"); // 19:20 in Tokyo
        auto times = [](const Roster& r) {
            QStringList out;
            for (const roster::Row& row : r.rows)
                out << QString::fromStdString(roster::rowCells(row)[0] + " " + row.pc);
            return out;
        };
        // Without --since, and with --since "2026-12-07 19:30" given in Tokyo.
        RosterBuilder all;
        RosterBuilder since(1796639400);
        for (const std::string* m : {&london, &tokyo, &newYork}) {
            all.add("m", *m);
            since.add("m", *m);
        }
        QCOMPARE(times(all.finish()), QStringList({"2026-12-07 19:20:00 pc3@centre.example",
                                                   "2026-12-07 19:30:00 pc1@centre.example",
                                                   "2026-12-07 19:35:00 pc2@centre.example"}));
        const Roster r = since.finish();
        QCOMPARE(times(r), QStringList({"2026-12-07 19:30:00 pc1@centre.example",
                                        "2026-12-07 19:35:00 pc2@centre.example"}));
        QCOMPARE(r.counts.beforeSince, 1);
        // The page sorts the time column by the moment (and shows offsets
        // where they differ: test_roster_program, in a browser).
        QVERIFY(roster::rosterHtml(r, "x").find("<td data-key=\"1796639400\">2026-12-07 19:30:00</td>") !=
                std::string::npos);
    }

    // The exchange after the login: sizes first, then batches of the mails
    // the roster reads, each asked for once; a mail too large is not fetched.
    void imapExchange()
    {
        const std::string mail = reportmails::start("pc1@centre.example", sj("太郎"), t0);
        ScriptedServer server;
        server.answer = [&mail](const std::string& tag, const std::string& command) -> std::string {
            if (command.rfind("EXAMINE", 0) == 0)
                return "* 5 EXISTS\r\n* OK [UIDVALIDITY 7] {ok}\r\n" + tag + " OK [READ-ONLY] done\r\n";
            if (command.rfind("FETCH 1:*", 0) == 0)
                return "* 1 FETCH (UID 3 RFC822.SIZE 20000000 INTERNALDATE \"07-Dec-2026 10:00:00 +0900\")\r\n"
                       "* 2 FETCH (UID 1 RFC822.SIZE 500 INTERNALDATE \" 7-Dec-2026 10:00:00 +0900\")\r\n"
                       "* 3 FETCH (FLAGS (\\Seen) UID 2 RFC822.SIZE 500 INTERNALDATE \"05-Dec-2026 09:59:59 +0900\")\r\n"
                       "* 4 FETCH (UID 9 RFC822.SIZE 500 INTERNALDATE \"06-Dec-2026 01:00:00 +0000\")\r\n"
                       "* 5 FETCH (UID 10 RFC822.SIZE 500 INTERNALDATE \"06-dec-2026 10:00:00 +0900\")\r\n" +
                       tag + " OK done\r\n";
            if (command.rfind("UID FETCH", 0) == 0) {
                std::string out;
                // Every mail of the set twice, and one not asked for.
                for (const char* uid : {"1", "9", "10", "1", "7"})
                    out += std::string("* 1 FETCH (UID ") + uid + " BODY[] {" + std::to_string(mail.size()) + "}\r\n" +
                           mail + ")\r\n";
                return out + tag + " OK done\r\n";
            }
            return "* BYE\r\n" + tag + " OK bye\r\n";
        };
        roster::ImapReading reading;
        reading.mailbox = "INBOX";
        reading.since = 1796605200; // 2026-12-07 00:00 in Tokyo: mails from 6 Dec 00:00 on
        reading.batchMails = 2;
        QStringList delivered;
        QStringList tooLarge;
        roster::SourceError error;
        const roster::MailSink sink(
            [&delivered](std::string_view origin, std::string_view bytes) {
                delivered << QString::fromUtf8(origin.data(), static_cast<int>(origin.size())) +
                                 QString::number(bytes.size());
            },
            [&tooLarge](std::string_view origin, std::uint64_t size) {
                tooLarge << QString::fromUtf8(origin.data(), static_cast<int>(origin.size())) + QLatin1Char(' ') +
                                QString::number(size);
            });
        QVERIFY2(roster::readMailbox(server, reading, sink, error), error.message.c_str());
        QCOMPARE(server.commands, QStringList({"r1 EXAMINE \"INBOX\"", "r2 FETCH 1:* (UID RFC822.SIZE INTERNALDATE)",
                                               "r3 UID FETCH 1,9 (UID BODY.PEEK[])", "r4 UID FETCH 10 (UID BODY.PEEK[])",
                                               "r5 LOGOUT"}));
        const QString size = QString::number(mail.size());
        QCOMPARE(delivered, QStringList({"UID 1" + size, "UID 9" + size, "UID 10" + size}));
        QCOMPARE(tooLarge, QStringList({"UID 3 20000000"}));
    }

    // A server that sends its bytes one at a time, or takes its time over
    // every answer: each byte is looked at once, and the whole session
    // keeps its deadline however many answers come in time.
    void imapLimits()
    {
        ScriptedServer server;
        server.chunk = 1;
        server.answer = [](const std::string& tag, const std::string& command) -> std::string {
            if (command.rfind("EXAMINE", 0) == 0)
                return "* OK " + std::string(roster::kMaxImapLineBytes - 100, 'x') + "\r\n* 0 EXISTS\r\n" + tag +
                       " OK done\r\n";
            return tag + " OK bye\r\n";
        };
        roster::ImapReading reading;
        reading.mailbox = "INBOX";
        roster::SourceError error;
        const roster::MailSink none([](std::string_view, std::string_view) {});
        QElapsedTimer timer;
        timer.start();
        QVERIFY2(roster::readMailbox(server, reading, none, error), error.message.c_str());
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));

        ScriptedServer slow;
        slow.delayMs = 20;
        slow.answer = [](const std::string& tag, const std::string& command) -> std::string {
            if (command.rfind("EXAMINE", 0) == 0)
                return "* 40 EXISTS\r\n" + tag + " OK done\r\n";
            std::string out;
            if (command.rfind("FETCH", 0) == 0)
                for (int i = 1; i <= 40; ++i)
                    out += "* " + std::to_string(i) + " FETCH (UID " + std::to_string(i) + " RFC822.SIZE 8000000)\r\n";
            return out + tag + " OK done\r\n";
        };
        reading.answerMs = 5000;
        reading.sessionDeadline = roster::ImapClock::now() + std::chrono::milliseconds(300);
        timer.restart();
        QVERIFY(!roster::readMailbox(slow, reading, none, error));
        QVERIFY2(error.message.find("took too long") != std::string::npos, error.message.c_str());
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(slow.commands.size() > 5 && slow.commands.size() < 40);
    }
};

QTEST_APPLESS_MAIN(TestRosterMails)
#include "test_roster_mails.moc"
