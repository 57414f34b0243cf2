// The preflight: a bank with every mistake once gets every finding once, the
// bundled sample gets none, and the settings are held against the bank.

#include "BankSamples.h"
#include "bank/BankCheck.h"

#include <QTest>

using namespace bank;
using K = Finding::Kind;

namespace {

std::vector<Finding> checked(const std::filesystem::path& bank, int* questions = nullptr)
{
    std::vector<Finding> found;
    int n = 0;
    if (!checkBank(bank, [&](const Finding& f) { found.push_back(f); }, n))
        qWarning("bank not read");
    if (questions)
        *questions = n;
    return found;
}

std::vector<Finding> settingsChecked(const std::filesystem::path& ini, const std::filesystem::path& bank, int count)
{
    std::vector<Finding> found;
    if (!checkSettings(ini, bank, count, [&](const Finding& f) { found.push_back(f); }))
        qWarning("settings not read");
    return found;
}

std::vector<std::pair<int, K>> kindsOf(const std::vector<Finding>& found)
{
    std::vector<std::pair<int, K>> out;
    for (const Finding& f : found)
        out.emplace_back(f.question, f.kind);
    return out;
}

} // namespace

class TestBankCheck : public QObject {
    Q_OBJECT
private slots:
    void everyFindingOnce()
    {
        TestFolder folder(false);
        std::vector<question::QuestionRecord> r;
        for (int i = 1; i <= 13; ++i)
            r.push_back(makeQuestion(("問題" + std::to_string(i)).c_str(), 1));
        r[1].correct = 0;                   // 2: no "*"
        r[3].question.clear();              // 4: empty question
        r[4].answers[2] = sj("　");          // 5: empty answer 3 (a full-width space)
        r[7].picture = "0a1";               // 8: no number
        r[8].picture = "009";               // 9: missing
        r[9].picture = "010";               // 10: no bitmap
        r[10].picture = "011";              // 11: 100 x 100
        r[11].question = r[0].question;     // 12: same text as 1
        r[12].answers[1] = "#NAME?";        // 13: a formula a spreadsheet could not compute
        std::string bytes = bankBytes(r);
        bytes.replace(2 * 500 + 100 + 80 * 3, 1, "*");   // 3: "*" in slots 1 and 4
        bytes.replace(5 * 500 + 184, 2, "\x85\x40");    // 6: answer 2 holds a pair code page 932 leaves empty
        bytes.replace(6 * 500 + 341, 1, std::string(1, '\0')); // 7: a zero byte in answer 4
        bytes += "torn!!!";
        folder.writeFile("bank.txt", bytes);
        writeBitmap(folder.file("256bitmap/000.bmp"), 212, 150, 0xffffff);
        folder.writeFile("256bitmap/010.bmp", "not a bitmap");
        writeBitmap(folder.file("256bitmap/011.bmp"), 100, 100, 0xff0000);

        int count = 0;
        const std::vector<Finding> found = checked(folder.file("bank.txt"), &count);
        QCOMPARE(count, 13);
        const std::vector<std::pair<int, K>> expected = {
            {2, K::NoCorrectAnswer}, {3, K::SeveralCorrectAnswers}, {4, K::EmptyQuestion},
            {5, K::EmptyAnswer},     {6, K::InvalidShiftJis},       {7, K::ZeroByte},
            {8, K::PictureNumber},   {9, K::PictureMissing},        {10, K::PictureNotBitmap},
            {11, K::PictureSize},    {12, K::DuplicateQuestion},    {13, K::SpreadsheetValue},
            {0, K::TrailingBytes},
        };
        QCOMPARE(kindsOf(found), expected);
        QCOMPARE(found[1].detail, std::string("1, 4"));
        QCOMPARE(found[3].detail, std::string("3"));
        QCOMPARE(found[4].detail, std::string("answer2"));
        QCOMPARE(found[5].detail, std::string("answer4"));
        QVERIFY(found[9].detail.find("100x100") != std::string::npos);
        QCOMPARE(found[10].other, 1);
        QCOMPARE(found[11].detail, std::string("answer2:error:#NAME?"));
        QCOMPARE(found[12].detail, std::string("7"));
        QCOMPARE(found[12].other, 13);
    }

    void bytesThatAreNoCharacter_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("NEC row 13") << QByteArray("\x87\x40") << true;
        QTest::newRow("NEC-selected IBM") << QByteArray("\xED\x40") << true;
        QTest::newRow("half-width kana") << QByteArray("\xB1") << true;
        QTest::newRow("empty row") << QByteArray("\x85\x40") << false;
        QTest::newRow("lead byte cut off") << QByteArray("ab\x82") << false;
        QTest::newRow("no trail byte") << QByteArray("\x82\x20x") << false;
    }
    void bytesThatAreNoCharacter()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        TestFolder folder(false);
        question::QuestionRecord r = makeQuestion("", 1);
        r.question = text.toStdString();
        folder.writeFile("bank.txt", bankBytes({r}));
        writeBitmap(folder.file("256bitmap/000.bmp"), 212, 150, 0xffffff);
        const std::vector<Finding> found = checked(folder.file("bank.txt"));
        QCOMPARE(found.empty(), valid);
        if (!valid)
            QCOMPARE(found[0].detail, std::string("question"));
    }

    void duplicatesNameTheFirst()
    {
        TestFolder folder(false);
        folder.writeFile("bank.txt", bankBytes({makeQuestion("一", 1), makeQuestion("二", 2), makeQuestion("一", 3),
                                                makeQuestion("二 ", 4)}));
        writeBitmap(folder.file("256bitmap/000.bmp"), 212, 150, 0xffffff);
        const std::vector<Finding> found = checked(folder.file("bank.txt"));
        QCOMPARE(kindsOf(found), (std::vector<std::pair<int, K>>{{3, K::DuplicateQuestion}, {4, K::DuplicateQuestion}}));
        QCOMPARE(found[0].other, 1);
        QCOMPARE(found[1].other, 2);
    }

    void sampleIsClean()
    {
        TestFolder folder(false);
        copySample(folder.path());
        int count = 0;
        QVERIFY(checked(folder.file("sample0524.txt"), &count).empty());
        QCOMPARE(count, 24);
        QVERIFY(settingsChecked(folder.file("Parameter.INI"), folder.file("sample0524.txt"), count).empty());
    }

    void settingsHeldAgainstTheBank_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("note");
        const QString good = QStringLiteral("[QUESTION]\n1=bank.txt\n[QUESTION_CNT]\n1=3\n[TIME_LIMIT]\n1=20\n[LIFE]\n1=3\n"
                                            "[MAIL]\n1=0\n[PW]\n1=\n");
        const auto with = [&](const char* section, const char* value) {
            QString ini = good;
            const QString head = QStringLiteral("[%1]\n1=").arg(QLatin1String(section));
            const qsizetype at = ini.indexOf(head);
            if (at < 0)
                return ini + head + QLatin1String(value) + QLatin1Char('\n');
            const qsizetype end = ini.indexOf(QLatin1Char('\n'), at + head.size());
            return ini.replace(at + head.size(), end - at - head.size(), QLatin1String(value));
        };
        QTest::newRow("question file missing") << with("QUESTION", "gone.txt") << int(K::QuestionFileMissing)
                                               << QStringLiteral("gone.txt") << false;
        QTest::newRow("another question file") << with("QUESTION", "other.txt") << int(K::QuestionFileOther)
                                               << QStringLiteral("other.txt") << true;
        QTest::newRow("count 0") << with("QUESTION_CNT", "0") << int(K::QuestionCount) << QStringLiteral("0") << false;
        QTest::newRow("count above the bank") << with("QUESTION_CNT", "5") << int(K::QuestionCount)
                                              << QStringLiteral("5") << false;
        QTest::newRow("count as many as the bank") << with("QUESTION_CNT", "4") << -1 << QString() << false;
        QTest::newRow("time limit 0") << with("TIME_LIMIT", "0") << int(K::TimeLimit) << QStringLiteral("0") << false;
        QTest::newRow("life missing") << QString(good).remove(QStringLiteral("[LIFE]\n1=3\n")) << int(K::Life)
                                      << QString() << false;
        QTest::newRow("mail on, no server") << QString(good).remove(QStringLiteral("[MAIL]\n1=0\n")) + "[TO]\n1=a@b\n[FROM]\n1=c@d\n"
                                            << int(K::MailAccount) << QStringLiteral("SMTP") << false;
        QTest::newRow("port no number") << with("PORT", "smtp") << int(K::PortInvalid) << QStringLiteral("smtp") << false;
        QTest::newRow("id on port 587") << with("PORT", "587") + "[ID]\n1=user\n" << int(K::StartTlsUnknown)
                                        << QStringLiteral("587") << true;
        QTest::newRow("id on port 465") << with("PORT", "465") + "[ID]\n1=user\n" << -1 << QString() << false;
        QTest::newRow("password others read") << with("PW", "secret") << int(K::PasswordReadable)
                                              << QStringLiteral("0644") << false;
    }
    void settingsHeldAgainstTheBank()
    {
        QFETCH(QString, ini);
        QFETCH(int, kind);
        QFETCH(QString, detail);
        QFETCH(bool, note);
        TestFolder folder(false);
        folder.writeFile("bank.txt", bankBytes({makeQuestion("a", 1), makeQuestion("b", 1), makeQuestion("c", 1),
                                                makeQuestion("d", 1)}));
        folder.writeFile("other.txt", "");
        folder.writeIni(ini.toUtf8().constData());
        std::filesystem::permissions(folder.iniPath(), std::filesystem::perms(0644));
        const std::vector<Finding> found = settingsChecked(folder.iniPath(), folder.file("bank.txt"), 4);
        if (kind < 0) {
            QVERIFY(found.empty());
            return;
        }
        QCOMPARE(found.size(), std::size_t(1));
        QCOMPARE(int(found[0].kind), kind);
        QCOMPARE(QString::fromStdString(found[0].detail), detail);
        QCOMPARE(found[0].note, note);

        // A private file keeps the password to its owner.
        if (found[0].kind == K::PasswordReadable) {
            std::filesystem::permissions(folder.iniPath(), std::filesystem::perms(0600));
            QVERIFY(settingsChecked(folder.iniPath(), folder.file("bank.txt"), 4).empty());
        }
    }
};

QTEST_MAIN(TestBankCheck)
#include "test_bank_check.moc"
