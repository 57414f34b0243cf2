// The main window as the view of a test run, driven with shortened timers:
// its controls reach the run, and what the run holds reaches its controls.
// The rules of a run are tested on the run itself (tests/testrun).

#include "TestSupport.h"
#include "dialogs/CLampStatic.h"
#include "dialogs/CTestDlg.h"
#include "platform/SoundPlayer.h"
#include "platform/TimerPeriods.h"
#include "dialogs/CJudgeDlg.h"
#include "reportmail/ResultLog.h"
#include "ui_CJudgeDlg.h"
#include "ui_CTestDlg.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

// A folder with settings and a question file of `count` questions whose
// answers are "答1".."答5" (question n marked at answer ((n - 1) % 5) + 1).
struct Fixture {
    explicit Fixture(const char* ini, int count = 5) : prepared(prepare(ini, count)) { dlg.show(); }

    // The settings are in place before the window reads them.
    bool prepare(const char* ini, int count)
    {
        folder.writeIni(ini);
        std::vector<question::QuestionRecord> records;
        for (int n = 1; n <= count; ++n)
            records.push_back(makeQuestion(("問題" + std::to_string(n)).c_str(), (n - 1) % 5 + 1));
        folder.writeQuestions("bank.txt", records);
        return true;
    }

    void start(const char* name = "試験太郎")
    {
        dlg.ui()->nameEdit->setText(QString::fromUtf8(name));
        QTest::mouseClick(dlg.ui()->startButton, Qt::LeftButton);
    }

    // Presses the right (or a wrong) answer of the question on screen.
    void answer(bool right)
    {
        int position = dlg.run().m_nAnswerPos;
        if (!right)
            position = position % 5 + 1;
        QTest::mouseClick(button(position), Qt::LeftButton);
    }

    QPushButton* button(int position) const
    {
        QPushButton* buttons[] = {dlg.ui()->answerButton1, dlg.ui()->answerButton2, dlg.ui()->answerButton3,
                                  dlg.ui()->answerButton4, dlg.ui()->answerButton5};
        return buttons[position - 1];
    }
    QStringList answers() const
    {
        QStringList out;
        for (QLineEdit* e : {dlg.ui()->answerEdit1, dlg.ui()->answerEdit2, dlg.ui()->answerEdit3,
                             dlg.ui()->answerEdit4, dlg.ui()->answerEdit5})
            out << e->text().trimmed();
        return out;
    }
    QString question() const { return dlg.ui()->questionEdit->text().trimmed(); }
    std::string log() const { return resultLog().text(); }
    std::string lines() const
    {
        const std::string& t = resultLog().text();
        const std::size_t at = t.find(sj("】\r\n (")); // end of the heading line
        return at == std::string::npos ? std::string() : t.substr(at + sj("】\r\n").size());
    }

    TestFolder folder;
    MessageBoxRecorder boxes;
    SoundRecorder sounds;
    bool prepared;
    CTestDlg dlg;
};

} // namespace

class TestRunWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TimerPeriods::setOneSecondMs(5); }
    void cleanup() { TimerPeriods::setOneSecondMs(5); }

    void startReadsTheNameBox()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n");
        resultLog().appendResultLine(1, 0);
        f.start("");
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("氏名を入力して下さい")});
        QCOMPARE(f.boxes.shown()[0].icon, MessageBox::Icon::Stop);
        QCOMPARE(f.boxes.shown()[0].parent, static_cast<QWidget*>(&f.dlg));
        QVERIFY(resultLog().text().empty());
        QVERIFY(f.dlg.ui()->nameEdit->isEnabled());
        f.start("山田　花子");
        QVERIFY(f.dlg.isRunning());
        QCOMPARE(f.dlg.run().m_strName, sj("山田　花子"));
    }

    void wholeTextsAsTooltipsAndForScreenReaders()
    {
        // The longest question and answers a record holds, wider than their fields.
        Fixture f("[QUESTION]\n1=long.txt\n[QUESTION_CNT]\n1=1\n[LIFE]\n1=1\n");
        std::string question;
        std::string stem;
        for (int i = 0; i < 47; ++i)
            question += "問";
        for (int i = 0; i < 38; ++i)
            stem += "答";
        f.folder.writeQuestions("long.txt", {makeQuestion((question + "末").c_str(), 2, stem.c_str())});
        f.start();
        QCOMPARE(f.dlg.ui()->questionEdit->toolTip(), QString::fromStdString(question + "末"));
        QCOMPARE(f.dlg.ui()->questionEdit->accessibleDescription(), QString::fromStdString(question + "末"));
        QLineEdit* const edits[] = {f.dlg.ui()->answerEdit1, f.dlg.ui()->answerEdit2, f.dlg.ui()->answerEdit3,
                                    f.dlg.ui()->answerEdit4, f.dlg.ui()->answerEdit5};
        QSet<QString> seen;
        for (int p = 1; p <= 5; ++p) {
            const QString answer = edits[p - 1]->text().trimmed();
            QVERIFY(answer.startsWith(QString::fromStdString(stem)) && answer.size() == 39);
            seen << answer;
            QCOMPARE(edits[p - 1]->toolTip(), answer);
            QCOMPARE(edits[p - 1]->accessibleDescription(), answer);
            QCOMPARE(f.button(p)->accessibleDescription(), QStringLiteral("%1: %2").arg(p).arg(answer));
            QCOMPARE(f.button(p)->accessibleName(), QString::number(p));
        }
        QCOMPARE(seen.size(), 5);
    }

    void aRunDrivesTheControls()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=3\n[LIFE]\n1=3\n[TIME_LIMIT]\n1=10\n"
                  "[SOUND]\nSW=1\n[MAIL]\n1=0\n");
        // "終了!!" is shown while the window still looks as it did in the run.
        QString stateAtEnd;
        f.boxes.onShow([&](const MessageBox::Shown&) {
            const Ui::CTestDlg* ui = f.dlg.ui();
            stateAtEnd = QStringLiteral("%1%2%3%4").arg(ui->startButton->isEnabled()).arg(ui->stopButton->isEnabled())
                             .arg(ui->answerButton3->isEnabled()).arg(ui->nameEdit->isEnabled());
        });
        f.start();
        const Ui::CTestDlg* ui = f.dlg.ui();
        QVERIFY(!ui->nameEdit->isEnabled() && !ui->startButton->isEnabled());
        QVERIFY(ui->stopButton->isEnabled() && ui->answerButton5->isEnabled());
        QVERIFY(f.dlg.runTimer().isActive());
        QCOMPARE(f.dlg.m_lamp1->color(), kRed);
        QCOMPARE(f.dlg.m_lamp3->color(), kRed);
        QCOMPARE(ui->timeBar->maximum(), 10);
        QCOMPARE(f.question(), QStringLiteral("問題1"));
        QCOMPARE(ui->progressLabel->text(), QStringLiteral("1/3"));
        // The marked answer is the one shown at the run's answer position.
        QStringList shown = f.answers();
        QCOMPARE(shown.value(f.dlg.run().m_nAnswerPos - 1), QStringLiteral("答1"));
        shown.sort();
        QCOMPARE(shown, (QStringList{"答1", "答2", "答3", "答4", "答5"}));
        // Ticks reach the bar.
        f.dlg.OnTimer(1);
        f.dlg.OnTimer(1);
        QCOMPARE(ui->timeBar->value(), 2);

        f.answer(true);
        QCOMPARE(f.question(), QStringLiteral("問題2"));
        QCOMPARE(ui->progressLabel->text(), QStringLiteral("2/3"));
        QCOMPARE(ui->timeBar->value(), 0);
        f.answer(false);
        QCOMPARE(f.dlg.m_lamp3->color(), kWhite); // two misses left: the third lamp goes out
        QCOMPARE(f.dlg.m_lamp2->color(), kRed);
        QCOMPARE(f.dlg.m_lamp1->color(), kRed);
        f.answer(true);

        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("終了!!")});
        QCOMPARE(f.boxes.shown()[0].icon, MessageBox::Icon::Information);
        QCOMPARE(stateAtEnd, QStringLiteral("0110"));
        QCOMPARE(f.lines(), std::string(" (1):*\r\n (2):-\r\n (3):*\r\n"));
        QCOMPARE(f.sounds.played(), (std::vector<int>{SoundPlayer::kRightSound, SoundPlayer::kWrongSound,
                                                      SoundPlayer::kRightSound}));
        QVERIFY(!f.dlg.isRunning());
        QVERIFY(ui->startButton->isEnabled() && ui->nameEdit->isEnabled());
        QVERIFY(!ui->stopButton->isEnabled() && !ui->answerButton1->isEnabled());
        QVERIFY(!f.dlg.runTimer().isActive());
        QCOMPARE(f.question(), QStringLiteral("問題3"));

        // 停止 ends a run at once.
        f.start();
        QTest::mouseClick(ui->stopButton, Qt::LeftButton);
        QVERIFY(!f.dlg.isRunning());
        QVERIFY(f.lines().empty());
    }

    void theRunTimerTimesQuestionsOut()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=2\n[LIFE]\n1=5\n[TIME_LIMIT]\n1=0\n[SOUND]\nSW=1\n");
        f.start();
        QVERIFY(f.dlg.isRunning());
        QTRY_VERIFY(!f.dlg.isRunning());
        QCOMPARE(f.question(), QStringLiteral("問題2"));
        // The result mail is on by default: its rate line ends the log.
        QCOMPARE(f.lines(), " (1):-\r\n (2):-\r\n" + sj("【正解率】： 0.0%\r\n"));
        QCOMPARE(f.sounds.played(), (std::vector<int>{SoundPlayer::kWrongSound, SoundPlayer::kWrongSound}));
    }

    void judgePopupStaysForTwoTicksWhateverTheUserDoes()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=10\n[LIFE]\n1=3\n");
        f.start();
        const int period = 100;
        TimerPeriods::setOneSecondMs(period);
        QStringList verdicts;
        QString notice;
        bool verdictVisible = true;
        bool runTimerActive = true;
        bool openAfterKeysAndClose = false;
        QElapsedTimer open;
        qint64 openFor = 0;
        auto watch = [&] {
            CJudgeDlg* popup = CJudgeDlg::current();
            QVERIFY(popup);
            open.start();
            QObject::connect(popup, &QDialog::finished, [&] { openFor = open.elapsed(); });
            verdicts << popup->ui()->verdictLabel->text();
            notice = popup->ui()->noticeLabel->text();
            verdictVisible = popup->ui()->verdictLabel->isVisible();
            runTimerActive = f.dlg.runTimer().isActive();
            QTest::keyClick(popup, Qt::Key_Escape);
            QTest::keyClick(popup, Qt::Key_Return);
            QTest::keyClick(popup, Qt::Key_Enter);
            popup->close();
            openAfterKeysAndClose = popup->isVisible();
        };
        QTimer::singleShot(0, watch);
        f.answer(false);
        QCOMPARE(notice, QStringLiteral("次の処理に移ります..."));
        QVERIFY(!verdictVisible);
        QVERIFY(!runTimerActive);
        QVERIFY(openAfterKeysAndClose);
        // Closed by the second tick of its timer, not the first.
        QVERIFY2(openFor >= period * 3 / 2, qPrintable(QString::number(openFor)));
        QVERIFY(f.dlg.runTimer().isActive());

        TimerPeriods::setOneSecondMs(5);
        QTimer::singleShot(0, [&] { verdicts << CJudgeDlg::current()->ui()->verdictLabel->text(); });
        f.answer(true);
        QCOMPARE(verdicts, (QStringList{QStringLiteral("×不正解"), QStringLiteral("○正解")}));
        QCOMPARE(f.lines(), std::string(" (1):-\r\n (2):*\r\n"));
    }

    void eachAnswerButtonJudgesItsOwnPosition()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=10\n[LIFE]\n1=9\n[TIME_LIMIT]\n1=10\n");
        f.start();
        for (int position = 1; position <= 5; ++position) {
            f.dlg.run().m_nAnswerPos = position;
            QTest::mouseClick(f.button(position), Qt::LeftButton);
        }
        QCOMPARE(f.lines(), std::string(" (1):*\r\n (2):*\r\n (3):*\r\n (4):*\r\n (5):*\r\n"));
    }

    void questionPicturesAndTheBlankPictureAtTheEnd()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=2\n[LIFE]\n1=3\n[TIME_LIMIT]\n1=10\n", 0);
        writeBitmap(f.folder.file("256bitmap/000.bmp"), 20, 20, 0xFFFFFF);
        writeBitmap(f.folder.file("256bitmap/007.bmp"), 300, 300, 0xFF0000);
        f.folder.writeQuestions("bank.txt", {makeQuestion("絵", 1, "答", "007"), makeQuestion("絵なし", 1, "答", "123")});
        f.start();
        QImage shown = f.dlg.ui()->picture->pixmap().toImage();
        QCOMPARE(shown.size(), QSize(212, 150));
        QCOMPARE(QColor(shown.pixel(5, 5)), QColor(255, 0, 0));
        f.answer(true); // 123.bmp does not exist: an empty picture
        QVERIFY(f.dlg.ui()->picture->pixmap().isNull());
        f.answer(true);
        QVERIFY(!f.dlg.isRunning());
        QCOMPARE(QColor(f.dlg.ui()->picture->pixmap().toImage().pixel(5, 5)), QColor(255, 255, 255));
    }
};

QTEST_MAIN(TestRunWindow)
#include "test_run_window.moc"
