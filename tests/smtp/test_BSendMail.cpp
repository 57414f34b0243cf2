// Sending through a real SMTP server on the loopback interface.

#include "reportmail/BSendMail.h"
#include "support/SmtpTestServer.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QtTest>
#include <cstring>

namespace {

struct Outcome {
    int result = 0;
    std::string failure;
};

Outcome sendMail(const std::string& server, const std::string& recipient, const std::string& sender,
                 const std::string& subject = sj("【テストメール】"), const std::string& body = sj("【テストメール】\r\n"))
{
    char failureText[kFailureTextSize];
    std::memset(failureText, 'x', sizeof failureText); // the caller clears only the first byte
    failureText[0] = '\0';
    Outcome outcome;
    outcome.result = BSendMail(server.c_str(), recipient.c_str(), sender.c_str(), subject.c_str(), body.c_str(),
                               nullptr, failureText);
    const void* end = std::memchr(failureText, '\0', sizeof failureText);
    if (!end)
        qFatal("failure text not terminated within 80 bytes");
    outcome.failure = failureText;
    return outcome;
}

#define VERIFY_SENT(expr) \
    do { \
        const Outcome o_ = (expr); \
        QVERIFY2(o_.failure.empty(), o_.failure.c_str()); \
        QCOMPARE(o_.result, 0); \
    } while (0)

#define VERIFY_FAILED(expr) \
    do { \
        const Outcome o_ = (expr); \
        QVERIFY(!o_.failure.empty()); \
        QVERIFY(o_.failure.size() <= 79); \
        QVERIFY(o_.result != 0); \
    } while (0)

} // namespace

class TestBSendMail : public QObject {
    Q_OBJECT
private slots:
    void init() { mail::resetTransportOptions(); }
    void cleanup() { mail::resetTransportOptions(); }

    void plainMailWithJapaneseSubjectAndBody();
    void severalRecipients();
    void loginOverStartTls();
    void wrongLoginIsRefused();
    void untrustedCertificateIsRefused();
    void noPasswordOverUnencryptedConnection();
    void invalidArgumentsFailWithoutSending();
    void refusedConnection();
    void refusedRecipient();
    void everyStageEndsWithinTheWholeMailTime_data();
    void everyStageEndsWithinTheWholeMailTime();
    void nameWithLineBreaksCannotInjectHeaders();
};

void TestBSendMail::plainMailWithJapaneseSubjectAndBody()
{
    SmtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    const std::string body = sj("【問題】:sample0524.txt\r\n【氏名】:試験太郎\r\n (1):*\r\n【正解率】：100.0%\r\n");
    const Outcome o = sendMail(server.serverArgument(), "<boss@example.jp>", "<molvane@example.jp>\t:",
                               sj("【氏名】:試験太郎 終了"), body);
    VERIFY_SENT(o);

    const auto messages = server.messages();
    QCOMPARE(messages.size(), 1);
    const ReceivedMail& m = messages.first();
    QCOMPARE(m.mailFrom, QStringLiteral("molvane@example.jp"));
    QCOMPARE(m.recipients, QStringList{QStringLiteral("boss@example.jp")});
    QVERIFY(!m.authenticated);
    QVERIFY(!m.tls);
    QVERIFY2(m.parseDefects.isEmpty(), qPrintable(m.parseDefects.join(',')));
    QCOMPARE(m.subject, QStringLiteral("【氏名】:試験太郎 終了"));
    QCOMPARE(QString(m.body).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
             QStringLiteral("【問題】:sample0524.txt\n【氏名】:試験太郎\n (1):*\n【正解率】：100.0%\n"));
    QStringList names;
    for (const auto& h : m.headers)
        names << h.first;
    for (const char* required : {"Date", "From", "To", "Subject", "Message-ID", "MIME-Version", "Content-Type"})
        QVERIFY2(names.contains(QLatin1String(required)), required);
}

void TestBSendMail::severalRecipients()
{
    SmtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    VERIFY_SENT(sendMail(server.serverArgument(), "<a@example.jp, b@example.jp>", "<m@example.jp>\t:"));
    const auto messages = server.messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().recipients, (QStringList{QStringLiteral("a@example.jp"), QStringLiteral("b@example.jp")}));
}

void TestBSendMail::loginOverStartTls()
{
    SmtpTestServer::Options options;
    options.tls = true;
    options.login = QStringLiteral("user");
    options.password = QStringLiteral("pa:ss");
    SmtpTestServer server(options);
    QVERIFY2(server.start(), qPrintable(server.error()));
    mail::setTestCaFile(server.caFile());

    VERIFY_SENT(sendMail(server.serverArgument(), "<boss@example.jp>", "<m@example.jp>\tuser:pa:ss"));
    // Without a login, STARTTLS is still taken when offered.
    VERIFY_SENT(sendMail(server.serverArgument(), "<boss@example.jp>", "<m@example.jp>\t:"));
    // The name "localhost" matches the certificate as well.
    VERIFY_SENT(sendMail("localhost:" + std::to_string(server.port()), "<boss@example.jp>", "<m@example.jp>\t:"));

    const auto messages = server.messages();
    QCOMPARE(messages.size(), 3);
    QVERIFY(messages[0].tls);
    QVERIFY(messages[0].authenticated);
    QVERIFY(messages[1].tls);
    QVERIFY(!messages[1].authenticated);
    QVERIFY(messages[2].tls);
}

void TestBSendMail::wrongLoginIsRefused()
{
    SmtpTestServer::Options options;
    options.tls = true;
    options.login = QStringLiteral("user");
    options.password = QStringLiteral("secret");
    SmtpTestServer server(options);
    QVERIFY2(server.start(), qPrintable(server.error()));
    mail::setTestCaFile(server.caFile());

    const Outcome o = sendMail(server.serverArgument(), "<boss@example.jp>", "<m@example.jp>\tuser:wrong");
    VERIFY_FAILED(o);
    QVERIFY2(QString::fromStdString(o.failure).contains(QStringLiteral("Login"), Qt::CaseInsensitive),
             o.failure.c_str());
    QVERIFY(o.failure.find("wrong") == std::string::npos); // the password is never repeated
    QVERIFY(server.messages().isEmpty());
    QVERIFY(server.authAttempts().contains(QStringLiteral("user")));
}

void TestBSendMail::untrustedCertificateIsRefused()
{
    SmtpTestServer::Options options;
    options.tls = true;
    SmtpTestServer server(options);
    QVERIFY2(server.start(), qPrintable(server.error()));
    // The server's authority is not given: its certificate is not trusted,
    // and the mail does not go out in the clear instead.
    const Outcome o = sendMail(server.serverArgument(), "<boss@example.jp>", "<m@example.jp>\t:");
    VERIFY_FAILED(o);
    QVERIFY2(QString::fromStdString(o.failure).contains(QStringLiteral("certificate")), o.failure.c_str());
    QVERIFY(server.messages().isEmpty());

    // A trusted certificate made out to another name is refused as well.
    options.certificateName = QStringLiteral("other.example.jp");
    SmtpTestServer other(options);
    QVERIFY2(other.start(), qPrintable(other.error()));
    mail::setTestCaFile(other.caFile());
    const Outcome o2 = sendMail(other.serverArgument(), "<boss@example.jp>", "<m@example.jp>\t:");
    VERIFY_FAILED(o2);
    QVERIFY2(QString::fromStdString(o2.failure).contains(QStringLiteral("certificate")), o2.failure.c_str());
    QVERIFY(other.messages().isEmpty());
}

void TestBSendMail::noPasswordOverUnencryptedConnection()
{
    SmtpTestServer::Options options;
    options.login = QStringLiteral("user");
    options.password = QStringLiteral("secret");
    options.authWithoutTls = true; // the server would take the password in the clear
    SmtpTestServer server(options);
    QVERIFY2(server.start(), qPrintable(server.error()));

    // A user name decides, not the password: with an empty one TLS is
    // still required.
    for (const char* sender : {"<m@example.jp>\tuser:secret", "<m@example.jp>\tuser:"}) {
        const Outcome o = sendMail(server.serverArgument(), "<boss@example.jp>", sender);
        VERIFY_FAILED(o);
        QVERIFY2(QString::fromStdString(o.failure).contains(QStringLiteral("TLS")), o.failure.c_str());
    }
    QVERIFY(server.authAttempts().isEmpty());
    QVERIFY(server.messages().isEmpty());
}

void TestBSendMail::invalidArgumentsFailWithoutSending()
{
    SmtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    const std::string at = server.serverArgument();

    // Everything empty, as with no mail settings at all.
    VERIFY_FAILED(sendMail(":", "<>", "<>\t:"));
    VERIFY_FAILED(sendMail(at, "<>", "<m@example.jp>\t:"));
    VERIFY_FAILED(sendMail(at, "<boss@example.jp>", "<>\t:"));
    VERIFY_FAILED(sendMail(at, "<boss@example.jp>\r\nRCPT TO:<x@example.jp>", "<m@example.jp>\t:"));
    VERIFY_FAILED(sendMail(at, "<boss@example.jp>", "<m@example.jp>\r\nRSET\t:"));
    VERIFY_FAILED(sendMail("127.0.0.1:port", "<boss@example.jp>", "<m@example.jp>\t:"));

    // An address longer than mail allows is refused before connecting (no
    // server listens here), and the reason does not repeat the password.
    const std::string closed = "127.0.0.1:" + std::to_string(SmtpTestServer::unusedPort());
    const Outcome o = sendMail(closed, "<boss@example.jp>", "<" + std::string(65, 'l') + "@example.jp>\tuser:secret");
    VERIFY_FAILED(o);
    QCOMPARE(o.failure, std::string("Sender address longer than mail allows"));

    // Null pointers are taken as empty texts.
    char failureText[kFailureTextSize] = {};
    QVERIFY(BSendMail(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, failureText) != 0);
    QVERIFY(failureText[0] != '\0');

    QVERIFY(server.messages().isEmpty());
}

void TestBSendMail::refusedConnection()
{
    const std::string closed = "127.0.0.1:" + std::to_string(SmtpTestServer::unusedPort());
    const Outcome o = sendMail(closed, "<boss@example.jp>", "<m@example.jp>\t:");
    VERIFY_FAILED(o);
    QVERIFY2(QString::fromStdString(o.failure).contains(QStringLiteral("connect")), o.failure.c_str());
}

void TestBSendMail::refusedRecipient()
{
    SmtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    const Outcome o = sendMail(server.serverArgument(), "<unknown@example.jp>", "<m@example.jp>\t:");
    VERIFY_FAILED(o);
    QVERIFY2(QString::fromStdString(o.failure).contains(QStringLiteral("refused")), o.failure.c_str());
    QVERIFY2(QString::fromStdString(o.failure).contains(QStringLiteral("550")), o.failure.c_str());
    QVERIFY(server.messages().isEmpty());
}

void TestBSendMail::everyStageEndsWithinTheWholeMailTime_data()
{
    QTest::addColumn<QString>("stall");
    QTest::addColumn<bool>("trickle");
    QTest::addColumn<bool>("sent");
    QTest::newRow("silent from the first byte") << "greeting" << false << false;
    QTest::newRow("silent after EHLO") << "ehlo" << false << false;
    QTest::newRow("silent after DATA") << "data" << false << false;
    QTest::newRow("silent after the message") << "body" << false << false;
    QTest::newRow("silent after QUIT") << "quit" << false << true;
    QTest::newRow("one byte a second") << "" << true << false;
}

void TestBSendMail::everyStageEndsWithinTheWholeMailTime()
{
    QFETCH(QString, stall);
    QFETCH(bool, trickle);
    QFETCH(bool, sent);
    const mail::TransportOptions defaults = mail::transportOptions();
    QCOMPARE(defaults.connectTimeoutMs, 10000L);
    QCOMPARE(defaults.totalTimeoutMs, 30000L);
    QVERIFY(defaults.responseTimeoutMs < defaults.totalTimeoutMs);

    SmtpTestServer::Options options;
    options.stallAt = stall;
    options.trickle = trickle;
    SmtpTestServer server(options);
    QVERIFY2(server.start(), qPrintable(server.error()));
    mail::TransportOptions shortWait;
    shortWait.connectTimeoutMs = 400;
    shortWait.totalTimeoutMs = 1500;
    shortWait.responseTimeoutMs = 1000;
    mail::setTransportOptions(shortWait);

    QElapsedTimer clock;
    clock.start();
    const Outcome o = sendMail(server.serverArgument(), "<boss@example.jp>", "<m@example.jp>\t:");
    const qint64 took = clock.elapsed();
    QVERIFY2(took < shortWait.totalTimeoutMs + 400, qPrintable(QString::number(took)));
    if (sent) {
        VERIFY_SENT(o);
        QCOMPARE(server.messages().size(), 1);
    } else {
        VERIFY_FAILED(o);
        QVERIFY2(QString::fromStdString(o.failure).contains(QStringLiteral("in time")), o.failure.c_str());
    }
}

void TestBSendMail::nameWithLineBreaksCannotInjectHeaders()
{
    SmtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    const std::string subject = sj("【氏名】:太郎\r\nBcc: victim@example.jp\r\n\r\nfake body 開始");
    VERIFY_SENT(sendMail(server.serverArgument(), "<boss@example.jp>", "<m@example.jp>\t:", subject));

    const auto messages = server.messages();
    QCOMPARE(messages.size(), 1);
    const ReceivedMail& m = messages.first();
    QCOMPARE(m.recipients, QStringList{QStringLiteral("boss@example.jp")});
    for (const auto& h : m.headers)
        QVERIFY2(h.first.compare(QStringLiteral("Bcc"), Qt::CaseInsensitive) != 0, qPrintable(h.second));
    QCOMPARE(m.subject, QStringLiteral("【氏名】:太郎  Bcc: victim@example.jp    fake body 開始"));
    QCOMPARE(QString(m.body).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), QStringLiteral("【テストメール】\n"));
}

QTEST_GUILESS_MAIN(TestBSendMail)
#include "test_BSendMail.moc"
