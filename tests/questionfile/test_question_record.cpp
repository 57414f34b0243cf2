// The 500-byte question record: byte cuts, warnings, the two readings and the
// template record; question file access on real files.

#include "TestSupport.h"
#include "questionfile/PicturePath.h"
#include "questionfile/QuestionFile.h"
#include "questionfile/QuestionRecord.h"

#include <QTest>
#include <sys/stat.h>

using namespace question;

namespace {
struct Warnings {
    std::vector<std::string> seen;
    WarningSink sink()
    {
        return [this](const char* w) { seen.emplace_back(w); };
    }
};
} // namespace

class TestQuestionRecord : public QObject {
    Q_OBJECT
private slots:
    void questionTextCut()
    {
        Warnings w;
        const std::string fits(96, 'q');
        QCOMPARE(encodeHead("000", 'N', fits, w.sink()), "000N" + fits);
        QVERIFY(w.seen.empty());

        const std::string head = encodeHead("000", 'N', std::string(97, 'q'), w.sink());
        QCOMPARE(head, "000N" + fits);
        QCOMPARE(w.seen.size(), size_t(1));
        QCOMPARE(w.seen[0], std::string(kQuestionCutWarning));
    }

    void doubleByteCharacterCutAtTheLimitKeepsItsFirstByte()
    {
        Warnings w;
        const std::string text = std::string(95, 'q') + sj("問");
        const std::string head = encodeHead("000", 'N', text, w.sink());
        QCOMPARE(head.size(), size_t(100));
        QCOMPARE(head.back(), sj("問")[0]);
        QCOMPARE(w.seen.size(), size_t(1));
    }

    void answerTextCut_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("kept");
        QTest::addColumn<bool>("warned");
        QTest::newRow("78 stored whole") << 78 << 78 << false;
        QTest::newRow("79 loses its last byte silently") << 79 << 78 << false;
        QTest::newRow("80 warns and keeps 78") << 80 << 78 << true;
        QTest::newRow("200 warns and keeps 78") << 200 << 78 << true;
    }
    void answerTextCut()
    {
        QFETCH(int, length);
        QFETCH(int, kept);
        QFETCH(bool, warned);
        Warnings w;
        const std::string slot = encodeSlot(3, 3, std::string(static_cast<size_t>(length), 'a'), w.sink());
        QCOMPARE(slot.size(), size_t(80));
        QCOMPARE(slot, "*" + std::string(static_cast<size_t>(kept), 'a') + std::string(80 - 1 - kept, ' '));
        QCOMPARE(!w.seen.empty(), warned);
        if (warned)
            QCOMPARE(w.seen[0], std::string(kAnswerCutWarning));
    }

    void everyLongAnswerWarnsInOrder()
    {
        Warnings w;
        QuestionRecord r = makeQuestion("問", 1);
        r.answers[1] = std::string(90, 'x');
        r.answers[4] = std::string(81, 'y');
        const std::string bytes = encodeRecord(r, w.sink());
        QCOMPARE(bytes.size(), size_t(500));
        QCOMPARE(w.seen.size(), size_t(2));
        for (int end : {179, 259, 339, 419, 499})
            QCOMPARE(bytes[static_cast<size_t>(end)], ' ');
    }

    void shortPictureNameNeverShiftsTheText()
    {
        const std::string head = encodeHead("1", 'N', "Q", nullptr);
        QCOMPARE(head.substr(0, 5), std::string("1  NQ"));
    }

    void editorReading()
    {
        QuestionRecord r = makeQuestion("  先頭の空白と末尾の空白  ", 2);
        r.answers[0] = sj("全角空白で終わる　");
        std::string bytes = encodeRecord(r, nullptr);
        bytes[100 + 80 * 3] = '*'; // a second mark in slot 4
        bytes[120] = '\t';         // trailing tab in answer 1's padding
        const QuestionRecord d = decodeRecord(bytes);
        QCOMPARE(d.picture, std::string("000"));
        QCOMPARE(d.mark, 'N');
        QCOMPARE(d.question, sj("  先頭の空白と末尾の空白"));
        QCOMPARE(d.answers[0], sj("全角空白で終わる　"));
        QCOMPARE(d.correct, 2);
    }

    void everyFieldEndsAtItsOwnLastByte()
    {
        // Text up to the last byte of every field, each field followed by a
        // mark "*": no field may take a byte of its neighbour or leave one out.
        std::string bytes = "012N" + std::string(96, 'q');
        for (char c : {'a', 'b', 'c', 'd', 'e'})
            bytes += "*" + std::string(79, c);
        const QuestionRecord d = decodeRecord(bytes);
        const RawQuestion raw = cutRawFields(bytes);
        QCOMPARE(d.question, std::string(96, 'q'));
        QCOMPARE(raw.question, std::string(96, 'q'));
        for (std::size_t k = 0; k < 5; ++k) {
            QCOMPARE(d.answers[k], std::string(79, static_cast<char>('a' + k)));
            QCOMPARE(raw.answers[k], std::string(79, static_cast<char>('a' + k)));
            QCOMPARE(raw.marks[k], '*');
        }
        QCOMPARE(d.correct, 1);
    }

    void zeroByteEndsTheText()
    {
        QuestionRecord r = makeQuestion("問題文", 5);
        r.answers[0] = std::string(60, 'a');
        std::string bytes = encodeRecord(r, nullptr);
        bytes[150] = '\0'; // inside answer 1
        const QuestionRecord d = decodeRecord(bytes);
        QCOMPARE(d.question, sj("問題文"));
        QCOMPARE(d.answers[0].size(), size_t(49));
        QVERIFY(d.answers[1].empty() && d.answers[4].empty());
        QCOMPARE(d.correct, 0);

        const RawQuestion raw = cutRawFields(bytes);
        QCOMPARE(raw.answers[0].size(), size_t(49));
        QVERIFY(raw.answers[2].empty());
        QCOMPARE(raw.marks[4], '\0');
    }

    void runnerReadingKeepsSpaces()
    {
        const std::string bytes = encodeRecord(makeQuestion("Q", 4, "A", "012"), nullptr);
        const RawQuestion raw = cutRawFields(bytes);
        QCOMPARE(raw.picture, std::string("012"));
        QCOMPARE(raw.question, "Q" + std::string(95, ' '));
        QCOMPARE(raw.answers[3], "A4" + std::string(77, ' '));
        QCOMPARE(raw.marks[3], '*');
        QCOMPARE(raw.marks[0], ' ');
        // Garbage never crashes the cutter.
        const RawQuestion shortOne = cutRawFields("12");
        QCOMPARE(shortOne.picture, std::string("12"));
        QVERIFY(shortOne.question.empty());
    }

    void templateRecord()
    {
        const std::string bytes = templateRecordBytes();
        QCOMPARE(bytes.size(), size_t(500));
        QCOMPARE(bytes.substr(0, 14), "000N" + sj("テスト問題"));
        QCOMPARE(bytes.substr(100, 6), "*" + sj("解答1"));
        QCOMPARE(bytes.substr(420, 6), " " + sj("解答5"));
        const QuestionRecord d = decodeRecord(bytes);
        QCOMPARE(d.question, sj("テスト問題"));
        QCOMPARE(d.answers[4], sj("解答5"));
        QCOMPARE(d.correct, 1);
    }

    void fileAccess()
    {
        TestFolder folder;
        folder.writeQuestions("q.txt", {makeQuestion("一", 1), makeQuestion("二", 2), makeQuestion("三", 3)});
        folder.writeFile("q.txt", folder.readFile("q.txt") + std::string(250, 'x')); // a torn tail
        QCOMPARE(recordCountOf("q.txt").value_or(-1), 3);
        QCOMPARE(offsetOfQuestion(3), std::int64_t(1000));

        QuestionFile file;
        QVERIFY(file.open("q.txt"));
        QCOMPARE(file.recordCount(), 3);
        QuestionRecord r;
        QVERIFY(file.readQuestion(3, r));
        QCOMPARE(r.question, sj("三"));
        QCOMPARE(r.correct, 3);

        r.question = sj("改");
        r.mark = 'C';
        QVERIFY(file.rewriteQuestion(2, r, nullptr));
        // Only a question the file holds is rewritten, never the torn tail.
        QVERIFY(!file.rewriteQuestion(4, r, nullptr));
        QVERIFY(!file.rewriteQuestion(0, r, nullptr));
        QCOMPARE(file.length(), std::int64_t(1750));
        QVERIFY(file.appendQuestion(makeQuestion("四", 4), nullptr));
        file.close();
        // Made read-only, the file takes no write, not even from root.
        ::chmod(folder.file("q.txt").c_str(), 0444);
        const std::string before = folder.readFile("q.txt");
        if (file.open("q.txt")) {
            QVERIFY(!file.rewriteQuestion(1, r, nullptr));
            QVERIFY(!file.appendQuestion(r, nullptr));
            file.close();
        }
        QCOMPARE(folder.readFile("q.txt"), before);

        // The new record goes at the record boundary, over the torn tail, so
        // that it is found at its number.
        const std::string bytes = folder.readFile("q.txt");
        QCOMPARE(bytes.size(), size_t(2000));
        QCOMPARE(bytes.substr(500, 6), "000C" + sj("改"));
        QCOMPARE(decodeRecord(bytes.substr(1500)).question, sj("四"));
    }

    void openingNeverCreatesAFile()
    {
        TestFolder folder;
        QuestionFile file;
        QVERIFY(!file.open("missing.txt"));
        QVERIFY(!folder.exists("missing.txt"));
        QVERIFY(!file.open(""));
        QVERIFY(!recordCountOf("missing.txt").has_value());
        std::filesystem::create_directory(folder.file("folder.txt"));
        QVERIFY(!file.open("folder.txt"));
        folder.writeFile("empty.txt", "");
        QCOMPARE(recordCountOf("empty.txt").value_or(-1), 0);
    }

    void picturePaths()
    {
        QCOMPARE(picturePath("sample0524.txt", "012"), std::string("256bitmap\\012.bmp"));
        QCOMPARE(picturePath("C:\\tests\\q.txt", "000"), std::string("C:\\tests\\256bitmap\\000.bmp"));
        QCOMPARE(picturePath("data/q.txt", "001"), std::string("data/256bitmap\\001.bmp"));
    }
};

QTEST_GUILESS_MAIN(TestQuestionRecord)
#include "test_question_record.moc"
