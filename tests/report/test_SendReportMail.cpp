// The main window's report mails, end to end: settings from Parameter.INI,
// a real SMTP server, the outcome message boxes and the result log.

#include "app/CTestDlg.h"
#include "report/BSendMail.h"
#include "run/ResultLog.h"
#include "support/SmtpTestServer.h"
#include "support/TestSupport.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QtTest>

namespace {

const QString kFailed = QStringLiteral("送信に失敗しました\r\n試験中止\r\nシステム管理者へ連絡して下さい");
const QString kTestMailSent = QStringLiteral("テストメールの送信を完了しました");
const QString kResultMailSent = QStringLiteral("テスト結果の送信を完了しました\r\nお疲れ様でした\r\n終了ボタンで終了して下さい");

void writeAccount(const TestFolder& folder, int port)
{
    const QString ini = QStringLiteral("[SMTP]\n1=127.0.0.1\n[PORT]\n1=%1\n[TO]\n1=boss@example.jp\n"
                                       "[FROM]\n1=molvane@example.jp\n[ID]\n1=\n[PW]\n1=\n[MAIL]\n1=1\n")
                            .arg(port);
    folder.writeIni(ini.toUtf8().constData());
}

QString unixLines(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// The log of a three-question run, as the runner leaves it.
void writeRunLog(int correct)
{
    resultLog().clear();
    resultLog().writeHeader("sample0524.txt", sj("試験太郎"), 3, 2, 10);
    for (int i = 1; i <= 3; ++i)
        resultLog().appendResultLine(i, i <= correct ? 0 : 1);
}

} // namespace

class TestSendReportMail : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void testMail();
    void startMailShowsNothing();
    void resultMail();
    void failuresAreReported();
    void emptySettingsAreTriedAndFail();
    void windowKeepsPaintingWhileSending();
    void windowDestroyedWhileSending();

private:
    std::unique_ptr<SmtpTestServer> m_server;
};

void TestSendReportMail::init()
{
    mail::resetTransportOptions();
    resultLog().clear();
    m_server = std::make_unique<SmtpTestServer>();
    QVERIFY2(m_server->start(), qPrintable(m_server->error()));
}

void TestSendReportMail::cleanup()
{
    m_server.reset();
    mail::resetTransportOptions();
    resultLog().clear();
}

void TestSendReportMail::testMail()
{
    TestFolder folder;
    writeAccount(folder, m_server->port());
    MessageBoxRecorder boxes;
    CTestDlg dlg;
    dlg.SendReportMail(0);

    QCOMPARE(boxes.texts(), QStringList{kTestMailSent});
    QCOMPARE(boxes.shown().first().icon, MessageBox::Icon::Information);
    QCOMPARE(boxes.shown().first().buttons, MessageBox::Buttons::Ok);
    const auto messages = m_server->messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].subject, QStringLiteral("【テストメール】"));
    QCOMPARE(unixLines(messages[0].body), QStringLiteral("【テストメール】\n"));
    QCOMPARE(messages[0].mailFrom, QStringLiteral("molvane@example.jp"));
    QCOMPARE(messages[0].recipients, QStringList{QStringLiteral("boss@example.jp")});
}

void TestSendReportMail::startMailShowsNothing()
{
    TestFolder folder;
    writeAccount(folder, m_server->port());
    MessageBoxRecorder boxes;
    CTestDlg dlg;
    dlg.m_strName = sj("試験 太郎");
    writeRunLog(1);
    const std::string log = resultLog().text();
    dlg.SendReportMail(1);

    QCOMPARE(boxes.count(), 0);
    QCOMPARE(resultLog().text(), log);
    const auto messages = m_server->messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].subject, QStringLiteral("【氏名】:試験 太郎 開始"));
    QCOMPARE(unixLines(messages[0].body), QStringLiteral("【テストスタート】\n"));
}

void TestSendReportMail::resultMail()
{
    TestFolder folder;
    writeAccount(folder, m_server->port());
    MessageBoxRecorder boxes;
    CTestDlg dlg;
    dlg.m_strName = sj("試験太郎");
    dlg.m_nAsked = 3;
    dlg.m_nCorrect = 2;
    writeRunLog(2);
    const std::string judged = resultLog().text();

    dlg.SendReportMail(2);

    const std::string expected = judged + sj("【正解率】：66.7%\r\n");
    QCOMPARE(resultLog().text(), expected);
    QCOMPARE(boxes.texts(), QStringList{kResultMailSent});
    QCOMPARE(boxes.shown().first().icon, MessageBox::Icon::Information);
    const auto messages = m_server->messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].subject, QStringLiteral("【氏名】:試験太郎 終了"));
    QCOMPARE(unixLines(messages[0].body), unixLines(QString::fromStdString(sjis::toUtf8(expected))));
}

void TestSendReportMail::failuresAreReported()
{
    TestFolder folder;
    writeAccount(folder, SmtpTestServer::unusedPort());
    MessageBoxRecorder boxes;
    CTestDlg dlg;
    dlg.m_strName = sj("試験太郎");

    dlg.SendReportMail(1); // a failed start mail goes unnoticed
    QCOMPARE(boxes.count(), 0);

    dlg.SendReportMail(0);
    QCOMPARE(boxes.texts(), QStringList{kFailed});
    QCOMPARE(boxes.shown().first().icon, MessageBox::Icon::Information);

    // The result mail leaves its rate line in the log even when it fails,
    // and is not tried again.
    boxes.clear();
    dlg.m_nAsked = 3;
    dlg.m_nCorrect = 2;
    writeRunLog(2);
    const std::string judged = resultLog().text();
    dlg.SendReportMail(2);
    QCOMPARE(resultLog().text(), judged + sj("【正解率】：66.7%\r\n"));
    QCOMPARE(boxes.texts(), QStringList{kFailed});
    QVERIFY(m_server->messages().isEmpty());
}

void TestSendReportMail::emptySettingsAreTriedAndFail()
{
    TestFolder folder; // no Parameter.INI
    MessageBoxRecorder boxes;
    CTestDlg dlg;
    dlg.SendReportMail(0);
    QCOMPARE(boxes.texts(), QStringList{kFailed});
}

void TestSendReportMail::windowKeepsPaintingWhileSending()
{
    SmtpTestServer::Options options;
    options.silent = true;
    SmtpTestServer silent(options);
    QVERIFY2(silent.start(), qPrintable(silent.error()));
    mail::TransportOptions shortWait;
    shortWait.connectTimeoutMs = 500;
    shortWait.totalTimeoutMs = 1500;
    mail::setTransportOptions(shortWait);

    TestFolder folder;
    writeAccount(folder, silent.port());
    MessageBoxRecorder boxes;
    CTestDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    // While the mail hangs, timers fire, the window repaints and shows the
    // busy cursor; the cursor is back before the outcome is shown.
    int ticks = 0;
    bool busy = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &dlg, [&] {
        ++ticks;
        busy = QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
        dlg.repaint();
    });
    bool cursorBackAtOutcome = false;
    boxes.onShow([&](const MessageBox::Shown&) { cursorBackAtOutcome = !QGuiApplication::overrideCursor(); });
    timer.start(50);
    dlg.SendReportMail(0);
    timer.stop();

    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    QVERIFY(busy);
    QVERIFY(cursorBackAtOutcome);
    QCOMPARE(boxes.texts(), QStringList{kFailed});
}

void TestSendReportMail::windowDestroyedWhileSending()
{
    SmtpTestServer::Options options;
    options.silent = true;
    SmtpTestServer silent(options);
    QVERIFY2(silent.start(), qPrintable(silent.error()));
    mail::TransportOptions shortWait;
    shortWait.connectTimeoutMs = 300;
    shortWait.totalTimeoutMs = 800;
    mail::setTransportOptions(shortWait);

    TestFolder folder;
    writeAccount(folder, silent.port());
    MessageBoxRecorder boxes;
    QPointer<CTestDlg> dlg = new CTestDlg;
    dlg->m_nAsked = 1;
    dlg->m_nCorrect = 1;
    QTimer::singleShot(100, dlg.data(), [&dlg] { dlg->deleteLater(); });
    dlg->SendReportMail(2);

    QVERIFY(dlg.isNull()); // gone before the outcome was shown
    QCOMPARE(boxes.texts(), QStringList{kFailed});
    QCOMPARE(resultLog().text(), sj("【正解率】：100.0%\r\n"));
}

QTEST_MAIN(TestSendReportMail)
#include "test_SendReportMail.moc"
