// The settings dialog's test mail goes to the stored account, whatever is
// typed in the dialog.

#include "TestSupport.h"
#include "reportmail/BSendMail.h"
#include "dialogs/CSettingDlg.h"
#include "support/SmtpTestServer.h"
#include "ui_CSettingDlg.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {
void writeAccount(const TestFolder& folder, int port)
{
    folder.writeIni(QStringLiteral("[SMTP]\n1=127.0.0.1\n[PORT]\n1=%1\n[TO]\n1=boss@example.jp\n"
                                   "[FROM]\n1=molvane@example.jp\n")
                        .arg(port)
                        .toUtf8()
                        .constData());
}
} // namespace

class TestSettingTestMail : public QObject {
    Q_OBJECT
private slots:
    void usesTheStoredServerAndReportsOverTheDialog()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        TestFolder folder;
        writeAccount(folder, server.port());
        CSettingDlg dlg;
        dlg.setWindowModality(Qt::ApplicationModal); // as the main window runs it
        dlg.show();
        // A new server typed but not saved takes no part.
        dlg.ui()->smtpEdit->setText(QStringLiteral("127.0.0.1"));
        dlg.ui()->portEdit->setText(QString::number(SmtpTestServer::unusedPort()));

        // Real message boxes: the window that sends is never shown, so the
        // outcome belongs over the dialog the administrator works in.
        QStringList shown; // text, then the class of the box's parent
        QList<QMessageBox::Icon> icons;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            shown << box->text()
                  << QString::fromLatin1(box->parentWidget() ? box->parentWidget()->metaObject()->className() : "");
            icons << box->icon();
            box->done(box->standardButtons() & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
        });
        answer.start(20);
        QTest::mouseClick(dlg.ui()->testSendButton, Qt::LeftButton);

        QCOMPARE(shown, (QStringList{QStringLiteral("テストメールを送信しても宜しいですか?"), "CSettingDlg",
                                     QStringLiteral("テストメールの送信を完了しました"), "CSettingDlg"}));
        QCOMPARE(icons, (QList<QMessageBox::Icon>{QMessageBox::Question, QMessageBox::Information}));
        QCOMPARE(server.messages().size(), 1);
        QCOMPARE(server.messages()[0].subject, QStringLiteral("【テストメール】"));
        QCOMPARE(server.messages()[0].body.trimmed(), QStringLiteral("【テストメール】"));
        QVERIFY(dlg.isVisible());
    }

    void unreachableStoredServerIsReported()
    {
        TestFolder folder;
        writeAccount(folder, SmtpTestServer::unusedPort());
        MessageBoxRecorder boxes;
        boxes.queue(MessageBox::Answer::Yes);
        CSettingDlg dlg;
        dlg.show();
        QTest::mouseClick(dlg.ui()->testSendButton, Qt::LeftButton);
        QCOMPARE(boxes.texts().value(1),
                 QStringLiteral("送信に失敗しました\r\n試験中止\r\nシステム管理者へ連絡して下さい"));
    }

    void emptyAccountIsTriedAndFails()
    {
        TestFolder folder;
        MessageBoxRecorder boxes;
        boxes.queue(MessageBox::Answer::Yes);
        CSettingDlg dlg;
        dlg.show();
        QTest::mouseClick(dlg.ui()->testSendButton, Qt::LeftButton);
        QCOMPARE(boxes.count(), 2);
        QVERIFY(boxes.texts()[1].startsWith(QStringLiteral("送信に失敗しました")));
    }
};

QTEST_MAIN(TestSettingTestMail)
#include "test_setting_test_mail.moc"
