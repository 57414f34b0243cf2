// The mails of whole test runs, received by a real SMTP server.

#include "TestSupport.h"
#include "dialogs/CTestDlg.h"
#include "platform/TimerPeriods.h"
#include "reportmail/BSendMail.h"
#include "reportmail/ResultLog.h"
#include "support/SmtpTestServer.h"
#include "ui_CTestDlg.h"

#include <QApplication>
#include <QTest>
#include <qpa/qwindowsysteminterface.h>

namespace {

const QString kResultMailSent =
    QStringLiteral("テスト結果の送信を完了しました\r\nお疲れ様でした\r\n終了ボタンで終了して下さい");

struct Run {
    Run(SmtpTestServer& server, const char* settings) : prepared(prepare(server.port(), settings)) { dlg.show(); }

    bool prepare(int port, const char* settings)
    {
        const QString ini = QStringLiteral("[SMTP]\n1=127.0.0.1\n[PORT]\n1=%1\n[TO]\n1=boss@example.jp\n"
                                           "[FROM]\n1=molvane@example.jp\n[QUESTION]\n1=bank.txt\n"
                                           "[TIME_LIMIT]\n1=10\n")
                                .arg(port) +
                            QString::fromUtf8(settings);
        folder.writeIni(ini.toUtf8().constData());
        std::vector<question::QuestionRecord> records;
        for (int n = 1; n <= 3; ++n)
            records.push_back(makeQuestion(("問題" + std::to_string(n)).c_str(), n));
        folder.writeQuestions("bank.txt", records);
        return true;
    }

    void start(const char* name)
    {
        dlg.ui()->nameEdit->setText(QString::fromUtf8(name));
        QTest::mouseClick(dlg.ui()->startButton, Qt::LeftButton);
    }

    void answer(bool right)
    {
        const int position = right ? dlg.run().m_nAnswerPos : dlg.run().m_nAnswerPos % 5 + 1;
        QPushButton* buttons[] = {dlg.ui()->answerButton1, dlg.ui()->answerButton2, dlg.ui()->answerButton3,
                                  dlg.ui()->answerButton4, dlg.ui()->answerButton5};
        QTest::mouseClick(buttons[position - 1], Qt::LeftButton);
    }

    TestFolder folder;
    MessageBoxRecorder boxes;
    SoundRecorder sounds;
    bool prepared;
    CTestDlg dlg;
};

QStringList subjects(const SmtpTestServer& server)
{
    QStringList out;
    for (const ReceivedMail& m : server.messages())
        out << m.subject;
    return out;
}

} // namespace

class TestRunMails : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TimerPeriods::setOneSecondMs(5); }

    void init()
    {
        resultLog().clear();
        m_server = std::make_unique<SmtpTestServer>();
        QVERIFY2(m_server->start(), qPrintable(m_server->error()));
    }

    void cleanup() { m_server.reset(); }

    void completeRunSendsStartAndResultMails()
    {
        Run run(*m_server, "[QUESTION_CNT]\n1=3\n[LIFE]\n1=2\n[MAIL]\n1=1\n");
        run.start("試験太郎");
        QCOMPARE(subjects(*m_server), QStringList{QStringLiteral("【氏名】:試験太郎 開始")});
        QCOMPARE(m_server->messages()[0].body.trimmed(), QStringLiteral("【テストスタート】"));
        QCOMPARE(m_server->messages()[0].mailFrom, QStringLiteral("molvane@example.jp"));
        QCOMPARE(m_server->messages()[0].recipients, QStringList{QStringLiteral("boss@example.jp")});
        QVERIFY(run.boxes.texts().isEmpty()); // the start mail never reports
        run.answer(true);
        run.answer(false);
        run.answer(true);

        QCOMPARE(subjects(*m_server),
                 (QStringList{QStringLiteral("【氏名】:試験太郎 開始"), QStringLiteral("【氏名】:試験太郎 終了")}));
        QString body = m_server->messages()[1].body;
        QCOMPARE(body.replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                 QStringLiteral("【問題】:bank.txt\n【氏名】:試験太郎\n【出題数】:3題\n【ミス許容数】:2回\n"
                                "【制限時間】:10秒\n【結果 *正解, -不正解】\n (1):*\n (2):-\n (3):*\n"
                                "【正解率】：66.7%\n"));
        // "終了!!" first, then the line, then the mail and its outcome.
        QCOMPARE(run.boxes.texts(), (QStringList{QStringLiteral("終了!!"), kResultMailSent}));
        QCOMPARE(run.boxes.shown()[1].icon, MessageBox::Icon::Information);
        // The rate line stays in the log itself.
        QVERIFY(resultLog().text().find(sj("【正解率】：66.7%\r\n")) != std::string::npos);
    }

    void nameTheMailsCannotCarryIsRefusedBeforeAnyMail()
    {
        Run run(*m_server, "[QUESTION_CNT]\n1=3\n[LIFE]\n1=2\n");
        run.start("𠮷田花子");
        QCOMPARE(run.boxes.count(), 1);
        QVERIFY2(run.boxes.texts()[0].contains(QStringLiteral("「𠮷」（U+20BB7）")), qPrintable(run.boxes.texts()[0]));
        QCOMPARE(run.boxes.shown()[0].icon, MessageBox::Icon::Stop);
        QVERIFY(m_server->messages().isEmpty());
        QVERIFY(!run.dlg.isRunning());
        QVERIFY(run.dlg.ui()->nameEdit->isEnabled());
        QCOMPARE(run.dlg.ui()->nameEdit->text(), QStringLiteral("𠮷田花子"));
        // With the character replaced, the test starts under the name typed.
        run.start("吉田花子");
        QCOMPARE(subjects(*m_server), QStringList{QStringLiteral("【氏名】:吉田花子 開始")});
    }

    void inputWhileAMailIsOnItsWayIsDiscarded_data()
    {
        QTest::addColumn<bool>("click");
        QTest::newRow("click on answer button 1") << true;
        QTest::newRow("Space on the focused button") << false;
    }
    void inputWhileAMailIsOnItsWayIsDiscarded()
    {
        QFETCH(bool, click);
        // The server holds every mail for a while; meanwhile input arrives
        // as the window system delivers it.
        SmtpTestServer::Options options;
        options.holdMs = 800;
        SmtpTestServer holding(options);
        QVERIFY2(holding.start(), qPrintable(holding.error()));
        Run run(holding, "[QUESTION_CNT]\n1=3\n[LIFE]\n1=3\n");
        run.dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&run.dlg));

        QStringList opened; // dialogs that stray input opened, closed again
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                opened << QString::fromLatin1(modal->metaObject()->className());
                modal->done(QDialog::Rejected);
            }
        });
        closer.start(20);
        bool duringTheStartMail = false;
        QTimer::singleShot(300, [&] {
            using Async = QWindowSystemInterface::AsynchronousDelivery;
            QWindow* window = run.dlg.windowHandle();
            if (click) {
                QWidget* button = run.dlg.ui()->answerButton1;
                const QPointF at = button->mapTo(&run.dlg, button->rect().center());
                const QPointF global = button->mapToGlobal(button->rect().center());
                QWindowSystemInterface::handleMouseEvent<Async>(window, at, global, Qt::LeftButton, Qt::LeftButton,
                                                                QEvent::MouseButtonPress);
                QWindowSystemInterface::handleMouseEvent<Async>(window, at, global, Qt::NoButton, Qt::LeftButton,
                                                                QEvent::MouseButtonRelease);
            } else {
                QWindowSystemInterface::handleKeyEvent<Async>(window, QEvent::KeyPress, Qt::Key_Space,
                                                              Qt::NoModifier, QStringLiteral(" "));
                QWindowSystemInterface::handleKeyEvent<Async>(window, QEvent::KeyRelease, Qt::Key_Space,
                                                              Qt::NoModifier, QStringLiteral(" "));
            }
            duringTheStartMail = holding.messages().isEmpty() && !run.dlg.ui()->nameEdit->isEnabled();
        });
        TimerPeriods::setOneSecondMs(1000); // no time-out while we look
        run.start("花子");
        QTest::qWait(200); // input held back would arrive now
        TimerPeriods::setOneSecondMs(5);
        QVERIFY(duringTheStartMail);
        QCOMPARE(holding.messages().size(), 1);
        QCOMPARE(opened, QStringList());
        QCOMPARE(run.dlg.run().m_nAsked, 0);
        QVERIFY(run.dlg.isRunning());

        // Once the mail is done the window takes input again.
        run.answer(true);
        QCOMPARE(run.dlg.run().m_nAsked, 1);
    }

private:
    std::unique_ptr<SmtpTestServer> m_server;
};

QTEST_MAIN(TestRunMails)
#include "test_run_mails.moc"
