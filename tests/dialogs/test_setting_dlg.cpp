// The settings dialog driven as an administrator uses it.

#include "settings/AppProfile.h"
#include "dialogs/CSettingDlg.h"
#include "support/TestSupport.h"
#include "ui_CSettingDlg.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QtTest>
#include <sys/stat.h>

using MessageBox::Answer;

namespace {

std::string stored(const char* section)
{
    return appProfile().GetProfileStringA(section, "1", "<missing>");
}

QString absolute(const TestFolder& folder, const char* name)
{
    return QString::fromStdString(folder.file(name).string());
}

void unlock(CSettingDlg& dlg)
{
    dlg.ui()->accessCodeEdit->clear();
    QTest::mouseClick(dlg.ui()->authButton, Qt::LeftButton);
}

void checkLabels(CSettingDlg& dlg, const char* time, const char* life, const char* count)
{
    QCOMPARE(dlg.ui()->timeLabel->text(), QString::fromUtf8(time));
    QCOMPARE(dlg.ui()->lifeLabel->text(), QString::fromUtf8(life));
    QCOMPARE(dlg.ui()->countLabel->text(), QString::fromUtf8(count));
}

} // namespace

class TestSettingDlg : public QObject {
    Q_OBJECT
private slots:
    void opensLockedWithDefaultsInProgramFolder()
    {
        TestFolder folder;
        CSettingDlg dlg;
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("出題設定画面"));
        QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
        checkLabels(dlg, "1秒", "1回", "1問");
        auto* ui = dlg.ui();
        QCOMPARE(ui->timeSlider->minimum(), 1);
        QCOMPARE(ui->timeSlider->maximum(), 60);
        QCOMPARE(ui->lifeSlider->maximum(), 99);
        for (QSlider* s : {ui->timeSlider, ui->lifeSlider, ui->countSlider})
            QCOMPARE(s->value(), 1);
        QVERIFY(!ui->saveButton->isEnabled());
        QVERIFY(ui->questionFileEdit->isHidden());
        QVERIFY(ui->fileOrderRadio->isChecked());
        QVERIFY(!ui->fileOrderRadio->isEnabled() && !ui->randomOrderRadio->isEnabled());
        QVERIFY(!ui->useAuthCheck->isChecked());
        QCOMPARE(dlg.m_strQuestionFile, std::string("sample0524.txt"));
        // Opening moved the current folder from the test's folder to the
        // program's own.
        QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());
        QVERIFY(!folder.exists("Parameter.INI"));
    }

    void labelsShowStoredValuesAndSaveWritesSliders()
    {
        TestFolder folder;
        folder.writeIni("[LIFE]\n1=0\n[TIME_LIMIT]\n1=abc\n[QUESTION_CNT]\n1=-3\n[ID]\n1=user\n");
        MessageBoxRecorder boxes;
        CSettingDlg dlg;
        dlg.show();
        checkLabels(dlg, "0秒", "0回", "-3問");
        QCOMPARE(dlg.ui()->lifeSlider->value(), 1);
        QCOMPARE(dlg.ui()->timeSlider->value(), 1);
        QVERIFY(dlg.ui()->useAuthCheck->isChecked());

        // Moving a slider leaves its label alone; Save shows the new values.
        dlg.ui()->timeSlider->setValue(45);
        QCOMPARE(dlg.ui()->timeLabel->text(), QStringLiteral("0秒"));
        unlock(dlg);
        QTest::mouseClick(dlg.ui()->saveButton, Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("設定保存しても宜しいですか?")});
        QCOMPARE(boxes.shown()[0].icon, MessageBox::Icon::Question);
        QCOMPARE(stored("LIFE"), std::string("1"));
        QCOMPARE(stored("TIME_LIMIT"), std::string("45"));
        // Without a question file to examine, the stored count caps the count.
        QCOMPARE(stored("QUESTION_CNT"), std::string("-3"));
        checkLabels(dlg, "45秒", "1回", "-3問");
        // Reloading keeps the dialog unlocked.
        QVERIFY(dlg.ui()->saveButton->isEnabled());
        QVERIFY(dlg.ui()->questionFileEdit->isVisible());
    }

    void countRangeFollowsQuestionFile()
    {
        TestFolder folder;
        folder.writeFile("two.txt", std::string(1200, ' '));
        folder.writeFile("short.txt", std::string(499, ' '));
        MessageBoxRecorder boxes;
        {
            folder.writeIni(("[QUESTION]\n1=" + folder.file("two.txt").string() + "\n[QUESTION_CNT]\n1=5\n").c_str());
            CSettingDlg dlg;
            dlg.show();
            QCOMPARE(dlg.ui()->countSlider->maximum(), 2);
            QCOMPARE(dlg.ui()->countSlider->value(), 2);
            QCOMPARE(dlg.ui()->countLabel->text(), QStringLiteral("5問"));
            unlock(dlg);
            dlg.OnSave();
            QCOMPARE(stored("QUESTION_CNT"), std::string("2"));
        }
        {
            // Shorter than one record: a single position, and Save writes 0.
            folder.writeIni(("[QUESTION]\n1=" + folder.file("short.txt").string() + "\n").c_str());
            CSettingDlg dlg;
            dlg.show();
            QCOMPARE(dlg.ui()->countSlider->minimum(), 1);
            QCOMPARE(dlg.ui()->countSlider->maximum(), 1);
            unlock(dlg);
            dlg.OnSave();
            QCOMPARE(stored("QUESTION_CNT"), std::string("0"));
            QCOMPARE(dlg.ui()->countLabel->text(), QStringLiteral("0問"));
        }
    }

    void missingQuestionFileAndHugeCount()
    {
        TestFolder folder;
        folder.writeIni("[QUESTION]\n1=nowhere/none.txt\n[QUESTION_CNT]\n1=7\n");
        {
            CSettingDlg dlg;
            QCOMPARE(dlg.ui()->countSlider->maximum(), 7);
            QCOMPARE(dlg.ui()->countSlider->value(), 7);
        }
        // A count edited by hand far beyond any range opens and paints at
        // once, with a sane number of tick marks.
        folder.writeIni("[QUESTION]\n1=nowhere/none.txt\n[QUESTION_CNT]\n1=99999999999\n[LIFE]\n1=-2147483648\n");
        CSettingDlg dlg;
        dlg.show();
        QCOMPARE(dlg.ui()->countLabel->text(), QStringLiteral("2147483647問"));
        QCOMPARE(dlg.ui()->lifeLabel->text(), QStringLiteral("-2147483648回"));
        QVERIFY(dlg.ui()->countSlider->maximum() > 1000000);
        QVERIFY(dlg.ui()->countSlider->maximum() / dlg.ui()->countSlider->tickInterval() <= 101);
        QVERIFY(!dlg.grab().isNull());
    }

    void capTakesFileNamedAtAuth()
    {
        TestFolder folder;
        folder.writeFile("three.txt", std::string(1500, ' '));
        folder.writeIni("[QUESTION]\n1=none.txt\n[QUESTION_CNT]\n1=5\n");
        MessageBoxRecorder boxes;
        CSettingDlg dlg;
        dlg.show();
        unlock(dlg);
        dlg.ui()->questionFileEdit->setText(absolute(folder, "three.txt"));
        unlock(dlg);
        dlg.OnSave();
        QCOMPARE(stored("QUESTION"), folder.file("three.txt").string());
        QCOMPARE(stored("QUESTION_CNT"), std::string("3"));
        QCOMPARE(dlg.ui()->countSlider->maximum(), 3);
    }

    void orderShownAndSavedBack()
    {
        TestFolder folder;
        folder.writeIni("[SEQ]\n1=5\n[PW]\n1=pw\n");
        MessageBoxRecorder boxes;
        CSettingDlg dlg;
        dlg.show();
        QVERIFY(dlg.ui()->randomOrderRadio->isChecked());
        QVERIFY(!dlg.ui()->fileOrderRadio->isChecked());
        QVERIFY(dlg.ui()->useAuthCheck->isChecked());
        unlock(dlg);
        dlg.OnSave();
        QCOMPARE(stored("SEQ"), std::string("1"));
    }

    void saveCreatesSectionsInOrder()
    {
        TestFolder folder;
        MessageBoxRecorder boxes;
        CSettingDlg dlg;
        dlg.show();
        unlock(dlg);
        // Every field to its own section.
        dlg.ui()->smtpEdit->setText(QStringLiteral("mail.example.jp"));
        dlg.ui()->toEdit->setText(QStringLiteral("boss@example.jp"));
        dlg.ui()->fromEdit->setText(QStringLiteral("pc1@example.jp"));
        dlg.ui()->idEdit->setText(QStringLiteral("pc1"));
        dlg.ui()->pwEdit->setText(QStringLiteral("secret"));
        dlg.ui()->portEdit->setText(QStringLiteral("x25"));
        QTest::mouseClick(dlg.ui()->saveButton, Qt::LeftButton);
        QStringList sections;
        const QString text = QString::fromStdString(folder.ini());
        auto it = QRegularExpression(QStringLiteral("^\\[(.*)\\]"), QRegularExpression::MultilineOption)
                      .globalMatch(text);
        while (it.hasNext())
            sections << it.next().captured(1);
        QCOMPARE(sections, QStringList({"LIFE", "TIME_LIMIT", "QUESTION", "SMTP", "FROM", "TO", "ID", "PW",
                                        "PORT", "QUESTION_CNT", "SEQ"}));
        QCOMPARE(stored("QUESTION"), std::string("sample0524.txt"));
        QCOMPARE(stored("SMTP"), std::string("mail.example.jp"));
        QCOMPARE(stored("PORT"), std::string("x25"));
        QCOMPARE(stored("TO"), std::string("boss@example.jp"));
        QCOMPARE(stored("FROM"), std::string("pc1@example.jp"));
        QCOMPARE(stored("ID"), std::string("pc1"));
        QCOMPARE(stored("PW"), std::string("secret"));
        QCOMPARE(stored("SEQ"), std::string("0"));
    }

    void saveAnsweredNoRestoresEveryControl()
    {
        TestFolder folder;
        folder.writeIni("[LIFE]\n1=4\n[TIME_LIMIT]\n1=30\n[QUESTION_CNT]\n1=1\n[SMTP]\n1=smtp.example.jp\n"
                        "[TO]\n1=to@example.jp\n[FROM]\n1=from@example.jp\n[ID]\n1=\n[PW]\n1=\n[PORT]\n1=587\n");
        const std::string before = folder.ini();
        MessageBoxRecorder boxes(Answer::No);
        CSettingDlg dlg;
        dlg.show();
        unlock(dlg);
        auto* ui = dlg.ui();
        ui->lifeSlider->setValue(50);
        ui->timeSlider->setValue(2);
        for (QLineEdit* e : {ui->smtpEdit, ui->toEdit, ui->fromEdit, ui->idEdit, ui->pwEdit, ui->portEdit,
                             ui->questionFileEdit})
            e->setText(QStringLiteral("typed"));
        ui->useAuthCheck->setChecked(true);
        QTest::mouseClick(ui->saveButton, Qt::LeftButton);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(folder.ini(), before);
        QCOMPARE(ui->lifeSlider->value(), 4);
        QCOMPARE(ui->timeSlider->value(), 30);
        QCOMPARE(ui->smtpEdit->text(), QStringLiteral("smtp.example.jp"));
        QCOMPARE(ui->toEdit->text(), QStringLiteral("to@example.jp"));
        QCOMPARE(ui->fromEdit->text(), QStringLiteral("from@example.jp"));
        QCOMPARE(ui->idEdit->text(), QString());
        QCOMPARE(ui->pwEdit->text(), QString());
        QCOMPARE(ui->portEdit->text(), QStringLiteral("587"));
        QCOMPARE(ui->questionFileEdit->text(), QStringLiteral("sample0524.txt"));
        QVERIFY(!ui->useAuthCheck->isChecked());
        QVERIFY(ui->saveButton->isEnabled());
        QVERIFY(ui->questionFileEdit->isVisible());
    }

    void saveKeepsBytesOfJapaneseAndUntouchedTexts()
    {
        TestFolder folder;
        // 0x85 0x40 is not a character of code page 932: it survives a Save
        // only because nobody touched the field.
        const std::string oddPassword = "pw\x85\x40";
        const std::string longServer(40000, 's');
        folder.writeFile("Parameter.INI", "[PW]\r\n1=" + oddPassword + "\r\n[QUESTION]\r\n1=" + sj("問題①.txt") +
                                              "\r\n[SMTP]\r\n1=" + longServer + "\r\n");
        MessageBoxRecorder boxes;
        CSettingDlg dlg;
        dlg.show();
        QCOMPARE(dlg.ui()->questionFileEdit->text(), QStringLiteral("問題①.txt"));
        unlock(dlg);
        dlg.ui()->fromEdit->setText(QStringLiteral("試験～係@example.jp"));
        dlg.OnSave();
        QCOMPARE(stored("PW"), oddPassword);
        QCOMPARE(stored("SMTP"), longServer);
        QCOMPARE(stored("QUESTION"), sj("問題①.txt"));
        QCOMPARE(stored("FROM"), sj("試験～係@example.jp"));
    }

    void unlocksOnlyWithEmptyCode()
    {
        TestFolder folder;
        MessageBoxRecorder boxes;
        CSettingDlg dlg;
        dlg.show();
        QTest::keyClicks(dlg.ui()->accessCodeEdit, QStringLiteral("1234"));
        QTest::mouseClick(dlg.ui()->authButton, Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("パスワードが間違っています")});
        QCOMPARE(boxes.shown()[0].icon, MessageBox::Icon::Information);
        QCOMPARE(boxes.shown()[0].buttons, MessageBox::Buttons::Ok);
        QVERIFY(!dlg.ui()->saveButton->isEnabled());
        QVERIFY(dlg.ui()->questionFileEdit->isHidden());
        unlock(dlg);
        QCOMPARE(boxes.count(), 1);
        QVERIFY(dlg.ui()->saveButton->isEnabled());
        QVERIFY(dlg.ui()->questionFileEdit->isVisible() && dlg.ui()->questionFileEdit->isEnabled());
    }

    void onlyBackButtonClosesAndWritesNothing()
    {
        TestFolder folder;
        folder.writeIni("[SMTP]\n1=old.example.jp\n");
        const std::string before = folder.ini();
        MessageBoxRecorder boxes;
        CSettingDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.ui()->smtpEdit->setFocus();
        for (QWidget* target : {static_cast<QWidget*>(dlg.ui()->smtpEdit), static_cast<QWidget*>(&dlg)}) {
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(target, key);
        }
        // The window manager's close request is refused too.
        QVERIFY(!dlg.close());
        QVERIFY(dlg.isVisible());
        QCOMPARE(boxes.count(), 0);

        dlg.ui()->smtpEdit->setText(QStringLiteral("new.example.jp"));
        QTest::mouseClick(dlg.ui()->backButton, Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.m_strSmtp, std::string("new.example.jp"));
        QCOMPARE(folder.ini(), before);
    }

    void testSendAsksAndLeavesTypedAccountUnsaved()
    {
        TestFolder folder;
        folder.writeIni("[SMTP]\n1=old.example.jp\n");
        const std::string before = folder.ini();
        MessageBoxRecorder boxes;
        boxes.queue(Answer::No);
        CSettingDlg dlg;
        dlg.show();
        dlg.ui()->smtpEdit->setText(QStringLiteral("new.example.jp"));
        QTest::mouseClick(dlg.ui()->testSendButton, Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("テストメールを送信しても宜しいですか?")});
        QCOMPARE(boxes.shown()[0].icon, MessageBox::Icon::Question);
        QCOMPARE(boxes.shown()[0].buttons, MessageBox::Buttons::YesNo);
        QTest::mouseClick(dlg.ui()->testSendButton, Qt::LeftButton);
        QCOMPARE(folder.ini(), before);
        QCOMPARE(dlg.ui()->smtpEdit->text(), QStringLiteral("new.example.jp"));
    }

    void unwritableSettingsFileIsReported()
    {
        // Made read-only, for root too: Save writes nothing and says so.
        TestFolder folder;
        folder.writeIni("[LIFE]\n1=1\n");
        ::chmod(folder.iniPath().c_str(), 0444);
        const std::string before = folder.ini();
        MessageBoxRecorder boxes;
        CSettingDlg dlg;
        dlg.show();
        unlock(dlg);
        dlg.ui()->lifeSlider->setValue(9);
        dlg.OnSave();
        QCOMPARE(boxes.texts(), QStringList({QStringLiteral("設定保存しても宜しいですか?"),
                                             QStringLiteral("設定を保存できませんでした")}));
        QCOMPARE(boxes.shown()[1].icon, MessageBox::Icon::Stop);
        QCOMPARE(dlg.ui()->lifeSlider->value(), 1);
        QCOMPARE(folder.ini(), before);
    }
};

QTEST_MAIN(TestSettingDlg)
#include "test_setting_dlg.moc"
