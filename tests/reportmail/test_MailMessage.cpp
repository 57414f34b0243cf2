// Reading the transport arguments and writing the outgoing message.

#include "reportmail/MailMessage.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QtTest>
#include <ctime>

namespace {

// Decodes every "=?UTF-8?B?...?=" word of a folded header value and joins
// them the way a mail reader does (whitespace between encoded words drops).
QString decodeWords(const QString& value)
{
    static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([A-Za-z0-9+/=]*)\\?="));
    QByteArray bytes;
    auto it = word.globalMatch(value);
    while (it.hasNext())
        bytes += QByteArray::fromBase64(it.next().captured(1).toLatin1());
    return QString::fromUtf8(bytes);
}

QString headerValue(const std::string& message, const QString& name)
{
    const QString text = QString::fromStdString(message);
    const int end = text.indexOf(QStringLiteral("\r\n\r\n"));
    const QStringList lines = text.left(end).split(QStringLiteral("\r\n"));
    QString value;
    bool in = false;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1Char(' ')) || line.startsWith(QLatin1Char('\t'))) {
            if (in)
                value += line;
            continue;
        }
        in = line.startsWith(name + QStringLiteral(": "));
        if (in)
            value = line.mid(name.size() + 2);
    }
    return value;
}

mail::MessageParts sampleParts()
{
    mail::MessageParts parts;
    parts.from = "sender@example.jp";
    parts.to = {"boss@example.jp"};
    parts.subjectUtf8 = "【氏名】:試験太郎 終了";
    parts.bodyUtf8 = "【問題】:sample0524.txt\r\n【正解率】：66.7%\r\n";
    parts.date = "Mon, 07 Dec 2026 21:53:15 +0900";
    parts.messageId = "<1.2@example.jp>";
    return parts;
}

} // namespace

class TestMailMessage : public QObject {
    Q_OBJECT
private slots:
    void serverArgument_data();
    void serverArgument();
    void senderAndLogin();
    void addresses();
    void messageHeadersAndBody();
    void longSubjectFoldsWithinLineLimitWithoutSplittingCharacters();
    void controlCharactersNeverStartAHeader();
    void lineEndsAndDate();
};

void TestMailMessage::serverArgument_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("url");
    QTest::newRow("host and port") << "mail.example.jp:587" << true << "smtp://mail.example.jp:587";
    QTest::newRow("empty port is 25") << "mail.example.jp:" << true << "smtp://mail.example.jp:25";
    QTest::newRow("no colon") << "mail.example.jp" << true << "smtp://mail.example.jp:25";
    QTest::newRow("465 is TLS") << "mail.example.jp:465" << true << "smtps://mail.example.jp:465";
    QTest::newRow("spaces around") << " 10.0.0.1 : 25 " << true << "smtp://10.0.0.1:25";
    QTest::newRow("bracketed v6") << "[::1]:2525" << true << "smtp://[::1]:2525";
    QTest::newRow("bare v6") << "::1:2525" << true << "smtp://[::1]:2525";
    QTest::newRow("empty settings") << ":" << false << "";
    QTest::newRow("empty") << "" << false << "";
    QTest::newRow("port text") << "mail.example.jp:smtp" << false << "";
    QTest::newRow("port zero") << "mail.example.jp:0" << false << "";
    QTest::newRow("port too big") << "mail.example.jp:65536" << false << "";
    QTest::newRow("url injection") << "evil.example/x?y@mail:25" << false << "";
    QTest::newRow("line break") << "mail.example.jp\r\nRCPT:25" << false << "";
    QTest::newRow("option-like") << "-mail:25" << false << "";
}

void TestMailMessage::serverArgument()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, url);
    mail::ServerAddress server;
    std::string error;
    QCOMPARE(mail::parseServer(text.toStdString(), server, error), ok);
    if (ok)
        QCOMPARE(QString::fromStdString(mail::serverUrl(server)), url);
    else
        QVERIFY(!error.empty() && error.size() < 80);
}

void TestMailMessage::senderAndLogin()
{
    auto s = mail::parseSenderAndLogin("<a@b.jp>\tuser:pa:ss");
    QCOMPARE(s.from, std::string("<a@b.jp>"));
    QCOMPARE(s.id, std::string("user"));
    QCOMPARE(s.password, std::string("pa:ss")); // split at the first colon

    s = mail::parseSenderAndLogin("<>\t:");
    QCOMPARE(s.from, std::string("<>"));
    QVERIFY(s.id.empty() && s.password.empty());

    s = mail::parseSenderAndLogin("<a@b.jp>"); // no login part at all
    QCOMPARE(s.from, std::string("<a@b.jp>"));
    QVERIFY(s.id.empty() && s.password.empty());
}

void TestMailMessage::addresses()
{
    std::string address;
    std::string error;
    QVERIFY(mail::parseAddress("< a@b.jp >", address, error, "sender"));
    QCOMPARE(address, std::string("a@b.jp"));
    QVERIFY(!mail::parseAddress("<>", address, error, "sender"));
    QCOMPARE(error, std::string("No sender address is set"));
    for (const char* bad : {"<a b@c.jp>", "<a@b.jp>\r\nBcc: x@y.jp", "<a>", "<@b.jp>", "<a@>", "<a@b@c>",
                            "<\x8E\x8E@b.jp>", "<a@b.jp\x01>", "<a@b.jp>>"}) {
        error.clear();
        QVERIFY2(!mail::parseAddress(bad, address, error, "sender"), bad);
        QCOMPARE(error, std::string("Invalid sender address"));
    }

    // A local part of 64 octets and an address of 254 (a path of 256) fit.
    const std::string local64(64, 'l');
    const std::string domain(254 - 65, 'd');
    QVERIFY(mail::parseAddress("<" + local64 + "@" + domain + ">", address, error, "sender"));
    for (const std::string& overlong : {"l" + local64 + "@b.jp", local64 + "@" + domain + "d"}) {
        QVERIFY(!mail::parseAddress(overlong, address, error, "sender"));
        QCOMPARE(error, std::string("Sender address longer than mail allows"));
    }

    std::vector<std::string> to;
    QVERIFY(!mail::parseRecipients("<a@x.jp, " + local64 + "@" + domain + "d>", to, error));
    QCOMPARE(error, std::string("Recipient address longer than mail allows"));
    QVERIFY(mail::parseRecipients("<boss@example.jp>", to, error));
    QCOMPARE(to, std::vector<std::string>{"boss@example.jp"});
    QVERIFY(mail::parseRecipients("<a@x.jp, b@y.jp;c@z.jp;>", to, error));
    QCOMPARE(to, (std::vector<std::string>{"a@x.jp", "b@y.jp", "c@z.jp"}));
    QVERIFY(!mail::parseRecipients("<>", to, error));
    QCOMPARE(error, std::string("No recipient address is set"));
    QVERIFY(!mail::parseRecipients("<a@x.jp, junk>", to, error));
    QCOMPARE(error, std::string("Invalid recipient address"));
}

void TestMailMessage::messageHeadersAndBody()
{
    const std::string message = mail::buildMessage(sampleParts());
    const QString text = QString::fromStdString(message);
    const int end = text.indexOf(QStringLiteral("\r\n\r\n"));
    QVERIFY(end > 0);

    QCOMPARE(headerValue(message, QStringLiteral("Date")), QStringLiteral("Mon, 07 Dec 2026 21:53:15 +0900"));
    QCOMPARE(headerValue(message, QStringLiteral("From")), QStringLiteral("sender@example.jp"));
    QCOMPARE(headerValue(message, QStringLiteral("To")), QStringLiteral("boss@example.jp"));
    QCOMPARE(headerValue(message, QStringLiteral("Message-ID")), QStringLiteral("<1.2@example.jp>"));
    QCOMPARE(headerValue(message, QStringLiteral("MIME-Version")), QStringLiteral("1.0"));
    QCOMPARE(headerValue(message, QStringLiteral("Content-Type")), QStringLiteral("text/plain; charset=UTF-8"));
    QCOMPARE(headerValue(message, QStringLiteral("Content-Transfer-Encoding")), QStringLiteral("base64"));
    QCOMPARE(decodeWords(headerValue(message, QStringLiteral("Subject"))), QStringLiteral("【氏名】:試験太郎 終了"));

    // Only 7-bit text goes on the wire; the body decodes to the UTF-8 text.
    for (char c : message)
        QVERIFY(static_cast<unsigned char>(c) < 0x80);
    const QByteArray body = QByteArray::fromStdString(message.substr(static_cast<std::size_t>(end) + 4));
    for (const QByteArray& line : body.split('\n'))
        QVERIFY(line.size() <= 77);
    QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(body)),
             QStringLiteral("【問題】:sample0524.txt\r\n【正解率】：66.7%\r\n"));

    // A plain ASCII subject stays readable.
    auto parts = sampleParts();
    parts.subjectUtf8 = "Hello";
    QCOMPARE(headerValue(mail::buildMessage(parts), QStringLiteral("Subject")), QStringLiteral("Hello"));
    // One that looks like an encoded word does not.
    parts.subjectUtf8 = "=?UTF-8?B?QUJD?=";
    QCOMPARE(decodeWords(headerValue(mail::buildMessage(parts), QStringLiteral("Subject"))),
             QStringLiteral("=?UTF-8?B?QUJD?="));

    // Several recipients in one To header.
    parts.to = {"a@x.jp", "b@y.jp"};
    QCOMPARE(headerValue(mail::buildMessage(parts), QStringLiteral("To")), QStringLiteral("a@x.jp, b@y.jp"));
}

void TestMailMessage::longSubjectFoldsWithinLineLimitWithoutSplittingCharacters()
{
    auto parts = sampleParts();
    QString name;
    for (int i = 0; i < 40; ++i)
        name += QStringLiteral("試験漢字𠮷");
    parts.subjectUtf8 = ("【氏名】:" + name + " 開始").toStdString();
    const std::string message = mail::buildMessage(parts);
    const QString header = QString::fromStdString(message.substr(0, message.find("\r\n\r\n")));
    for (const QString& line : header.split(QStringLiteral("\r\n")))
        QVERIFY2(line.size() <= 78, qPrintable(line));

    // Every encoded word holds whole characters on its own.
    static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([A-Za-z0-9+/=]*)\\?="));
    auto it = word.globalMatch(headerValue(message, QStringLiteral("Subject")));
    int words = 0;
    while (it.hasNext()) {
        const QByteArray bytes = QByteArray::fromBase64(it.next().captured(1).toLatin1());
        QCOMPARE(QString::fromUtf8(bytes).toUtf8(), bytes);
        ++words;
    }
    QVERIFY(words > 10);
    QCOMPARE(decodeWords(headerValue(message, QStringLiteral("Subject"))), "【氏名】:" + name + " 開始");
}

void TestMailMessage::controlCharactersNeverStartAHeader()
{
    auto parts = sampleParts();
    parts.subjectUtf8 = "【氏名】:x\r\nBcc: victim@example.jp\r\n\r\nbody\x01\t 開始";
    const std::string message = mail::buildMessage(parts);
    const QString header = QString::fromStdString(message.substr(0, message.find("\r\n\r\n")));
    QVERIFY(!header.contains(QStringLiteral("Bcc"), Qt::CaseInsensitive));
    for (const QString& line : header.split(QStringLiteral("\r\n")))
        QVERIFY2(line.contains(QRegularExpression(QStringLiteral("^([A-Za-z-]+: | )"))), qPrintable(line));
    QCOMPARE(decodeWords(headerValue(message, QStringLiteral("Subject"))),
             QStringLiteral("【氏名】:x  Bcc: victim@example.jp    body  開始"));

    // Even an ASCII-only subject cannot break the header.
    parts.subjectUtf8 = "x\r\nBcc: victim@example.jp";
    const std::string plain = mail::buildMessage(parts);
    QCOMPARE(headerValue(plain, QStringLiteral("Subject")), QStringLiteral("x  Bcc: victim@example.jp"));
    QVERIFY(headerValue(plain, QStringLiteral("Bcc")).isEmpty());
}

void TestMailMessage::lineEndsAndDate()
{
    QCOMPARE(mail::normalizeLineEnds("a\nb\rc\r\nd\n\n"), std::string("a\r\nb\r\nc\r\nd\r\n\r\n"));
    QCOMPARE(mail::base64Lines(""), std::string());
    QCOMPARE(mail::base64Lines("ab"), std::string("YWI=\r\n"));

    // Local time and zone, east and west of UTC, in English whatever the locale.
    const QByteArray oldZone = qgetenv("TZ");
    const std::pair<const char*, const char*> zones[] = {
        {"UTC0", "Thu, 01 Jan 1970 00:00:00 +0000"},
        {"JST-9", "Thu, 01 Jan 1970 09:00:00 +0900"},
        {"IST-5:30", "Thu, 01 Jan 1970 05:30:00 +0530"},
        {"EST5", "Wed, 31 Dec 1969 19:00:00 -0500"},
        {"NST3:30", "Wed, 31 Dec 1969 20:30:00 -0330"},
    };
    for (const auto& [zone, date] : zones) {
        qputenv("TZ", zone);
        tzset();
        QCOMPARE(QString::fromStdString(mail::formatDate(0)), QString::fromLatin1(date));
    }
    if (oldZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldZone);
    tzset();

    const std::string a = mail::makeMessageId("sender@example.jp", 100);
    const std::string b = mail::makeMessageId("sender@example.jp", 100);
    QVERIFY(a != b);
    QVERIFY(QString::fromStdString(a).contains(QRegularExpression(QStringLiteral("^<[0-9a-f]+\\.100@example\\.jp>$"))));
}

QTEST_GUILESS_MAIN(TestMailMessage)
#include "test_MailMessage.moc"
