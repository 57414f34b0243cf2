// The result log, byte for byte.

#include "TestSupport.h"
#include "reportmail/ResultLog.h"

#include <QTest>
#include <clocale>

class TestResultLog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The locale the user set, as the program gets it through Qt. Run
        // under one with a decimal comma, make sure it really is in force.
        std::setlocale(LC_ALL, "");
        if (qEnvironmentVariable("LC_ALL").startsWith(QLatin1String("de_DE")))
            QCOMPARE(std::string(std::localeconv()->decimal_point), std::string(","));
    }

    void workedExample()
    {
        ResultLog log;
        log.writeHeader("sample0524.txt", sj("試験太郎"), 3, 2, 10);
        log.appendResultLine(1, 0);
        log.appendResultLine(2, 1);
        log.appendResultLine(3, 0);
        log.appendRateLine(2, 3);
        QCOMPARE(log.text(), sj("【問題】:sample0524.txt\r\n"
                                "【氏名】:試験太郎\r\n"
                                "【出題数】:3題\r\n"
                                "【ミス許容数】:2回\r\n"
                                "【制限時間】:10秒\r\n"
                                "【結果 *正解, -不正解】\r\n"
                                " (1):*\r\n"
                                " (2):-\r\n"
                                " (3):*\r\n"
                                "【正解率】：66.7%\r\n"));
    }

    // Every rate the program writes is formatted here, in any locale.
    void rates_data()
    {
        QTest::addColumn<int>("correct");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("rate");
        QTest::newRow("all") << 3 << 3 << "100.0";
        QTest::newRow("none") << 0 << 3 << " 0.0";
        QTest::newRow("two of three") << 2 << 3 << "66.7";
        QTest::newRow("one of eight") << 1 << 8 << "12.5";
        QTest::newRow("nothing judged") << 0 << 0 << " 0.0";
    }
    void rates()
    {
        QFETCH(int, correct);
        QFETCH(int, asked);
        QFETCH(QString, rate);
        QCOMPARE(QString::fromStdString(formatRate(correct, asked)), rate);
    }

    // A pasted name with line breaks cannot add lines such as " (1):*".
    void nameStaysOnItsLine()
    {
        ResultLog log;
        log.writeHeader("q.txt", sj("花子\r\n (1):*\tX\x01"), 1, 1, 1);
        QCOMPARE(log.text().substr(0, log.text().find("\r\n", log.text().find("\r\n") + 2) + 2),
                 sj("【問題】:q.txt\r\n【氏名】:花子   (1):* X\r\n"));
    }

    void anyWrongResultIsAMinus()
    {
        ResultLog log;
        log.appendResultLine(12, 7);
        QCOMPARE(log.text(), std::string(" (12):-\r\n"));
        log.clear();
        QVERIFY(log.text().empty());
    }
};

QTEST_APPLESS_MAIN(TestResultLog)
#include "test_result_log.moc"
