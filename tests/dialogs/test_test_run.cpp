// Whole test runs driven through the main window with shortened timers.

#include "TestSupport.h"
#include "dialogs/CLampStatic.h"
#include "dialogs/CTestDlg.h"
#include "platform/Clock.h"
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
        int position = dlg.m_nAnswerPos;
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

class TestTestRun : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TimerPeriods::setOneSecondMs(5); }
    void cleanup()
    {
        TimerPeriods::setOneSecondMs(5);
        Clock::unfixTime();
    }

    void emptyNameIsRefusedAndEmptiesTheLog()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n");
        resultLog().appendResultLine(1, 0);
        f.start("");
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("氏名を入力して下さい")});
        QCOMPARE(f.boxes.shown()[0].icon, MessageBox::Icon::Stop);
        QVERIFY(resultLog().text().empty());
        QVERIFY(!f.dlg.isRunning());
        QVERIFY(f.dlg.ui()->nameEdit->isEnabled());
        // A name of spaces is a name.
        f.start(" ");
        QVERIFY(f.dlg.isRunning());
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

    void completeRunInFileOrder()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=3\n[LIFE]\n1=2\n[TIME_LIMIT]\n1=10\n"
                  "[SOUND]\nSW=1\n[MAIL]\n1=0\n");
        // "終了!!" is shown while the window still looks as it did in the run.
        QString stateAtEnd;
        f.boxes.onShow([&](const MessageBox::Shown&) {
            const Ui::CTestDlg* ui = f.dlg.ui();
            stateAtEnd = QStringLiteral("%1%2%3%4").arg(ui->startButton->isEnabled()).arg(ui->stopButton->isEnabled())
                             .arg(ui->answerButton3->isEnabled()).arg(ui->nameEdit->isEnabled());
        });
        f.start();
        QVERIFY(f.dlg.isRunning());
        QVERIFY(!f.dlg.ui()->nameEdit->isEnabled());
        QVERIFY(f.dlg.ui()->stopButton->isEnabled());
        QVERIFY(f.dlg.ui()->answerButton5->isEnabled());
        QCOMPARE(f.dlg.m_lamp1->color(), kRed);
        QCOMPARE(f.dlg.m_lamp3->color(), kRed);
        QCOMPARE(f.dlg.ui()->timeBar->maximum(), 10);
        QCOMPARE(f.question(), QStringLiteral("問題1"));
        QCOMPARE(f.dlg.ui()->progressLabel->text(), QStringLiteral("1/3"));
        // The marked answer is the one shown at m_nAnswerPos.
        QStringList shown = f.answers();
        QCOMPARE(shown.value(f.dlg.m_nAnswerPos - 1), QStringLiteral("答1"));
        shown.sort();
        QCOMPARE(shown, (QStringList{"答1", "答2", "答3", "答4", "答5"}));

        f.answer(true);
        QCOMPARE(f.question(), QStringLiteral("問題2"));
        QCOMPARE(f.dlg.ui()->progressLabel->text(), QStringLiteral("2/3"));
        f.answer(false);
        QCOMPARE(f.dlg.m_lamp3->color(), kRed); // one miss left of two: 1 left, lamp 2 goes
        QCOMPARE(f.dlg.m_lamp2->color(), kWhite);
        QCOMPARE(f.question(), QStringLiteral("問題3"));
        f.answer(true);

        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("終了!!")});
        QCOMPARE(f.boxes.shown()[0].icon, MessageBox::Icon::Information);
        QCOMPARE(stateAtEnd, QStringLiteral("0110"));
        QCOMPARE(f.log(), sj("【問題】:bank.txt\r\n【氏名】:試験太郎\r\n【出題数】:3題\r\n【ミス許容数】:2回\r\n"
                             "【制限時間】:10秒\r\n【結果 *正解, -不正解】\r\n (1):*\r\n (2):-\r\n (3):*\r\n"));
        QCOMPARE(f.sounds.played(), (std::vector<int>{SoundPlayer::kRightSound, SoundPlayer::kWrongSound,
                                                      SoundPlayer::kRightSound}));
        QVERIFY(!f.dlg.isRunning());
        QVERIFY(f.dlg.ui()->nameEdit->isEnabled());
        QVERIFY(!f.dlg.ui()->answerButton1->isEnabled());
        QVERIFY(!f.dlg.runTimer().isActive());
        QCOMPARE(f.dlg.m_nLife, 2); // read again at the end
        // The last question stays on screen.
        QCOMPARE(f.question(), QStringLiteral("問題3"));
    }

    void timeOutIsAMiss()
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

    void barFillsOncePerTickAndLoweredLimitDoesNotTimeOut()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=1000\n");
        f.start();
        f.dlg.runTimer().stop(); // ticks by hand from here
        f.dlg.OnTimer(1);
        f.dlg.OnTimer(1);
        f.dlg.OnTimer(2); // not the run timer
        QCOMPARE(f.dlg.m_nElapsed, 2);
        QCOMPARE(f.dlg.ui()->timeBar->value(), 2);
        f.folder.writeIni("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=0\n");
        f.dlg.OnTimer(1); // 3 is past 0 + 1: no time-out
        QVERIFY(f.lines().empty());
        QVERIFY(f.dlg.isRunning());
        f.folder.writeIni("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=3\n");
        f.dlg.OnTimer(1); // 4 == 3 + 1
        QCOMPARE(f.lines(), std::string(" (1):-\r\n"));
    }

    void noMissAllowanceAndNoCountRunUntilStopped()
    {
        // Without LIFE and QUESTION_CNT 0 nothing but 停止 ends the run.
        Fixture f("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=0\n[TIME_LIMIT]\n1=10\n", 2);
        f.start();
        for (int i = 0; i < 6; ++i)
            f.answer(false);
        QVERIFY(f.dlg.isRunning());
        QCOMPARE(f.dlg.m_nLife, -6);
        QCOMPARE(f.dlg.m_nRemaining, -6);
        QCOMPARE(f.dlg.m_lamp1->color(), kRed); // lamps change only at 2, 1 and 0
        // Registration order past the last record starts over.
        QCOMPARE(f.question(), QStringLiteral("問題1"));
        QCOMPARE(f.dlg.ui()->progressLabel->text(), QStringLiteral("7/0"));
        QTest::mouseClick(f.dlg.ui()->stopButton, Qt::LeftButton);
        QVERIFY(!f.dlg.isRunning());
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("終了!!")});
        // The question on screen at 停止 gets no line.
        QCOMPARE(f.lines(), std::string(" (1):-\r\n (2):-\r\n (3):-\r\n (4):-\r\n (5):-\r\n (6):-\r\n"));
    }

    void lampsGoOutOverTheLastThreeMisses()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=10\n[LIFE]\n1=5\n[TIME_LIMIT]\n1=10\n");
        f.start();
        f.answer(false);
        f.answer(false);
        QCOMPARE(f.dlg.m_lamp3->color(), kRed);
        f.answer(false);
        QCOMPARE(f.dlg.m_lamp3->color(), kWhite);
        QCOMPARE(f.dlg.m_lamp2->color(), kRed);
        f.answer(true);
        f.answer(false);
        QCOMPARE(f.dlg.m_lamp2->color(), kWhite);
        QCOMPARE(f.dlg.m_lamp1->color(), kRed);
        QVERIFY(f.dlg.isRunning());
        f.answer(false);
        QCOMPARE(f.dlg.m_lamp1->color(), kWhite);
        QVERIFY(!f.dlg.isRunning());
        QCOMPARE(f.lines(), std::string(" (1):-\r\n (2):-\r\n (3):-\r\n (4):*\r\n (5):-\r\n (6):-\r\n"));
        // The next Start lights them again and empties the log.
        f.start();
        QCOMPARE(f.dlg.m_lamp1->color(), kRed);
        QVERIFY(f.lines().empty());
    }

    void soundsOnlyWhenSwitchedOn()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=2\n[LIFE]\n1=3\n[TIME_LIMIT]\n1=10\n[SOUND]\nSW=2\n");
        f.start();
        f.answer(true);
        f.answer(false);
        QVERIFY(f.sounds.played().empty());
        QVERIFY(!f.dlg.isRunning());
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
            f.dlg.m_nAnswerPos = position;
            QTest::mouseClick(f.button(position), Qt::LeftButton);
        }
        QCOMPARE(f.lines(), std::string(" (1):*\r\n (2):*\r\n (3):*\r\n (4):*\r\n (5):*\r\n"));
    }

    void twoMarkedAnswersCountTheLaterPosition()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=10\n");
        std::string bytes = question::encodeRecord(makeQuestion("二つの正解", 2), nullptr);
        bytes[100 + 80 * 3] = '*'; // slot 4 marked too
        f.folder.writeFile("bank.txt", bytes);
        f.start();
        const QStringList shown = f.answers();
        QCOMPARE(f.dlg.m_nAnswerPos, std::max(shown.indexOf("答2"), shown.indexOf("答4")) + 1);
    }

    void recordWithoutMarkHasNoRightAnswer()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=10\n[LIFE]\n1=9\n", 0);
        f.folder.writeQuestions("bank.txt", {makeQuestion("印あり", 3), makeQuestion("印なし", 0)});
        f.start();
        f.answer(true);
        QCOMPARE(f.question(), QStringLiteral("印なし"));
        QCOMPARE(f.dlg.m_nAnswerPos, 0);
        QTest::mouseClick(f.dlg.ui()->answerButton3, Qt::LeftButton);
        QCOMPARE(f.lines(), std::string(" (1):*\r\n (2):-\r\n"));
    }

    void randomOrderAndShuffleFollowTheSeededGenerator()
    {
        // Seeded with 1, the classic generator draws 41, 18467, 6334, 26500,
        // 19169, 15724, 11478, 29358, 26962, 24464, 5705, 28145, 23281, ...
        Clock::fixTime(1);
        // Any SEQ but 0 is random order: 41 % 7 picks record 7 first; then the
        // slots 2, 4, 0, (4, 4), 3, (3, 2, 4, 0, 0), 1 fill positions 1 to 5.
        Fixture random("[QUESTION]\n1=bank.txt\n[SEQ]\n1=5\n[QUESTION_CNT]\n1=3\n[LIFE]\n1=9\n"
                       "[TIME_LIMIT]\n1=10\n", 7);
        random.start();
        const QStringList shuffled{"答3", "答5", "答1", "答4", "答2"};
        QCOMPARE(random.question(), QStringLiteral("問題7"));
        QCOMPARE(random.answers(), shuffled);
        QCOMPARE(random.dlg.m_nAnswerPos, 5); // question 7 is marked at answer 2
        // Seeded again before every question: within the same second the
        // same record comes in the same order.
        random.answer(true);
        QCOMPARE(random.question(), QStringLiteral("問題7"));
        QCOMPARE(random.answers(), shuffled);

        // Registration order draws nothing for the record: 41 starts the shuffle.
        Fixture inOrder("[QUESTION]\n1=bank.txt\n[SEQ]\n1=0\n[TIME_LIMIT]\n1=10\n", 7);
        inOrder.start();
        QCOMPARE(inOrder.question(), QStringLiteral("問題1"));
        QCOMPARE(inOrder.answers(), (QStringList{"答2", "答3", "答5", "答1", "答4"}));
    }

    void questionFileThatCannotBeUsedEndsTheRunCleanly_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QByteArray() << false << QStringLiteral("ファイルオープンエラー");
        QTest::newRow("shorter than a record") << QByteArray(499, 'x') << true
                                               << QStringLiteral("問題ファイルに出題できる問題がありません");
    }
    void questionFileThatCannotBeUsedEndsTheRunCleanly()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        QFETCH(QString, message);
        Fixture f("[QUESTION]\n1=other.txt\n[SEQ]\n1=1\n");
        if (exists)
            f.folder.writeFile("other.txt", content.toStdString());
        f.start();
        QCOMPARE(f.boxes.texts(), (QStringList{message, QStringLiteral("終了!!")}));
        QCOMPARE(f.boxes.shown()[0].icon, MessageBox::Icon::Stop);
        QVERIFY(!f.dlg.isRunning());
        QVERIFY(!f.dlg.runTimer().isActive());
        QVERIFY(!f.folder.exists("other.txt") || exists);
    }

    void questionFileVanishingMidRun()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=3\n[LIFE]\n1=3\n[TIME_LIMIT]\n1=10\n");
        f.start();
        std::filesystem::remove(f.folder.file("bank.txt"));
        f.answer(true);
        QCOMPARE(f.boxes.texts(), (QStringList{QStringLiteral("ファイルオープンエラー"), QStringLiteral("終了!!")}));
        QVERIFY(!f.dlg.isRunning());
        QCOMPARE(f.lines(), std::string(" (1):*\r\n"));
    }

    void invalidBytesAndZeroBytesInARecord()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=10\n");
        std::string bytes = question::encodeRecord(makeQuestion("壊れた", 1), nullptr);
        bytes[4] = '\x82'; // a lead byte without its second byte
        bytes[5] = ' ';
        bytes[300] = '\0';
        f.folder.writeFile("bank.txt", bytes);
        f.start();
        QVERIFY(f.question().startsWith(QString(QChar(0xFFFD)) + QLatin1Char(' ')));
        QVERIFY(f.dlg.isRunning());
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

    void headerTakesSettingsAsReadAtStart()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n");
        f.start("山田　花子");
        QCOMPARE(f.log(), sj("【問題】:bank.txt\r\n【氏名】:山田　花子\r\n【出題数】:3題\r\n【ミス許容数】:0回\r\n"
                             "【制限時間】:0秒\r\n【結果 *正解, -不正解】\r\n"));
        QCOMPARE(f.dlg.m_nTotal, 3);
        QCOMPARE(f.dlg.ui()->progressLabel->text(), QStringLiteral("1/3"));
    }

    void extremeSettingsDoNotOverflow()
    {
        Fixture f("[QUESTION]\n1=bank.txt\n[LIFE]\n1=-2147483648\n[QUESTION_CNT]\n1=-2147483648\n"
                  "[TIME_LIMIT]\n1=2147483647\n");
        f.start();
        f.answer(false);
        QVERIFY(f.dlg.isRunning());
        f.dlg.runTimer().stop();
        f.dlg.OnTimer(1);
        QVERIFY(f.dlg.isRunning());
        QTest::mouseClick(f.dlg.ui()->stopButton, Qt::LeftButton);
    }
};

QTEST_MAIN(TestTestRun)
#include "test_test_run.moc"
