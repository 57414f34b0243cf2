// molvane-roster as a supervisor runs it: mails sent by the program's own
// mail code to an SMTP server, together with mails other mail software
// wrote, read from a real IMAP server (dovecot), a Maildir and an mbox file;
// the CSV read back by Python's csv module, the page opened in Chromium.

#include "TestSupport.h"
#include "report/BSendMail.h"
#include "report/ReportMail.h"
#include "support/ImapTestServer.h"
#include "support/ReportMails.h"
#include "support/SmtpTestServer.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QString err;
    qint64 ms = 0;
};

Result runRoster(const QStringList& args, const QString& password = QString::fromLatin1(ImapTestServer::kPassword),
                 const QString& lang = QStringLiteral("C.UTF-8"))
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
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
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
    "pc07@centre.example|髙橋①子|sample0524.txt|2|3|10|1|2|50.0|完了|",
};

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
    // Its body broken on the way.
    resultMail("pc06", "四郎", "\x81");
    const QList<ReceivedMail> received = smtp.messages();
    QCOMPARE(received.size(), 12);
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
    QVERIFY2(r.err.contains(QStringLiteral("15 mails: finished 4, not finished 3, result without start 1, test mails 1, "
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

    // Sorting by the rate in the browser itself: a click on its heading.
    QFile file(page);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray html = file.readAll();
    file.close();
    QVERIFY(!html.contains("src=") && !html.contains("href="));
    html.replace("</body>", "<script>document.querySelectorAll('th')[9].click();</script></body>");
    const QString clicked = m_dir.filePath(QStringLiteral("clicked.html"));
    QFile out(clicked);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(html);
    out.close();

    QTemporaryDir profile;
    const QStringList chromium = {QStringLiteral("--headless"),
                                  QStringLiteral("--no-sandbox"),
                                  QStringLiteral("--disable-gpu"),
                                  QStringLiteral("--disable-quic"),
                                  QStringLiteral("--no-first-run"),
                                  QStringLiteral("--disable-background-networking"),
                                  QStringLiteral("--disable-component-update"),
                                  QStringLiteral("--disable-sync"),
                                  QStringLiteral("--user-data-dir=") + profile.path()};
    QProcess dom;
    dom.start(QStringLiteral("/usr/bin/chromium"),
              chromium + QStringList{QStringLiteral("--dump-dom"), QUrl::fromLocalFile(clicked).toString()});
    QVERIFY(dom.waitForFinished(60000));
    const QString shown = QString::fromUtf8(dom.readAllStandardOutput());
    QVERIFY2(shown.contains(QStringLiteral("aria-sort=\"ascending\"")), qPrintable(shown.left(2000)));
    QStringList rates;
    const QRegularExpression row(QStringLiteral("<tr class=\"\\w+\">(?:<td[^>]*>[^<]*</td>){9}<td[^>]*>([^<]*)</td>"));
    for (auto it = row.globalMatch(shown); it.hasNext();)
        rates << it.next().captured(1);
    QCOMPARE(rates, QStringList({"0.0", "50.0", "66.7", "75.0", "100.0", "", "", ""}));

    // A picture of the page, for a person to look at.
    const QString shot = m_dir.filePath(QStringLiteral("roster.png"));
    QProcess picture;
    picture.start(QStringLiteral("/usr/bin/chromium"),
                  chromium + QStringList{QStringLiteral("--screenshot=") + shot, QStringLiteral("--window-size=1200,1000"),
                                         QStringLiteral("--hide-scrollbars"), QUrl::fromLocalFile(page).toString()});
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
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains(QStringLiteral("certificate is not trusted")), qPrintable(r.err));

    // A password on the command line is refused without being repeated.
    r = runRoster(QStringList{server.url().replace(QStringLiteral("boss@"), QStringLiteral("boss:") + password +
                                                                                QStringLiteral("@"))} +
                  trust);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains(QStringLiteral("MOLVANE_IMAP_PASSWORD")));
    QVERIFY(!r.err.contains(password));

    // A server that stops answering: the time-out, not a hang.
    server.pause();
    r = runRoster(QStringList{server.url(), QStringLiteral("--timeout"), QStringLiteral("1")} + trust);
    server.resume();
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains(QStringLiteral("did not answer within 1 s")), qPrintable(r.err));
    QVERIFY2(r.ms < 10000, qPrintable(QString::number(r.ms)));

    // Last, as the server makes later logins wait after a wrong one.
    r = runRoster(QStringList{server.url()} + trust, QStringLiteral("wrong-password"));
    QCOMPARE(r.exitCode, 4);
    QVERIFY2(r.err.contains(QStringLiteral("refused the login of user \"boss\": NO [AUTHENTICATIONFAILED]")),
             qPrintable(r.err));
    QVERIFY(!r.err.contains(QStringLiteral("wrong-password")));

    // Nothing on the port at all.
    r = runRoster(QStringList{QStringLiteral("imap://boss@127.0.0.1:%1/INBOX").arg(SmtpTestServer::unusedPort())} + trust);
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains(QStringLiteral("cannot connect to 127.0.0.1:")), qPrintable(r.err));
}

void TestRosterProgram::serverWithoutTls()
{
    ImapTestServer server(ImapTestServer::Tls::None);
    QVERIFY(fill(server));
    const int logged = server.log().size();
    const Result r = runRoster({server.url()});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains(QStringLiteral("offers no TLS (STARTTLS), so the password was not sent")), qPrintable(r.err));
    const QByteArray log = server.log().mid(logged);
    QVERIFY2(log.contains("no auth attempts") && !log.contains("user=<boss>"), log.constData());
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

    Result r = runRoster({m_dir.filePath(QStringLiteral("missing"))});
    QCOMPARE(r.exitCode, 3);
    QVERIFY(r.err.contains(QStringLiteral("no such file or folder")));
    r = runRoster({QDir(maildir).filePath(QStringLiteral("cur"))});
    QCOMPARE(r.exitCode, 3);
    QVERIFY(r.err.contains(QStringLiteral("not a Maildir")));
    r = runRoster({QDir(maildir).filePath(QStringLiteral("cur/1800000000.M0.client:2,S"))});
    QCOMPARE(r.exitCode, 3);
    QVERIFY(r.err.contains(QStringLiteral("not an mbox file")));
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
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains(QStringLiteral("not a date")));
    r = runRoster({QStringLiteral("x"), QStringLiteral("--html"), QStringLiteral("--encoding"), QStringLiteral("cp932")});
    QCOMPARE(r.exitCode, 2);
}

QTEST_GUILESS_MAIN(TestRosterProgram)
#include "test_roster_program.moc"
