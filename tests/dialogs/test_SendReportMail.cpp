// The main window's mail step when a mail fails or takes long: the outcome
// reaches a message box, and the window keeps painting while it waits (or
// goes away). Which mail is due and what its outcome says is the run's
// (tests/testrun); mails that go through are followed in test_run_mails and
// test_setting_test_mail.

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

} // namespace

class TestSendReportMail : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

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
