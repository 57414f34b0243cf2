// The main window's report mails when they fail or take long: the outcome
// message boxes, the result log, and the window while it waits. Mails that go
// through are followed in test_run_mails and test_setting_test_mail.

#include "dialogs/CTestDlg.h"
#include "reportmail/BSendMail.h"
#include "reportmail/ResultLog.h"
#include "support/SmtpTestServer.h"
#include "support/TestSupport.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QtTest>

namespace {

const QString kFailed = QStringLiteral("送信に失敗しました\r\n試験中止\r\nシステム管理者へ連絡して下さい");

void writeAccount(const TestFolder& folder, int port)
{
    const QString ini = QStringLiteral("[SMTP]\n1=127.0.0.1\n[PORT]\n1=%1\n[TO]\n1=boss@example.jp\n"
                                       "[FROM]\n1=molvane@example.jp\n[ID]\n1=\n[PW]\n1=\n[MAIL]\n1=1\n")
                            .arg(port);
    folder.writeIni(ini.toUtf8().constData());
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

    void failuresAreReported();
    void emptySettingsAreTriedAndFail();
    void windowKeepsPaintingWhileSending();
    void windowDestroyedWhileSending();
};

void TestSendReportMail::init()
{
    mail::resetTransportOptions();
    resultLog().clear();
}

void TestSendReportMail::cleanup()
{
    mail::resetTransportOptions();
    resultLog().clear();
}

void TestSendReportMail::failuresAreReported()
{
    TestFolder folder;
    writeAccount(folder, SmtpTestServer::unusedPort());
    MessageBoxRecorder boxes;
    CTestDlg dlg;
    dlg.run().m_strName = sj("試験太郎");

    dlg.SendReportMail(1); // a failed start mail goes unnoticed
    QCOMPARE(boxes.count(), 0);

    dlg.SendReportMail(0);
    QCOMPARE(boxes.texts(), QStringList{kFailed});
    QCOMPARE(boxes.shown().first().icon, MessageBox::Icon::Information);

    // The result mail leaves its rate line in the log even when it fails,
    // and is not tried again.
    boxes.clear();
    dlg.run().m_nAsked = 3;
    dlg.run().m_nCorrect = 2;
    writeRunLog(2);
    const std::string judged = resultLog().text();
    dlg.SendReportMail(2);
    QCOMPARE(resultLog().text(), judged + sj("【正解率】：66.7%\r\n"));
    QCOMPARE(boxes.texts(), QStringList{kFailed});
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
    dlg->run().m_nAsked = 1;
    dlg->run().m_nCorrect = 1;
    QTimer::singleShot(100, dlg.data(), [&dlg] { dlg->deleteLater(); });
    dlg->SendReportMail(2);

    QVERIFY(dlg.isNull()); // gone before the outcome was shown
    QCOMPARE(boxes.texts(), QStringList{kFailed});
    QCOMPARE(resultLog().text(), sj("【正解率】：100.0%\r\n"));
}

QTEST_MAIN(TestSendReportMail)
#include "test_SendReportMail.moc"
