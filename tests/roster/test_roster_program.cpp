// molvane-roster as a supervisor runs it: mails sent by the program's own
// mail code to an SMTP server, together with mails other mail software
// wrote, read from a real IMAP server (dovecot), a Maildir and an mbox file;
// the CSV read back by Python's csv module, the page opened in Chromium.

#include "TestSupport.h"
#include "reportmail/BSendMail.h"
#include "reportmail/ReportMail.h"
#include "roster/Roster.h"
#include "roster/RosterOutput.h"
#include "support/ImapTestServer.h"
#include "support/ReportMails.h"
#include "support/SmtpTestServer.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QString err;
    QByteArray rawErr;
    qint64 ms = 0;
    long long peakKb = 0; // with measured: the program's peak memory
};

// Runs the program; measured: through Python, which reports the peak
// memory of its one child on the last line of standard error.
Result runRoster(const QStringList& args, const QString& password = QString::fromLatin1(ImapTestServer::kPassword),
                 const QString& lang = QStringLiteral("C.UTF-8"), bool measured = false)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANG"), lang);
    env.insert(QStringLiteral("LC_ALL"), lang);
    env.remove(QStringLiteral("LANGUAGE"));
    if (password.isNull())
        env.remove(QStringLiteral("MOLVANE_IMAP_PASSWORD"));
    else
        env.insert(QStringLiteral("MOLVANE_IMAP_PASSWORD"), password);
    process.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    if (measured)
        process.start(QStringLiteral("/usr/bin/python3"),
                      QStringList{QStringLiteral("-c"),
                                  QStringLiteral("import resource, subprocess, sys\n"
                                                 "code = subprocess.run(sys.argv[1:]).returncode\n"
                                                 "sys.stderr.write('\\nPEAK %d\\n' % "
                                                 "resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"
                                                 "sys.exit(code if code >= 0 else 128 - code)\n"),
                                  QStringLiteral(MOLVANE_ROSTER_PROGRAM)} +
                          args);
    else
        process.start(QStringLiteral(MOLVANE_ROSTER_PROGRAM), args);
    Result r;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        r.err = QStringLiteral("(hung)");
        return r;
    }
    r.ms = timer.elapsed();
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = process.readAllStandardOutput();
    r.rawErr = process.readAllStandardError();
    if (measured) {
        const int peak = r.rawErr.lastIndexOf("\nPEAK ");
        r.peakKb = r.rawErr.mid(peak + 6).trimmed().toLongLong();
        r.rawErr.truncate(peak);
    }
    r.err = QString::fromUtf8(r.rawErr);
    return r;
}

// The program ended with this status and said this on standard error.
bool says(const Result& r, int status, const QString& text)
{
    return r.exitCode == status && r.err.contains(text);
}

// A page as Chromium shows it, after a script of the test has run in it.
// The page's own policy stays, with room made for the test's script (by a
// nonce) and for nothing else: a script without the nonce is added too, and
// must not run.
QString inChromium(QByteArray page, const QString& testScript, const QString& folder)
{
    page.replace("script-src ", "script-src 'nonce-molvanetest' ");
    page.replace("</body>", "<script>document.title = 'inline script ran';</script>\n<script nonce=\"molvanetest\">" +
                                testScript.toUtf8() + "</script></body>");
    const QString file = folder + QStringLiteral("/page-under-test.html");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(page) != page.size())
        return QString();
    out.close();
    QTemporaryDir profile;
    QProcess dom;
    dom.start(chromiumProgram(),
              headlessChromium(profile.path()) << QStringLiteral("--dump-dom") << QUrl::fromLocalFile(file).toString());
    if (!dom.waitForFinished(60000))
        return QString();
    return QString::fromUtf8(dom.readAllStandardOutput());
}

// The rows of a CSV file as Python's csv module reads them.
QList<QStringList> pythonCsv(const QString& file, const char* encoding)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, json, sys\n"
                                 "with open(sys.argv[1], encoding=sys.argv[2], newline='') as f:\n"
                                 "    print(json.dumps(list(csv.reader(f, strict=True))))\n"),
                  file, QString::fromLatin1(encoding)});
    python.waitForFinished(30000);
    QList<QStringList> rows;
    const QJsonArray array = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    for (const auto& row : array) {
        QStringList cells;
        for (const auto& cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    if (rows.isEmpty())
        qWarning("python: %s", python.readAllStandardError().constData());
    return rows;
}

// Everything of the rows but the time, which is when the mails were sent.
QStringList withoutTimes(const QList<QStringList>& rows)
{
    QStringList out;
    for (int i = 1; i < rows.size(); ++i)
        out << rows[i].mid(1).join(QLatin1Char('|'));
    return out;
}

const QStringList kExpectedRows = {
    "pc01@centre.example|試験太郎|sample0524.txt|3|3|10|2|3|66.7|完了|",
    "pc02@centre.example|試験太郎|sample0524.txt|3|3|10|3|3|100.0|完了|",
    "pc01@centre.example|花子||||||||未完了|",
    "pc03@centre.example|次郎||||||||未完了|",
    "pc04@centre.example|三郎|sample0524.txt|1|3|10|0|1|0.0|開始メールなし|",
    "pc05@centre.example|'=SUM(A1)||||||||未完了|",
    "pc01@centre.example|花子|問題,\"改\".txt|4|1|20|3|4|75.0|完了|",
    "pc08@centre.example| <img src=x onerror=document.title='pwned'>||||||||未完了|",
    "pc07@centre.example|髙橋①子|sample0524.txt|2|3|10|1|2|50.0|完了|",
};

// A name with markup, and a space before it that the pairing counts.
const char kMarkupName[] = " <img src=x onerror=document.title='pwned'>";

} // namespace

class TestRosterProgram : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void imapMailboxAsCsv();
    void implicitTlsAsHtmlInABrowser();
    void failuresOfTheServer();
    void serverWithoutTls();
    void mailFilesOfAMailClient();
    void hostileServer_data();
    void hostileServer();
    void passwordPrompt();
    void commandLine();

private:
    QList<QByteArray> m_mails; // in the order they were sent
    QByteArray m_brokenId;
    QTemporaryDir m_dir;

    bool fill(ImapTestServer& server)
    {
        if (!server.start()) {
            qWarning("%s", qPrintable(server.error()));
            return false;
        }
        for (const QByteArray& raw : m_mails)
            server.deliver(raw);
        return true;
    }
};

void TestRosterProgram::initTestCase()
{
    qputenv("TZ", "Asia/Tokyo");
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    const std::string server = smtp.serverArgument();
    auto send = [&server](const char* pc, int kind, const std::string& name, const std::string& body) {
        char failure[kFailureTextSize] = {};
        const std::string sender = std::string("<") + pc + "@centre.example>\t:";
        BSendMail(server.c_str(), "<boss@centre.example>", sender.c_str(), mail::subjectFor(kind, name).c_str(),
                  body.c_str(), nullptr, failure);
        QVERIFY2(failure[0] == '\0', failure);
    };
    auto startMail = [&](const char* pc, const char* name) {
        send(pc, mail::kStartMail, sj(name), mail::fixedBodyFor(mail::kStartMail));
    };
    auto resultMail = [&](const char* pc, const char* name, const std::string& log) {
        send(pc, mail::kResultMail, sj(name), log);
    };
    startMail("pc01", "試験太郎");
    startMail("pc02", "試験太郎");
    startMail("pc01", "花子");
    resultMail("pc01", "試験太郎", reportmails::resultLog(sj("試験太郎"), "*-*"));
    resultMail("pc02", "試験太郎", reportmails::resultLog(sj("試験太郎"), "***"));
    startMail("pc03", "次郎");
    resultMail("pc04", "三郎", reportmails::resultLog(sj("三郎"), "-"));
    send("pc01", mail::kTestMail, "", mail::fixedBodyFor(mail::kTestMail));
    startMail("pc05", "=SUM(A1)");
    startMail("pc01", "花子");
    resultMail("pc01", "花子", reportmails::resultLog(sj("花子"), "**-*", 4, 1, 20, true, sj("問題,\"改\".txt")));
    startMail("pc08", kMarkupName);
    // Its body broken on the way.
    resultMail("pc06", "四郎", "\x81");
    const QList<ReceivedMail> received = smtp.messages();
    QCOMPARE(received.size(), 13);
    for (const ReceivedMail& m : received)
        m_mails << m.raw;
    QByteArray& broken = m_mails.last();
    broken.replace(broken.indexOf("\r\n\r\n") + 4, broken.size(), "!!not*base64\r\n");
    const int at = broken.indexOf("Message-ID: <") + 13;
    m_brokenId = broken.mid(at, broken.indexOf('>', at) - at);

    // The same candidate's mails from other mail software: ISO-2022-JP and
    // Shift_JIS, quoted-printable.
    const std::string name = sj("髙橋①子");
    const std::string date = mail::formatDate(std::time(nullptr));
    auto other = [&](const std::string& subject, const char* charset, const std::string& body, const char* id) {
        return QByteArray::fromStdString("From: pc07@centre.example\r\nTo: boss@centre.example\r\nDate: " + date +
                                         "\r\nMessage-ID: <" + id + "@centre.example>\r\nSubject: " + subject +
                                         "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=" + charset +
                                         "\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" +
                                         reportmails::quotedPrintable(body));
    };
    const std::string startSubject = reportmails::toIso2022jp(mail::subjectFor(mail::kStartMail, name));
    m_mails << other("=?ISO-2022-JP?B?" + QByteArray::fromStdString(startSubject).toBase64().toStdString() + "?=",
                     "ISO-2022-JP", reportmails::toIso2022jp(mail::fixedBodyFor(mail::kStartMail)), "jis");
    m_mails << other("=?Shift_JIS?B?" +
                         QByteArray::fromStdString(mail::subjectFor(mail::kResultMail, name)).toBase64().toStdString() +
                         "?=",
                     "Shift_JIS", reportmails::resultLog(name, "-*"), "sjis");
    m_mails << QByteArray("From: friend@example.org\r\nSubject: Hello\r\nMessage-ID: <hello@example.org>\r\n\r\nHi\r\n");
}

void TestRosterProgram::imapMailboxAsCsv()
{
    ImapTestServer server;
    QVERIFY(fill(server));
    const QStringList before = server.mailFiles();
    QCOMPARE(before.size(), m_mails.size());

    const QString csv = m_dir.filePath(QStringLiteral("roster.csv"));
    const Result r = runRoster({server.url(), QStringLiteral("--cacert"), server.caFile(), QStringLiteral("-o"), csv});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(r.out.isEmpty());

    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(bytes.count("\r\n"), kExpectedRows.size() + 1);
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    const QList<QStringList> rows = pythonCsv(csv, "utf-8-sig");
    QCOMPARE(rows.value(0).join(QLatin1Char('|')),
             QStringLiteral("開始日時|PC|氏名|問題|出題数|ミス許容数|制限時間|正解数|解答数|正解率|状態|備考"));
    QCOMPARE(withoutTimes(rows), kExpectedRows);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                .match(rows.value(1).value(0))
                .hasMatch());

    // The unreadable mails are named on standard error; the rest is counted.
    QVERIFY2(r.err.contains(QString::fromLatin1("<" + m_brokenId + ">")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("<hello@example.org>: not a start, result or test mail")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("16 mails: finished 4, not finished 4, result without start 1, test mails 1, "
                                           "skipped 2")),
             qPrintable(r.err));
    QVERIFY(!r.err.contains(QString::fromLatin1(ImapTestServer::kPassword)));
    // Read only: no mail moved, flagged or removed.
    QCOMPARE(server.mailFiles(), before);
}

void TestRosterProgram::implicitTlsAsHtmlInABrowser()
{
    ImapTestServer server(ImapTestServer::Tls::Implicit);
    QVERIFY(fill(server));
    const QString page = m_dir.filePath(QStringLiteral("roster.html"));
    const Result r = runRoster(
        {server.url(), QStringLiteral("--cacert"), server.caFile(), QStringLiteral("--html"), QStringLiteral("-o"), page});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));

    // The page loads nothing from anywhere.
    QFile file(page);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray html = file.readAll();
    file.close();
    QVERIFY(!html.contains("href=") && !html.contains("<img") && !html.contains("<link"));
    QCOMPARE(html.count("<script"), 1);

    // In the browser itself: a click on the rate's heading sorts by it; the
    // name with markup is text, with its leading space shown; no script but
    // the page's own (and the test's) ran.
    const QString shown = inChromium(html,
                                     QStringLiteral("document.querySelectorAll('th')[9].click();"
                                                    "var cells = document.querySelectorAll('td');"
                                                    "for (var i = 0; i < cells.length; ++i)"
                                                    "  if (cells[i].textContent.indexOf('onerror') >= 0)"
                                                    "    document.body.setAttribute('data-shown', "
                                                    "JSON.stringify(cells[i].innerText));"),
                                     m_dir.path());
    QVERIFY2(shown.contains(QStringLiteral("aria-sort=\"ascending\"")), qPrintable(shown.left(2000)));
    QStringList rates;
    const QRegularExpression row(QStringLiteral("<tr class=\"\\w+\">(?:<td[^>]*>[^<]*</td>){9}<td[^>]*>([^<]*)</td>"));
    for (auto it = row.globalMatch(shown); it.hasNext();)
        rates << it.next().captured(1);
    QCOMPARE(rates, QStringList({"0.0", "50.0", "66.7", "75.0", "100.0", "", "", "", ""}));
    QVERIFY2(shown.contains(QStringLiteral("<title>受験一覧</title>")), qPrintable(shown.left(600)));
    QVERIFY(!shown.contains(QStringLiteral("<img")));
    QVERIFY2(shown.contains(QStringLiteral("data-shown=\"&quot; &lt;img src=x onerror=document.title='pwned'&gt;&quot;\"")),
             qPrintable(shown.right(600)));

    // Times sort by their moment, also where the text does not: the hour
    // that comes twice when summer time ends, each with its offset.
    qputenv("TZ", "Europe/Berlin");
    tzset();
    roster::RosterBuilder builder;
    const std::string late = reportmails::start("pc1@centre.example", sj("太郎"), 1792890900);  // 02:15 +01:00
    const std::string early = reportmails::start("pc2@centre.example", sj("花子"), 1792888200); // 02:30 +02:00
    builder.add("1", late);
    builder.add("2", early);
    const QByteArray twice = QByteArray::fromStdString(roster::rosterHtml(builder.finish(), "test"));
    qputenv("TZ", "Asia/Tokyo");
    tzset();
    QVERIFY(twice.contains("2026-10-25 02:15:00 +01:00") && twice.contains("2026-10-25 02:30:00 +02:00"));
    const QString sorted = inChromium(twice,
                                      QStringLiteral("var th = document.querySelectorAll('th')[0];"
                                                     "th.click();"),
                                      m_dir.path());
    QVERIFY2(sorted.indexOf(QStringLiteral("02:30:00 +02:00")) < sorted.indexOf(QStringLiteral("02:15:00 +01:00")),
             qPrintable(sorted.right(1500)));
    QVERIFY(sorted.contains(QStringLiteral("aria-sort=\"ascending\"")));

    // A picture of the page, for a person to look at.
    const QString shot = m_dir.filePath(QStringLiteral("roster.png"));
    QTemporaryDir profile;
    QProcess picture;
    picture.start(chromiumProgram(), headlessChromium(profile.path())
                                         << QStringLiteral("--screenshot=") + shot
                                         << QStringLiteral("--window-size=1200,1000") << QStringLiteral("--hide-scrollbars")
                                         << QUrl::fromLocalFile(page).toString());
    QVERIFY(picture.waitForFinished(60000));
    QVERIFY2(QFileInfo(shot).size() > 20000, qPrintable(QString::fromUtf8(picture.readAllStandardError())));
    if (qEnvironmentVariableIsSet("MOLVANE_KEEP_SCREENSHOTS")) {
        const QString kept = qEnvironmentVariable("MOLVANE_KEEP_SCREENSHOTS") + QStringLiteral("/roster.png");
        QFile::remove(kept);
        QFile::copy(shot, kept);
    }
}

void TestRosterProgram::failuresOfTheServer()
{
    ImapTestServer server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    const QStringList trust = {QStringLiteral("--cacert"), server.caFile()};
    const QString password = QString::fromLatin1(ImapTestServer::kPassword);

    // An empty mailbox is a table with no rows.
    Result r = runRoster(QStringList{server.url()} + trust);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.count("\r\n"), 1);

    // A --since long before any mail asks for all of them.
    r = runRoster(QStringList{server.url(), QStringLiteral("--since"), QStringLiteral("0001-01-01")} + trust);
    QCOMPARE(r.exitCode, 0);

    // Only mails that cannot be read: nothing written, status 1.
    server.deliver(m_mails.last());
    const QString none = m_dir.filePath(QStringLiteral("none.csv"));
    r = runRoster(QStringList{server.url(), QStringLiteral("-o"), none} + trust);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(!QFile::exists(none));

    r = runRoster(QStringList{server.url(QStringLiteral("Archive"))} + trust);
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains(QStringLiteral("cannot open the mailbox \"Archive\": NO Mailbox doesn't exist")),
             qPrintable(r.err));

    // Another mailbox, named in Japanese, is there.
    server.addMailbox(QStringLiteral("&imaaE31QZ5w-")); // 試験結果
    r = runRoster(QStringList{server.url(QStringLiteral("%E8%A9%A6%E9%A8%93%E7%B5%90%E6%9E%9C"))} + trust);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));

    r = runRoster({server.url()}); // the test's authority is not trusted
    QVERIFY2(says(r, 3, QStringLiteral("certificate is not trusted")), qPrintable(r.err));

    // A password on the command line is refused without being repeated.
    r = runRoster(QStringList{server.url().replace(QStringLiteral("boss@"), QStringLiteral("boss:") + password +
                                                                                QStringLiteral("@"))} +
                  trust);
    QVERIFY2(says(r, 2, QStringLiteral("MOLVANE_IMAP_PASSWORD")), qPrintable(r.err));
    QVERIFY(!r.err.contains(password));

    // A server that stops answering: the time-out, not a hang.
    server.pause();
    r = runRoster(QStringList{server.url(), QStringLiteral("--timeout"), QStringLiteral("1")} + trust);
    server.resume();
    QVERIFY2(says(r, 3, QStringLiteral("did not answer within 1 s")), qPrintable(r.err));
    QVERIFY2(r.ms < 10000, qPrintable(QString::number(r.ms)));

    // Last, as the server makes later logins wait after a wrong one.
    r = runRoster(QStringList{server.url()} + trust, QStringLiteral("wrong-password"));
    QCOMPARE(r.exitCode, 4);
    QVERIFY2(r.err.contains(QStringLiteral("refused the login of user \"boss\": NO [AUTHENTICATIONFAILED]")),
             qPrintable(r.err));
    QVERIFY(!r.err.contains(QStringLiteral("wrong-password")));

    // Nothing on the port at all.
    r = runRoster(QStringList{QStringLiteral("imap://boss@127.0.0.1:%1/INBOX").arg(SmtpTestServer::unusedPort())} + trust);
    QVERIFY2(says(r, 3, QStringLiteral("cannot connect to 127.0.0.1:")), qPrintable(r.err));
}

void TestRosterProgram::serverWithoutTls()
{
    ImapTestServer server(ImapTestServer::Tls::None);
    QVERIFY(fill(server));
    const int logged = server.log().size();
    const Result r = runRoster({server.url()});
    QVERIFY2(says(r, 3, QStringLiteral("offers no TLS (STARTTLS), so the password was not sent")), qPrintable(r.err));
    // The server logs the disconnection a moment after the program ends.
    QTRY_VERIFY_WITH_TIMEOUT(server.log().mid(logged).contains("no auth attempts"), 10000);
    QVERIFY2(!server.log().mid(logged).contains("user=<boss>"), server.log().mid(logged).constData());
}

void TestRosterProgram::mailFilesOfAMailClient()
{
    // A Maildir as a mail client keeps it.
    const QString maildir = m_dir.filePath(QStringLiteral("Maildir"));
    for (const char* sub : {"/cur", "/new", "/tmp"})
        QDir().mkpath(maildir + QLatin1String(sub));
    QByteArray mbox;
    for (int i = 0; i < m_mails.size(); ++i) {
        QFile file(maildir + QStringLiteral("/cur/%1.M%2.client:2,S").arg(1800000000 + i).arg(i));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(m_mails[i]);
        // mboxrd: "From " at the start of a line gets a ">" in the file.
        QByteArray escaped = m_mails[i];
        escaped.replace("\nFrom ", "\n>From ");
        mbox += "From MAILER-DAEMON Mon Nov 30 09:00:00 2026\n" + escaped + "\n";
    }
    const QString mboxFile = m_dir.filePath(QStringLiteral("inbox.mbox"));
    QFile file(mboxFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(mbox);
    file.close();

    for (const QString& source : {maildir, mboxFile}) {
        const QString csv = m_dir.filePath(QStringLiteral("cp932.csv"));
        const Result r = runRoster({source, QStringLiteral("--encoding"), QStringLiteral("cp932"), QStringLiteral("-o"), csv});
        QVERIFY2(r.exitCode == 0, qPrintable(source + r.err));
        const QList<QStringList> rows = pythonCsv(csv, "cp932");
        QCOMPARE(withoutTimes(rows), kExpectedRows);
    }

    // Outputs that are no regular file are written to as they are; a file
    // is replaced whole (a second name of the old file keeps the old text).
    const QString fifo = m_dir.filePath(QStringLiteral("roster.fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QProcess reader;
    reader.start(QStringLiteral("/bin/cat"), {fifo});
    QVERIFY(reader.waitForStarted());
    Result r;
    for (const QString& output : {fifo, QStringLiteral("/dev/stdout"), QStringLiteral("/dev/null")}) {
        r = runRoster({maildir, QStringLiteral("-o"), output});
        QVERIFY2(r.exitCode == 0, qPrintable(output + r.err));
    }
    QVERIFY(reader.waitForFinished(10000));
    QCOMPARE(reader.readAllStandardOutput().count("\r\n"), kExpectedRows.size() + 1);
    QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    QCOMPARE(runRoster({maildir, QStringLiteral("-o"), QStringLiteral("/dev/stdout")}).out.count("\r\n"),
             kExpectedRows.size() + 1);
    const QString csv = m_dir.filePath(QStringLiteral("replaced.csv"));
    const QString second = m_dir.filePath(QStringLiteral("second-name.csv"));
    QFile old(csv);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old table\r\n") == 11);
    old.close();
    QCOMPARE(::link(QFile::encodeName(csv).constData(), QFile::encodeName(second).constData()), 0);
    r = runRoster({maildir, QStringLiteral("-o"), csv});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(QFileInfo(csv).size() > 100);
    QCOMPARE(QFileInfo(second).size(), 11);

    // Texts from mails never reach the terminal as control characters.
    const QString hostile = m_dir.filePath(QStringLiteral("Hostile"));
    QDir().mkpath(hostile + QStringLiteral("/cur"));
    QFile junk(hostile + QStringLiteral("/cur/1.junk"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("From: a@example.org\r\nMessage-ID: <\x1B[2J\x1B]0;owned\x07@example.org>\r\n"
               "Subject: =?UTF-8?B?" + QByteArray("\x1B[1;1H47 mails: finished 47\x9B" "2J").toBase64() +
               "?=\r\n\r\nhi\r\n");
    junk.close();
    r = runRoster({hostile});
    QVERIFY2(says(r, 1, QStringLiteral("<␛[2J␛]0;owned␇@example.org>")), qPrintable(r.err));
    for (char c : r.rawErr)
        QVERIFY2(static_cast<unsigned char>(c) >= 0x20 || c == '\n', qPrintable(r.err));

    r = runRoster({m_dir.filePath(QStringLiteral("missing"))});
    QVERIFY2(says(r, 3, QStringLiteral("no such file or folder")), qPrintable(r.err));
    r = runRoster({QDir(maildir).filePath(QStringLiteral("cur"))});
    QVERIFY2(says(r, 3, QStringLiteral("not a Maildir")), qPrintable(r.err));
    r = runRoster({QDir(maildir).filePath(QStringLiteral("cur/1800000000.M0.client:2,S"))});
    QVERIFY2(says(r, 3, QStringLiteral("not an mbox file")), qPrintable(r.err));
}

void TestRosterProgram::hostileServer_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("says");
    QTest::newRow("one byte at a time") << "trickle" << "did not finish its answer to EXAMINE within 0.5 s";
    QTest::newRow("endless untagged lines") << "untagged" << "did not finish its answer to EXAMINE within 0.5 s";
    QTest::newRow("continuation requests") << "continuation" << "a request to go on with a command";
    QTest::newRow("a line without end") << "long-line" << "sent a line longer than 1 MiB";
    QTest::newRow("a literal of 4 GiB") << "huge-literal" << "announced 4294967296 bytes, more than";
    QTest::newRow("a literal of 20 digits") << "literal-digits" << "announced 99999999999999999999 bytes, more than";
    QTest::newRow("a literal of -1") << "literal-minus" << "literal whose length cannot be read: {-1}";
    QTest::newRow("a literal of 12a") << "literal-letters" << "literal whose length cannot be read: {12a}";
    QTest::newRow("an open quote") << "open-quote" << "unterminated quoted string";
    QTest::newRow("a UID past 32 bits") << "uid-range" << "a UID out of range";
    // These two talk before TLS: STARTTLS.
    QTest::newRow("STARTTLS refused") << "starttls-no"
                                      << "refused STARTTLS, so the password was not sent: NO [UNAVAILABLE] TLS ␛[2Jis";
    QTest::newRow("a greeting without end") << "greeting-trickle" << "did not answer within 0.5 s";
}

// A server that misbehaves after the login: the roster ends within its time
// limits and in little memory, with status 3 and a message that says what
// was wrong, never with a mailbox read as empty.
void TestRosterProgram::hostileServer()
{
    QFETCH(QString, mode);
    QFETCH(QString, says);
    const bool beforeTls = mode == QLatin1String("starttls-no") || mode == QLatin1String("greeting-trickle");
    ImapTestServer server(beforeTls ? ImapTestServer::Tls::StartTls : ImapTestServer::Tls::Implicit, mode);
    QVERIFY2(server.start(), qPrintable(server.error()));
    const Result r = runRoster({server.url(), QStringLiteral("--cacert"), server.caFile(), QStringLiteral("--timeout"),
                                QStringLiteral("0.5")},
                               QStringLiteral("pw"), QStringLiteral("C.UTF-8"), true);
    QVERIFY2(::says(r, 3, says) && r.ms < 5000, qPrintable(QString::number(r.ms) + r.err));
#if defined(__SANITIZE_ADDRESS__)
    const long long mostKb = 400 * 1024;
#else
    const long long mostKb = 100 * 1024;
#endif
    QVERIFY2(r.peakKb > 0 && r.peakKb < mostKb, qPrintable(QString::number(r.peakKb) + " KB"));
    if (mode == QLatin1String("starttls-no"))
        QVERIFY2(!server.log().contains("LOGIN"), server.log().constData());
}

// The password asked on a terminal: Ctrl-D cancels (no login is tried),
// Ctrl-C ends the program with the terminal's echo back on.
void TestRosterProgram::passwordPrompt()
{
    const QByteArray address = "imap://boss@127.0.0.1:" + QByteArray::number(SmtpTestServer::unusedPort()) + "/INBOX";
    for (const char key : {'\x04', '\x03'}) {
        int master = -1;
        int slave = -1; // kept open here, so that its settings can be read after the program ends
        QVERIFY(::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::setsid();
            ::ioctl(slave, TIOCSCTTY, 0);
            for (int fd = 0; fd < 3; ++fd)
                ::dup2(slave, fd);
            ::unsetenv("MOLVANE_IMAP_PASSWORD");
            ::execl(MOLVANE_ROSTER_PROGRAM, MOLVANE_ROSTER_PROGRAM, address.constData(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        QByteArray seen;
        int status = 0;
        auto readUntil = [&](const std::function<bool()>& done) {
            for (QDeadlineTimer deadline(20000); !done() && !deadline.hasExpired();) {
                pollfd fd{master, POLLIN, 0};
                char buffer[512];
                const ssize_t n = ::poll(&fd, 1, 50) > 0 ? ::read(master, buffer, sizeof buffer) : 0;
                seen.append(buffer, static_cast<int>(std::max<ssize_t>(n, 0)));
            }
        };
        readUntil([&] { return seen.contains("Password for boss@127.0.0.1: "); });
        termios settings{};
        QVERIFY(::tcgetattr(slave, &settings) == 0 && !(settings.c_lflag & ECHO));
        QCOMPARE(::write(master, &key, 1), ssize_t(1));
        readUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; });
        QVERIFY(::tcgetattr(slave, &settings) == 0 && (settings.c_lflag & ECHO));
        if (key == '\x04')
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 2 && seen.contains("no password given"), seen.constData());
        else
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT, seen.constData());
        ::close(master);
        ::close(slave);
    }
}

void TestRosterProgram::commandLine()
{
    Result r = runRoster({QStringLiteral("--help")}, QString(), QStringLiteral("ja_JP.UTF-8"));
    QCOMPARE(r.exitCode, 0);
    QVERIFY(QString::fromUtf8(r.out).startsWith(QStringLiteral("使い方: molvane-roster")));
    r = runRoster({QStringLiteral("--help")}, QString(), QStringLiteral("de_DE.UTF-8"));
    QVERIFY(r.out.startsWith("Usage: molvane-roster"));
    QVERIFY(r.out.contains("Exit status:"));

    r = runRoster({QStringLiteral("--frobnicate"), QStringLiteral("x")});
    QCOMPARE(r.exitCode, 2);
    r = runRoster({});
    QCOMPARE(r.exitCode, 2);
    r = runRoster({QStringLiteral("x"), QStringLiteral("--since"), QStringLiteral("yesterday")});
    QVERIFY2(says(r, 2, QStringLiteral("not a date")), qPrintable(r.err));
    r = runRoster({QStringLiteral("x"), QStringLiteral("--html"), QStringLiteral("--encoding"), QStringLiteral("cp932")});
    QCOMPARE(r.exitCode, 2);
    for (const char* seconds : {"nan", "0.0005", "3601", "-1"}) {
        r = runRoster({QStringLiteral("x"), QStringLiteral("--timeout"), QLatin1String(seconds)});
        QVERIFY2(r.exitCode == 2 && r.err.contains(QStringLiteral("0.1 to 3600")), seconds);
    }

    // Nothing is sent for a mailbox name or a password that would break a
    // command apart (no server listens on the port: trying would say 3).
    const QString closed = QStringLiteral("imap://boss@127.0.0.1:%1/").arg(SmtpTestServer::unusedPort());
    for (const char* mailbox : {"IN%09BOX", "INBOX%00Other", "INBOX%0D%0Aa1%20DELETE%20INBOX", "%"}) {
        r = runRoster({closed + QLatin1String(mailbox)});
        QVERIFY2(r.exitCode == 2 && r.err.contains(QStringLiteral("mailbox name holds a control")), qPrintable(r.err));
    }
    r = runRoster({closed + QStringLiteral("INBOX")}, QStringLiteral("secret\r\na2 DELETE INBOX"));
    QVERIFY2(r.exitCode == 2 && r.err.contains(QStringLiteral("line break")), qPrintable(r.err));
    QVERIFY(!r.err.contains(QStringLiteral("secret")));
}

QTEST_GUILESS_MAIN(TestRosterProgram)
#include "test_roster_program.moc"
