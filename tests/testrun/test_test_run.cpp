// The rules of a test run on the run itself, without a window: what the
// window is told, in which order, and what the run holds afterwards.

#include "TestSupport.h"
#include "reportmail/ResultLog.h"
#include "settings/ProfileStore.h"
#include "testrun/TestRun.h"

#include <QTest>

using testrun::MessageIcon;
using testrun::TestRun;

namespace {

// Records everything the run asks of the window, one line each.
class RecordingView : public testrun::RunView {
public:
    void showMessage(const std::string& utf8, MessageIcon icon) override
    {
        note("message " + utf8 + (icon == MessageIcon::Stop ? " (stop)" : ""));
        if (onMessage)
            onMessage();
    }
    void setNameBoxEnabled(bool enabled) override { note(enabled ? "name on" : "name off"); }
    void setRunControls(bool running) override { note(running ? "controls running" : "controls idle"); }
    void startRunTimer() override { note("timer start"); }
    void stopRunTimer() override { note("timer stop"); }
    void setLampColor(int lamp, int colour) override
    {
        note("lamp " + std::to_string(lamp) + (colour == testrun::kRed ? " red" : " white"));
    }
    void setBarRange(int timeLimit) override { note("bar range " + std::to_string(timeLimit)); }
    void setBarPosition(int position) override { note("bar " + std::to_string(position)); }
    void showPicture(const std::string& number) override { note("picture " + number); }
    void showQuestion() override
    {
        note("question " + QString::fromStdString(sjis::toUtf8(run->m_strQuestion)).trimmed().toStdString());
    }
    void playSound(int kind) override { note(kind == 1 ? "sound right" : "sound wrong"); }
    void showJudgePopup(const std::string& verdict, const std::string& notice) override
    {
        note("popup " + sjis::toUtf8(verdict) + " " + sjis::toUtf8(notice));
    }

    void note(const std::string& what) { calls << QString::fromStdString(what); }
    // The calls since the last look, and forget them.
    QStringList take() { return std::exchange(calls, {}); }
    // Only the calls that start with one of the prefixes.
    QStringList take(const QStringList& prefixes)
    {
        QStringList out;
        for (const QString& call : take())
            for (const QString& prefix : prefixes)
                if (call.startsWith(prefix))
                    out << call;
        return out;
    }

    QStringList calls;
    TestRun* run = nullptr;
    std::function<void()> onMessage;
};

// A run over a settings file and a question file of `count` questions whose
// answers are "答1".."答5" (question n marked at answer ((n - 1) % 5) + 1),
// with a fixed clock and a mail step that records the mails.
struct Bench {
    explicit Bench(const char* ini, int count = 5)
    {
        folder.writeIni(ini);
        std::vector<question::QuestionRecord> records;
        for (int n = 1; n <= count; ++n)
            records.push_back(makeQuestion(("問題" + std::to_string(n)).c_str(), (n - 1) % 5 + 1));
        folder.writeQuestions("bank.txt", records);
        profile.setPath(folder.file("Parameter.INI"));

        testrun::RunSeams seams;
        seams.profile = &profile;
        seams.log = &log;
        seams.questions = testrun::questionFiles();
        seams.clock = [this] { return now; };
        seams.sendMail = [this](const mail::ComposedMail& mail) {
            mails << QString::fromStdString(sjis::toUtf8(mail.subject));
            return mailGoesOut;
        };
        run = std::make_unique<TestRun>(view, std::move(seams));
        view.run = run.get();
        run->m_nMail = profile.GetProfileIntA("MAIL", "1", 1);
        run->m_nSound = profile.GetProfileIntA("SOUND", "SW", 0);
    }

    void start(const char* name = "試験太郎")
    {
        run->m_strName = sj(name);
        run->OnStart();
    }
    void answer(bool right)
    {
        const int position = run->m_nAnswerPos;
        run->OnAnswer(right ? position : position % 5 + 1);
    }
    std::string question() const
    {
        return QString::fromStdString(sjis::toUtf8(run->m_strQuestion)).trimmed().toStdString();
    }
    QStringList answers() const
    {
        QStringList out;
        for (int p = 1; p <= 5; ++p)
            out << QString::fromStdString(sjis::toUtf8(run->answer(p))).trimmed();
        return out;
    }
    // The lines after the log's header.
    std::string lines() const
    {
        const std::string& t = log.text();
        const std::size_t at = t.find(sj("】\r\n"));
        return at == std::string::npos ? std::string() : t.substr(at + sj("】\r\n").size());
    }
    QString lamps() const
    {
        QString out;
        for (int lamp = 1; lamp <= 3; ++lamp)
            out += run->lampColor(lamp) == testrun::kRed ? 'R' : run->lampColor(lamp) == testrun::kWhite ? 'W' : '-';
        return out;
    }

    TestFolder folder;
    ProfileStore profile;
    ResultLog log;
    RecordingView view;
    std::time_t now = 1;
    bool mailGoesOut = true;
    QStringList mails;
    std::unique_ptr<TestRun> run;
};

} // namespace

class TestTestRun : public QObject {
    Q_OBJECT
private slots:
    void startFollowsItsStepsInOrder()
    {
        Bench b("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=3\n[LIFE]\n1=2\n[TIME_LIMIT]\n1=10\n");
        b.log.appendResultLine(9, 0); // an old run's line
        b.start();
        QCOMPARE(b.view.take(), (QStringList{"name off", "timer start", "controls running", "lamp 1 red",
                                             "lamp 2 red", "lamp 3 red", "bar range 10", "picture 000",
                                             "bar 0", "question 問題1"}));
        // The start mail went out before the settings were read; its outcome
        // is never shown.
        QCOMPARE(b.mails, QStringList{"【氏名】:試験太郎 開始"});
        QCOMPARE(b.log.text(), sj("【問題】:bank.txt\r\n【氏名】:試験太郎\r\n【出題数】:3題\r\n【ミス許容数】:2回\r\n"
                                  "【制限時間】:10秒\r\n【結果 *正解, -不正解】\r\n"));
        QCOMPARE(b.run->m_strProgress, std::string("1/3"));
        QVERIFY(b.run->isRunning());
        QCOMPARE(b.lamps(), QStringLiteral("RRR"));
    }

    void emptyNameIsRefusedAfterTheLogIsEmptied()
    {
        Bench b("[QUESTION]\n1=bank.txt\n");
        b.log.appendResultLine(1, 0);
        b.start("");
        QCOMPARE(b.view.take(), QStringList{"message 氏名を入力して下さい (stop)"});
        QVERIFY(b.log.text().empty());
        QVERIFY(b.mails.isEmpty());
        QVERIFY(!b.run->isRunning());
        // A name the mails cannot carry is refused too, naming the character,
        // before any mail.
        b.run->m_strNameLost = "𠮷";
        b.start("?田花子");
        QCOMPARE(b.view.take(), QStringList{"message 氏名の「𠮷」（U+20BB7）は、メールで送れない文字です。\n"
                                            "別の文字に置き換えてから「開始」を押してください。 (stop)"});
        QVERIFY(b.mails.isEmpty());
        QVERIFY(!b.run->isRunning());
        // A name of spaces is a name.
        b.run->m_strNameLost.clear();
        b.start(" ");
        QVERIFY(b.run->isRunning());
    }

    void completeRunJudgesPlaysAndMails()
    {
        Bench b("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=3\n[LIFE]\n1=2\n[TIME_LIMIT]\n1=10\n[SOUND]\nSW=1\n");
        b.start();
        b.view.take();
        b.answer(true);
        QCOMPARE(b.view.take(), (QStringList{"sound right", "timer stop", "popup ○正解 次の処理に移ります...",
                                             "timer start", "bar 0", "picture 000", "bar 0", "question 問題2"}));
        QCOMPARE(b.run->m_strProgress, std::string("2/3"));
        b.answer(false);
        QCOMPARE(b.view.take({"sound", "lamp", "popup"}),
                 (QStringList{"sound wrong", "lamp 2 white", "popup ×不正解 次の処理に移ります..."}));
        // The last line comes after "終了!!"; then the result mail with its
        // rate line, and its outcome.
        QString logAtEnd;
        b.view.onMessage = [&] {
            if (logAtEnd.isEmpty())
                logAtEnd = QString::fromStdString(sjis::toUtf8(b.lines()));
        };
        b.answer(true);
        QCOMPARE(b.view.take({"message", "timer", "controls", "name", "picture"}),
                 (QStringList{"timer stop", "timer start", "timer stop", "message 終了!!", "controls idle",
                              "name on", "picture 000", "message テスト結果の送信を完了しました\r\nお疲れ様でした\r\n"
                                                        "終了ボタンで終了して下さい"}));
        QCOMPARE(logAtEnd, QStringLiteral(" (1):*\r\n (2):-\r\n"));
        QCOMPARE(b.lines(), sj(" (1):*\r\n (2):-\r\n (3):*\r\n【正解率】：66.7%\r\n"));
        QCOMPARE(b.mails.size(), 2);
        QVERIFY(!b.run->isRunning());
        QCOMPARE(b.run->m_nLife, 2); // read again at the end
        QCOMPARE(b.question(), std::string("問題3")); // stays on screen
    }

    void howARunEnds_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("answers"); // r right, w wrong, t time-out
        QTest::addColumn<bool>("running");
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("mails"); // result mails
        QTest::newRow("count reached") << QByteArray("[QUESTION_CNT]\n1=2\n[LIFE]\n1=3\n") << "rw" << false
                                       << QByteArray(" (1):*\r\n (2):-\r\n【正解率】：50.0%\r\n") << 1;
        QTest::newRow("misses used up first") << QByteArray("[QUESTION_CNT]\n1=5\n[LIFE]\n1=2\n") << "wrw" << false
                                              << QByteArray(" (1):-\r\n (2):*\r\n (3):-\r\n") << 0;
        QTest::newRow("last miss on the last question")
            << QByteArray("[QUESTION_CNT]\n1=2\n[LIFE]\n1=2\n") << "ww" << false
            << QByteArray(" (1):-\r\n (2):-\r\n【正解率】： 0.0%\r\n") << 1;
        QTest::newRow("mail switched off") << QByteArray("[QUESTION_CNT]\n1=1\n[MAIL]\n1=0\n") << "r" << false
                                           << QByteArray(" (1):*\r\n") << 0;
        QTest::newRow("time-outs are misses") << QByteArray("[QUESTION_CNT]\n1=2\n[LIFE]\n1=5\n") << "tt" << false
                                              << QByteArray(" (1):-\r\n (2):-\r\n【正解率】： 0.0%\r\n") << 1;
        // Without LIFE and with QUESTION_CNT 0 nothing but 停止 ends a run.
        QTest::newRow("no allowance, no count") << QByteArray("[QUESTION_CNT]\n1=0\n") << "wwwwww" << true
                                                << QByteArray(" (1):-\r\n (2):-\r\n (3):-\r\n (4):-\r\n (5):-\r\n"
                                                              " (6):-\r\n")
                                                << 0;
        // With LIFE 0 only a miss takes the count below zero: a right
        // answer while it is still 0 ends the run.
        QTest::newRow("no allowance, right first") << QByteArray("[QUESTION_CNT]\n1=5\n") << "r" << false
                                                   << QByteArray(" (1):*\r\n") << 0;
        QTest::newRow("LIFE 1 ends at the first miss") << QByteArray("[LIFE]\n1=1\n") << "rw" << false
                                                      << QByteArray(" (1):*\r\n (2):-\r\n") << 0;
    }
    void howARunEnds()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, answers);
        QFETCH(bool, running);
        QFETCH(QByteArray, lines);
        QFETCH(int, mails);
        Bench b(("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=0\n" + ini).constData());
        b.start();
        for (const QChar a : answers) {
            if (a == 't')
                b.run->OnTimer(1); // a limit of 0 times out on the first tick
            else
                b.answer(a == 'r');
        }
        QCOMPARE(b.run->isRunning(), running);
        QCOMPARE(b.lines(), sj(lines.constData()));
        QCOMPARE(b.mails.size() - 1, mails); // the start mail is always there
        if (running) {
            b.run->OnStop();
            QVERIFY(!b.run->isRunning());
            QCOMPARE(b.lines(), sj(lines.constData())); // the question on screen gets no line
        }
    }

    void timerTicksAgainstALimitReadAtEveryTick()
    {
        Bench b("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=1000\n");
        b.start();
        b.view.take();
        b.run->OnTimer(1);
        b.run->OnTimer(1);
        b.run->OnTimer(2); // not the run timer
        QCOMPARE(b.run->m_nElapsed, 2);
        QCOMPARE(b.view.take(), (QStringList{"bar 1", "bar 2"}));
        b.folder.writeIni("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=0\n");
        b.run->OnTimer(1); // 3 is past 0 + 1: no time-out
        QVERIFY(b.lines().empty());
        b.folder.writeIni("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=3\n");
        b.run->OnTimer(1); // 4 == 3 + 1
        QCOMPARE(b.lines(), std::string(" (1):-\r\n"));
        QCOMPARE(b.run->m_nElapsed, 0);
    }

    void lampsGoOutOverTheLastThreeMisses()
    {
        Bench b("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=10\n[LIFE]\n1=5\n[TIME_LIMIT]\n1=10\n");
        QCOMPARE(b.lamps(), QStringLiteral("---"));
        b.start();
        QString seen;
        for (const bool right : {false, false, false, true, false, false}) {
            b.answer(right);
            seen += b.lamps() + ' ';
        }
        QCOMPARE(seen, QStringLiteral("RRR RRR RRW RRW RWW WWW "));
        QVERIFY(!b.run->isRunning());
        b.start(); // lit again
        QCOMPARE(b.lamps(), QStringLiteral("RRR"));
        // A miss below zero changes no lamp.
        Bench none("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=10\n");
        none.start();
        none.answer(false);
        QCOMPARE(none.run->m_nLife, -1);
        QCOMPARE(none.lamps(), QStringLiteral("RRR"));
    }

    void soundsOnlyWithTheSwitchAtOne()
    {
        Bench b("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=2\n[LIFE]\n1=3\n[TIME_LIMIT]\n1=10\n[SOUND]\nSW=2\n");
        b.start();
        b.answer(true);
        b.answer(false);
        QVERIFY(b.view.take({"sound"}).isEmpty());
        b.run->PlayJudgeSound(1, 3); // no such kind
        QVERIFY(b.view.take().isEmpty());
    }

    void randomAndFileOrderFollowTheSeededGenerator()
    {
        // Seeded with 1, the classic generator draws 41, 18467, 6334, 26500,
        // 19169, 15724, 11478, 29358, 26962, 24464, 5705, 28145, 23281, ...
        // Any SEQ but 0 is random order: 41 % 7 picks record 7 first; then
        // the slots 2, 4, 0, (4, 4), 3, (3, 2, 4, 0, 0), 1 fill positions 1 to 5.
        Bench random("[QUESTION]\n1=bank.txt\n[SEQ]\n1=5\n[QUESTION_CNT]\n1=3\n[LIFE]\n1=9\n[TIME_LIMIT]\n1=10\n", 7);
        random.start();
        const QStringList shuffled{"答3", "答5", "答1", "答4", "答2"};
        QCOMPARE(random.question(), std::string("問題7"));
        QCOMPARE(random.answers(), shuffled);
        QCOMPARE(random.run->m_nAnswerPos, 5); // question 7 is marked at answer 2
        // Seeded again before every question: within one second the same
        // record comes in the same order; a second later another.
        random.answer(true);
        QCOMPARE(random.question(), std::string("問題7"));
        QCOMPARE(random.answers(), shuffled);
        random.now = 2; // 45 % 7
        random.answer(true);
        QCOMPARE(random.question(), std::string("問題4"));

        // Registration order draws nothing for the record, and starts over
        // past the last record.
        Bench inOrder("[QUESTION]\n1=bank.txt\n[SEQ]\n1=0\n[QUESTION_CNT]\n1=0\n[LIFE]\n1=9\n[TIME_LIMIT]\n1=10\n", 2);
        inOrder.start();
        QCOMPARE(inOrder.answers(), (QStringList{"答2", "答3", "答5", "答1", "答4"}));
        std::string order = inOrder.question();
        for (int i = 0; i < 3; ++i) {
            inOrder.answer(true);
            order += inOrder.question();
        }
        QCOMPARE(QString::fromStdString(order), QStringLiteral("問題1問題2問題1問題2"));
        QCOMPARE(inOrder.run->m_strProgress, std::string("4/0"));
    }

    void markedAnswers()
    {
        // Two marks: the one placed at the later position counts. None: no
        // answer is right.
        Bench b("[QUESTION]\n1=bank.txt\n[TIME_LIMIT]\n1=10\n[LIFE]\n1=9\n", 0);
        std::string twice = question::encodeRecord(makeQuestion("二つの正解", 2), nullptr);
        twice[100 + 80 * 3] = '*';
        b.folder.writeFile("bank.txt", twice + question::encodeRecord(makeQuestion("印なし", 0), nullptr));
        b.start();
        const QStringList shown = b.answers();
        QCOMPARE(b.run->m_nAnswerPos, std::max(shown.indexOf("答2"), shown.indexOf("答4")) + 1);
        b.answer(true);
        QCOMPARE(b.run->m_nAnswerPos, 0);
        for (int p = 1; p <= 5; ++p)
            QCOMPARE(b.run->JudgeAnswer(p), 1);
    }

    void questionFileThatCannotBeUsedEndsTheRun_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QByteArray() << false << QStringLiteral("ファイルオープンエラー");
        QTest::newRow("shorter than a record")
            << QByteArray(499, 'x') << true << QStringLiteral("問題ファイルに出題できる問題がありません");
    }
    void questionFileThatCannotBeUsedEndsTheRun()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        QFETCH(QString, message);
        Bench b("[QUESTION]\n1=other.txt\n[SEQ]\n1=1\n");
        if (exists)
            b.folder.writeFile("other.txt", content.toStdString());
        b.start();
        QCOMPARE(b.view.take({"message", "timer", "controls"}),
                 (QStringList{"timer start", "controls running", "timer stop", "message " + message + " (stop)",
                              "timer stop", "message 終了!!", "controls idle"}));
        QVERIFY(!b.run->isRunning());
        QVERIFY(!b.folder.exists("other.txt") || exists);
    }

    void questionFileVanishingMidRun()
    {
        Bench b("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=3\n[LIFE]\n1=3\n[TIME_LIMIT]\n1=10\n");
        b.start();
        std::filesystem::remove(b.folder.file("bank.txt"));
        b.answer(true);
        QCOMPARE(b.view.take({"message"}), (QStringList{"message ファイルオープンエラー (stop)", "message 終了!!"}));
        QVERIFY(!b.run->isRunning());
        QCOMPARE(b.lines(), std::string(" (1):*\r\n"));
    }

    void mailOutcomes()
    {
        Bench b("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=1\n");
        b.mailGoesOut = false;
        b.start(); // a failed start mail says nothing, and the run goes on
        QVERIFY(b.view.take({"message"}).isEmpty());
        QVERIFY(b.run->isRunning());
        b.answer(true);
        QCOMPARE(b.view.take({"message"}),
                 (QStringList{"message 終了!!",
                              "message 送信に失敗しました\r\n試験中止\r\nシステム管理者へ連絡して下さい"}));
        // The rate line is in the log whether or not the mail went out.
        QCOMPARE(b.lines(), sj(" (1):*\r\n【正解率】：100.0%\r\n"));
        b.run->SendReportMail(mail::kTestMail);
        QCOMPARE(b.mails.last(), QStringLiteral("【テストメール】"));
        QCOMPARE(b.view.take({"message"}).size(), 1);
    }

    void extremeSettingsWrapInsteadOfOverflowing()
    {
        Bench b("[QUESTION]\n1=bank.txt\n[LIFE]\n1=-2147483648\n[QUESTION_CNT]\n1=-2147483648\n"
                "[TIME_LIMIT]\n1=2147483647\n");
        b.start();
        b.answer(false);
        QCOMPARE(b.run->m_nLife, 2147483647);
        QVERIFY(b.run->isRunning());
        b.run->OnTimer(1);
        QVERIFY(b.run->isRunning());
    }
};

QTEST_APPLESS_MAIN(TestTestRun)
#include "test_test_run.moc"
