// Cutting texts into their fields, reading records back, and appending to
// question files whose length is not a whole number of records.

#include "support/TestSupport.h"

#include "questions/QuestionFile.h"
#include "questions/QuestionRecord.h"

#include <QtTest>

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

class TestQuestionRecords : public QObject {
    Q_OBJECT
private slots:
    void questionTextIsCutAt96Bytes();
    void answerTextKeepsAtMost78Bytes();
    void doubleByteCharacterCutAtTheLimitKeepsItsFirstByte();
    void templateRecordReadsBack();
    void decodingTrimsOnlySingleByteWhiteSpaceAtTheEnd();
    void appendingStartsAtTheRecordBoundary();
};

void TestQuestionRecords::questionTextIsCutAt96Bytes()
{
    Warnings w;
    const std::string q96(96, 'q');
    const std::string head = encodeHead("000", 'N', q96, w.sink());
    QCOMPARE(head.size(), std::size_t(100));
    QCOMPARE(head, "000N" + q96);
    QVERIFY(w.seen.empty());

    const std::string head97 = encodeHead("000", 'N', q96 + "x", w.sink());
    QCOMPARE(head97, "000N" + q96);
    QCOMPARE(w.seen, std::vector<std::string>{kQuestionCutWarning});

    // A short picture name keeps the question text in place.
    QCOMPARE(encodeHead("1", 'C', "abc", nullptr).substr(0, 7), std::string("1  Cabc"));
}

void TestQuestionRecords::answerTextKeepsAtMost78Bytes()
{
    Warnings w;
    const std::string a78(78, 'a');
    QCOMPARE(encodeSlot(2, 2, a78, w.sink()), "*" + a78 + " ");
    QCOMPARE(encodeSlot(2, 3, a78 + "b", w.sink()), " " + a78 + " "); // 79: cut without a warning
    QVERIFY(w.seen.empty());
    QCOMPARE(encodeSlot(1, 1, a78 + "bc", w.sink()), "*" + a78 + " "); // 80: warned
    QCOMPARE(w.seen, std::vector<std::string>{kAnswerCutWarning});

    // Each over-long answer warns, in the order 1 to 5, after the question.
    Warnings all;
    QuestionRecord r = makeQuestion("問", 1);
    r.question = std::string(97, 'q');
    r.answers[1] = std::string(80, 'x');
    r.answers[4] = std::string(200, 'y');
    const std::string bytes = encodeRecord(r, all.sink());
    QCOMPARE(bytes.size(), std::size_t(kRecordSize));
    QCOMPARE(all.seen, (std::vector<std::string>{kQuestionCutWarning, kAnswerCutWarning, kAnswerCutWarning}));
    for (int slot = 0; slot < kAnswerCount; ++slot)
        QCOMPARE(bytes[static_cast<std::size_t>(179 + 80 * slot)], ' ');
}

void TestQuestionRecords::doubleByteCharacterCutAtTheLimitKeepsItsFirstByte()
{
    const std::string kanji = sj("漢");
    QCOMPARE(kanji.size(), std::size_t(2));
    Warnings w;
    const std::string head = encodeHead("000", 'N', std::string(95, 'q') + kanji, w.sink());
    QCOMPARE(head[99], kanji[0]);
    QCOMPARE(w.seen.size(), std::size_t(1));

    const std::string slot = encodeSlot(1, 0, std::string(77, 'a') + kanji, nullptr);
    QCOMPARE(slot[78], kanji[0]);
    QCOMPARE(slot[79], ' ');
    // Reading the cut text back never fails on the lone lead byte.
    const QuestionRecord r = decodeRecord(head + slot + std::string(320, ' '));
    QCOMPARE(r.question.size(), std::size_t(96));
    QVERIFY(!sjis::toUtf8(r.question).empty());
}

void TestQuestionRecords::templateRecordReadsBack()
{
    const std::string bytes = templateRecordBytes();
    QCOMPARE(bytes.size(), std::size_t(kRecordSize));
    QCOMPARE(bytes.substr(0, 14), "000N" + sj("テスト問題"));
    QCOMPARE(bytes.substr(100, 6), "*" + sj("解答1"));
    QCOMPARE(bytes.substr(420, 6), " " + sj("解答5"));
    const QuestionRecord r = decodeRecord(bytes);
    QCOMPARE(r.picture, std::string("000"));
    QCOMPARE(r.mark, 'N');
    QCOMPARE(r.question, sj("テスト問題"));
    QCOMPARE(r.answers[2], sj("解答3"));
    QCOMPARE(r.correct, 1);
}

void TestQuestionRecords::decodingTrimsOnlySingleByteWhiteSpaceAtTheEnd()
{
    QuestionRecord r = makeQuestion("問", 0);
    r.question = "  lead\t \r\n";
    r.answers[0] = "x" + sj("　"); // full-width space stays
    std::string bytes = encodeRecord(r, nullptr);
    bytes[180] = '*';
    bytes[340] = '*';
    const QuestionRecord back = decodeRecord(bytes);
    QCOMPARE(back.question, std::string("  lead"));
    QCOMPARE(back.answers[0], "x" + sj("　"));
    QCOMPARE(back.correct, 2);

    // A zero byte ends the text of the whole record.
    bytes[150] = '\0';
    const QuestionRecord cut = decodeRecord(bytes);
    QCOMPARE(cut.answers[0], "x" + sj("　"));
    QVERIFY(cut.answers[1].empty());
    QCOMPARE(cut.correct, 0);
}

void TestQuestionRecords::appendingStartsAtTheRecordBoundary()
{
    TestFolder folder;
    const std::string first = encodeRecord(makeQuestion("一", 1), nullptr);
    const std::string second = encodeRecord(makeQuestion("二", 2), nullptr);
    folder.writeFile("q.txt", first + second + std::string(250, 'z'));
    QCOMPARE(recordCountOf("q.txt").value_or(-1), 2);

    QuestionFile file;
    QVERIFY(file.open("q.txt"));
    const QuestionRecord added = makeQuestion("三", 3);
    QVERIFY(file.appendQuestion(added, nullptr));
    QCOMPARE(file.recordCount(), 3);
    QuestionRecord back;
    QVERIFY(file.readQuestion(3, back));
    QCOMPARE(back.question, sj("三"));
    file.close();
    QCOMPARE(folder.readFile("q.txt"), first + second + encodeRecord(added, nullptr));

    // Opening never creates a file.
    QVERIFY(!file.open("missing.txt"));
    QVERIFY(!folder.exists("missing.txt"));
}

QTEST_MAIN(TestQuestionRecords)
#include "test_question_records.moc"
