// Composition of the three report mails: subjects, bodies, the rate line and
// the arguments handed to the mail transport, byte for byte.

#include "reportmail/ReportMail.h"
#include "reportmail/ResultLog.h"
#include "settings/AppProfile.h"
#include "support/TestSupport.h"

#include <QtTest>

class TestReportMail : public QObject {
    Q_OBJECT
private slots:
    void subjectsAndBodies();
    void resultMailAppendsRateLineToTheLogItself();
    void argumentsFromStoredTextsExactlyAsStored();
    void argumentsWithEmptySettings();
    void outcomeMessages();
};

void TestReportMail::subjectsAndBodies()
{
    const std::string name = sj("試験太郎");
    QCOMPARE(mail::subjectFor(mail::kTestMail, name), sj("【テストメール】"));
    QCOMPARE(mail::subjectFor(mail::kStartMail, name), sj("【氏名】:試験太郎 開始"));
    QCOMPARE(mail::subjectFor(mail::kResultMail, name), sj("【氏名】:試験太郎 終了"));
    // The colon and the space are single bytes.
    QCOMPARE(mail::subjectFor(mail::kStartMail, "A"), std::string("\x81\x79\x8E\x81\x96\xBC\x81\x7A:A \x8A\x4A\x8E\x6E"));
    // An empty name still gives the label and the ending.
    QCOMPARE(mail::subjectFor(mail::kResultMail, ""), sj("【氏名】: 終了"));
    QCOMPARE(mail::subjectFor(mail::kStartMail, sj(" 花子  ")), sj("【氏名】: 花子   開始")); // spaces as typed

    QCOMPARE(mail::fixedBodyFor(mail::kTestMail), sj("【テストメール】\r\n"));
    QCOMPARE(mail::fixedBodyFor(mail::kStartMail), sj("【テストスタート】\r\n"));

    TestFolder folder;
    ResultLog log;
    log.writeHeader("q.txt", name, 3, 2, 10);
    const std::string before = log.text();
    const auto start = mail::composeMail(mail::kStartMail, name, 1, 1, log, appProfile());
    QCOMPARE(start.subject, sj("【氏名】:試験太郎 開始"));
    QCOMPARE(start.body, sj("【テストスタート】\r\n"));
    const auto test = mail::composeMail(mail::kTestMail, name, 1, 1, log, appProfile());
    QCOMPARE(test.body, sj("【テストメール】\r\n"));
    // Neither touches the result log.
    QCOMPARE(log.text(), before);
}

void TestReportMail::resultMailAppendsRateLineToTheLogItself()
{
    // The rate's format is the result log's (test_result_log); here: the
    // line goes into the log itself and the whole log is the body.
    TestFolder folder;
    ResultLog log;
    log.writeHeader("sample0524.txt", sj("試験太郎"), 3, 2, 10);
    log.appendResultLine(1, 0);
    log.appendResultLine(2, 1);
    log.appendResultLine(3, 0);
    const std::string judged = log.text();

    const auto result = mail::composeMail(mail::kResultMail, sj("試験太郎"), 2, 3, log, appProfile());
    const std::string expected = judged + sj("【正解率】：66.7%\r\n");
    QCOMPARE(log.text(), expected);
    QCOMPARE(result.body, expected);
    QCOMPARE(result.subject, sj("【氏名】:試験太郎 終了"));
}

void TestReportMail::argumentsFromStoredTextsExactlyAsStored()
{
    TestFolder folder;
    folder.writeIni("[SMTP]\n1=mail.example.jp\n[PORT]\n1=587\n[TO]\n1=boss@example.jp\n"
                    "[FROM]\n1=試験@example.jp\n[ID]\n1=user\n[PW]\n1=pa:ss word\n");
    ResultLog log;
    const auto m = mail::composeMail(mail::kTestMail, "", 0, 0, log, appProfile());
    QCOMPARE(m.arguments.server, std::string("mail.example.jp:587"));
    QCOMPARE(m.arguments.recipient, std::string("<boss@example.jp>"));
    // Shift-JIS and the spaces and colons inside the values are kept as they are.
    QCOMPARE(m.arguments.sender, "<" + sj("試験") + "@example.jp>\tuser:pa:ss word");
}

void TestReportMail::argumentsWithEmptySettings()
{
    TestFolder folder; // no Parameter.INI at all
    ResultLog log;
    const auto m = mail::composeMail(mail::kStartMail, "x", 0, 0, log, appProfile());
    QCOMPARE(m.arguments.server, std::string(":"));
    QCOMPARE(m.arguments.recipient, std::string("<>"));
    QCOMPARE(m.arguments.sender, std::string("<>\t:"));

    folder.writeIni("[SMTP]\n1=\n[PORT]\n1=\n[TO]\n1=\n[FROM]\n1=\n[ID]\n1=\n[PW]\n1=\n");
    const auto n = mail::composeMail(mail::kStartMail, "x", 0, 0, log, appProfile());
    QCOMPARE(n.arguments.server, std::string(":"));
    QCOMPARE(n.arguments.recipient, std::string("<>"));
    QCOMPARE(n.arguments.sender, std::string("<>\t:"));
}

void TestReportMail::outcomeMessages()
{
    const std::string failed = sj("送信に失敗しました\r\n試験中止\r\nシステム管理者へ連絡して下さい");
    QCOMPARE(mail::outcomeMessage(mail::kTestMail, false), failed);
    QCOMPARE(mail::outcomeMessage(mail::kResultMail, false), failed);
    QCOMPARE(mail::outcomeMessage(mail::kTestMail, true), sj("テストメールの送信を完了しました"));
    QCOMPARE(mail::outcomeMessage(mail::kResultMail, true),
             sj("テスト結果の送信を完了しました\r\nお疲れ様でした\r\n終了ボタンで終了して下さい"));
    QVERIFY(mail::outcomeMessage(mail::kStartMail, true).empty());
    QVERIFY(mail::outcomeMessage(mail::kStartMail, false).empty());
}

QTEST_GUILESS_MAIN(TestReportMail)
#include "test_ReportMail.moc"
