// Text from mails, servers and other people's files, printed on a terminal.

#include "core/TerminalText.h"

#include <QTest>

class TestTerminalText : public QObject {
    Q_OBJECT
private slots:
    void controlsBecomeVisible_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("clear screen") << QByteArray("a\x1b[2Jb") << QStringLiteral("a␛[2Jb");
        QTest::newRow("window title") << QByteArray("\x1b]0;pwned\x07") << QStringLiteral("␛]0;pwned␇");
        QTest::newRow("fake line") << QByteArray("x\r\nTotal: 0\n") << QStringLiteral("x␍␊Total: 0␊");
        QTest::newRow("tab, nul, del") << QByteArray("\t\0\x7f", 3) << QStringLiteral("␉␀␡");
        QTest::newRow("C1 CSI") << QByteArray("a\xc2\x9b" "2J") << QStringLiteral("a<U+009B>2J");
        QTest::newRow("bidi override") << QByteArray("\xe2\x80\xae" "txt.exe") << QStringLiteral("<U+202E>txt.exe");
        QTest::newRow("broken UTF-8") << QByteArray("a\xff\xc3(") << QStringLiteral("a\uFFFD\uFFFD(");
        QTest::newRow("overlong ESC") << QByteArray("\xc0\x9b") << QStringLiteral("\uFFFD\uFFFD");
        QTest::newRow("cut at the end") << QByteArray("\xe6\x97") << QStringLiteral("\uFFFD\uFFFD");
        QTest::newRow("kept") << QByteArray("山田 花子 <a@b> 𠮷 ～") << QStringLiteral("山田 花子 <a@b> 𠮷 ～");
    }
    void controlsBecomeVisible()
    {
        QFETCH(QByteArray, in);
        QFETCH(QString, out);
        QCOMPARE(QString::fromStdString(termtext::visible(std::string_view(in.constData(), in.size()))), out);
    }
};

QTEST_APPLESS_MAIN(TestTerminalText)
#include "test_terminal_text.moc"
