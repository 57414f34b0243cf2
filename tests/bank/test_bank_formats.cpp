// The bank formats on real files: every format gives the bank back after an
// export and an import (but for what it cannot carry), refuses what does not
// fit a record with its line, reads what spreadsheets and other quiz systems
// write, and writes what their readers take.

#include "BankSamples.h"
#include "bank/BankFormats.h"
#include "bank/BankMessages.h"
#include "bank/BankPictures.h"
#include "bank/BankTransfer.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <fstream>
#include <sstream>

using namespace bank;
using Kind = Problem::Kind;

Q_DECLARE_METATYPE(bank::Format)

namespace {

struct Exported {
    std::string text;
    std::vector<Note> notes;
};

Exported exportAs(const std::filesystem::path& bankFile, Format format, WriterOptions options = {})
{
    Exported e;
    ExportCounts count;
    const auto result = exportBank(
        bankFile, format, options,
        [&](std::string_view chunk) {
            e.text += chunk;
            return true;
        },
        [&](const Note& n) { e.notes.push_back(n); }, count);
    if (result != ExportResult::Done)
        qWarning("export failed");
    return e;
}

ImportReport importText(const std::string& text, Format format, const std::filesystem::path& bankFile,
                        ImportOptions options = {})
{
    options.format = format;
    std::istringstream in(text);
    return importBank(in, bankFile.parent_path() / "input", bankFile, options);
}

// The (line, kind) of every problem, in order.
std::vector<std::pair<int, Kind>> problemsOf(const ImportReport& r)
{
    std::vector<std::pair<int, Kind>> out;
    for (const Problem& p : r.problems)
        out.emplace_back(p.line, p.kind);
    return out;
}

// What an Aiken round trip gives back: no picture, no mark, one-line texts.
std::string asAikenCarries(const std::string& bytes)
{
    std::string out;
    for (std::size_t at = 0; at + question::kRecordSize <= bytes.size(); at += question::kRecordSize) {
        question::QuestionRecord r = question::decodeRecord(std::string_view(bytes).substr(at, question::kRecordSize));
        r.picture = "000";
        r.mark = 'N';
        for (std::string* t : {&r.question, &r.answers[0], &r.answers[1], &r.answers[2], &r.answers[3], &r.answers[4]})
            for (char& c : *t)
                if (c == '\n')
                    c = ' ';
        out += question::encodeRecord(r, nullptr);
    }
    return out;
}

const char* const kHeader = "番号,画像,問題,解答1,解答2,解答3,解答4,解答5,正解,前回\r\n";

} // namespace

class TestBankFormats : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<bool>("cp932");
        QTest::addColumn<bool>("sample");
        for (bool sample : {true, false}) {
            const char* bank = sample ? "sample" : "look-alikes";
            QTest::addRow("csv %s", bank) << Format::Csv << false << sample;
            QTest::addRow("csv cp932 %s", bank) << Format::Csv << true << sample;
            QTest::addRow("aiken %s", bank) << Format::Aiken << false << sample;
            QTest::addRow("gift %s", bank) << Format::Gift << false << sample;
            QTest::addRow("moodle-xml %s", bank) << Format::MoodleXml << false << sample;
        }
    }
    void roundTrip()
    {
        QFETCH(Format, format);
        QFETCH(bool, cp932);
        QFETCH(bool, sample);
        TestFolder folder(false);
        std::filesystem::path original = folder.file("sample0524.txt");
        if (sample)
            copySample(folder.path());
        else
            folder.writeFile("sample0524.txt", bankBytes(lookalikeBank()));

        WriterOptions options;
        options.cp932 = cp932;
        const Exported e = exportAs(original, format, options);
        // The same folder: the pictures are there already.
        const ImportReport r = importText(e.text, format, folder.file("back.txt"));
        QCOMPARE(r.outcome, ImportReport::Outcome::Written);
        QCOMPARE(r.problemCount, 0);
        const std::string before = readBytes(original);
        const std::string after = readBytes(folder.file("back.txt"));
        QCOMPARE(after, format == Format::Aiken ? asAikenCarries(before) : before);
        QVERIFY(r.pictures.empty());
    }

    void picturesTravelInMoodleXml()
    {
        TestFolder folder(false);
        copySample(folder.path() / "old");
        const Exported e = exportAs(folder.file("old/sample0524.txt"), Format::MoodleXml);
        std::filesystem::create_directories(folder.file("new"));
        const ImportReport r = importText(e.text, Format::MoodleXml, folder.file("new/bank.txt"));
        QCOMPARE(r.outcome, ImportReport::Outcome::Written);
        QCOMPARE(readBytes(folder.file("new/bank.txt")), readBytes(folder.file("old/sample0524.txt")));
        for (const char* n : {"001", "002", "003", "004", "005"}) {
            const std::string name = std::string("256bitmap/") + n + ".bmp";
            QCOMPARE(readBytes(folder.file("new/" + name)), readBytes(folder.file("old/" + name)));
        }
    }

    void csvPicturesAreConvertedAndNumbered()
    {
        TestFolder folder(false);
        QImage wide(400, 300, QImage::Format_RGB32);
        wide.fill(Qt::red);
        QVERIFY(wide.save(QString::fromStdString(folder.file("flag.png").string())));
        wide.fill(Qt::blue);
        QVERIFY(wide.save(QString::fromStdString(folder.file("005.png").string())));
        writeBitmap(folder.file("256bitmap/001.bmp"), 212, 150, 0x00ff00); // taken
        const std::string csv = std::string(kHeader) + "1,flag.png,q1,a,b,c,d,e,1,\r\n" +
                                "2,005.png,q2,a,b,c,d,e,1,\r\n" + "3,flag.png,q3,a,b,c,d,e,1,\r\n" +
                                "4,1,q4,a,b,c,d,e,1,\r\n";
        std::istringstream in(csv);
        ImportOptions options;
        const ImportReport r = importBank(in, folder.file("input.csv"), folder.file("bank.txt"), options);
        QCOMPARE(r.outcome, ImportReport::Outcome::Written);
        const std::string bank = readBytes(folder.file("bank.txt"));
        // flag.png takes the lowest free number, 005.png its own, flag.png
        // again the same; "1" (a spreadsheet's 001) names the picture
        // already there.
        QCOMPARE(bank.substr(0, 3), std::string("002"));
        QCOMPARE(bank.substr(500, 3), std::string("005"));
        QCOMPARE(bank.substr(1000, 3), std::string("002"));
        QCOMPARE(bank.substr(1500, 3), std::string("001"));
        QCOMPARE(checkPicture(folder.file("256bitmap/002.bmp")), PictureState::Ok);
        QCOMPARE(checkPicture(folder.file("256bitmap/005.bmp")), PictureState::Ok);
        QVERIFY(!folder.exists("256bitmap/003.bmp"));
        // Scaled with its proportions: 200 x 150 in the middle, white beside it.
        const QImage stored(QString::fromStdString(folder.file("256bitmap/002.bmp").string()));
        QCOMPARE(stored.pixelColor(106, 75), QColor(Qt::red));
        QCOMPARE(stored.pixelColor(2, 75), QColor(Qt::white));
        QCOMPARE(stored.pixelColor(209, 75), QColor(Qt::white));
    }

    void picturesInTheFolderGivenThenBesideTheFile()
    {
        TestFolder folder(false);
        std::filesystem::create_directories(folder.file("in"));
        std::filesystem::create_directories(folder.file("dir"));
        QImage image(50, 50, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(QString::fromStdString(folder.file("in/beside.png").string())));
        QVERIFY(image.save(QString::fromStdString(folder.file("in/both.png").string())));
        image.fill(Qt::blue);
        QVERIFY(image.save(QString::fromStdString(folder.file("dir/both.png").string())));
        const std::string csv = std::string(kHeader) + "1,beside.png,q1,a,b,c,d,e,1,\r\n2,both.png,q2,a,b,c,d,e,1,\r\n";
        std::istringstream in(csv);
        ImportOptions options;
        options.pictures = folder.file("dir");
        const ImportReport r = importBank(in, folder.file("in/input.csv"), folder.file("bank.txt"), options);
        QCOMPARE(r.imported, 2);
        const std::string bank = readBytes(folder.file("bank.txt"));
        const QImage beside(QString::fromStdString(folder.file("256bitmap/" + bank.substr(0, 3) + ".bmp").string()));
        const QImage both(QString::fromStdString(folder.file("256bitmap/" + bank.substr(500, 3) + ".bmp").string()));
        QCOMPARE(beside.pixelColor(106, 75), QColor(Qt::red));
        QCOMPARE(both.pixelColor(106, 75), QColor(Qt::blue));
    }

    void skippedQuestionsNamedWithTheirLines_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<int>>("lines");
        QTest::addColumn<QList<int>>("kinds");
        const std::string long97 = "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八x";
        const std::string long79(79, 'a');
        QTest::newRow("csv") << Format::Csv
                             << QByteArray::fromStdString(
                                    std::string(kHeader) + "1,,良い問題,a,b,c,d,e,1,N\r\n" + "2,," + long97 +
                                    ",a,b,c,d,e,2,\r\n" + "3,,\"改行の\nある問題\",a,,c,d,e,1,\r\n" +
                                    "4,,絵文字😀,a,b,c,d,e,1,\r\n" + "5,,q5,a,b,c,d,e,9,\r\n" + "6,,q6,a,b,c,d,e,1,Z?\r\n" +
                                    "7,,q7," + long79 + ",b,c,d,e,1,\r\n" + "8,9999,q8,a,b,c,d,e,1,\r\n" +
                                    "9,007,q9,a,b,c,d,e,1,\r\n" + "10,,q10,a,b,c,d,e,,\r\n")
                             << QList<int>{3, 5, 6, 7, 8, 9, 10, 11, 12}
                             << QList<int>{int(Kind::QuestionTooLong), int(Kind::EmptyAnswer), int(Kind::Unmappable),
                                           int(Kind::BadCorrect), int(Kind::BadMark), int(Kind::AnswerTooLong),
                                           int(Kind::BadPictureNumber), int(Kind::PictureMissing),
                                           int(Kind::RightAnswerCount)};
        QTest::newRow("aiken") << Format::Aiken
                               << QByteArray("Q1?\nA. a\nB. b\nC. c\nD. d\nANSWER: A\n\n"
                                             "Q2?\nA. a\nB. b\nC. c\nD. d\nE. e\nANSWER: F\n\n"
                                             "Q3?\nA. a\nB. b\nC. c\nD. d\nE. e\nstray text\nANSWER: A\n\n"
                                             "Q4?\nA. a\nB. b\nC. c\nD. d\nE. e\n")
                               << QList<int>{1, 14, 22, 25}
                               << QList<int>{int(Kind::AnswerCount), int(Kind::AikenBadAnswer),
                                             int(Kind::AikenStrayLine), int(Kind::AikenNoAnswerLine)};
        QTest::newRow("gift") << Format::Gift
                              << QByteArray("// a comment\n::t1:: 1+1=2 {T}\n\n"
                                            "Which? {\n=a\n=b\n~c ~d ~e\n}\n\n"
                                            "Match {=a -> b =c -> d}\n\n"
                                            "Open {=a ~b ~c ~d ~e\n")
                              << QList<int>{2, 4, 10, 12}
                              << QList<int>{int(Kind::NotMultipleChoice), int(Kind::RightAnswerCount),
                                            int(Kind::NotMultipleChoice), int(Kind::GiftUnclosed)};
        QTest::newRow("moodle-xml")
            << Format::MoodleXml
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quiz>\n"
                          "<question type=\"category\"><category><text>$course$/x</text></category></question>\n"
                          "<question type=\"truefalse\"><name><text>tf</text></name></question>\n"
                          "<question type=\"multichoice\"><questiontext format=\"html\"><text>Q</text></questiontext>\n"
                          "<answer fraction=\"50\"><text>a</text></answer><answer fraction=\"50\"><text>b</text></answer>"
                          "<answer fraction=\"0\"><text>c</text></answer><answer fraction=\"0\"><text>d</text></answer>"
                          "<answer fraction=\"0\"><text>e</text></answer>\n</question>\n"
                          "<question type=\"multichoice\">\n<questiontext format=\"html\">"
                          "<text>&lt;img src=\"@@PLUGINFILE@@/x.png\"&gt;</text></questiontext>\n"
                          "<answer fraction=\"100\"><text>a</text></answer><answer><text>b</text></answer>"
                          "<answer><text>c</text></answer><answer><text>d</text></answer><answer><text>e</text></answer>"
                          "</question>\n</quiz>\n")
            << QList<int>{4, 6, 9}
            << QList<int>{int(Kind::NotMultipleChoice), int(Kind::RightAnswerCount), int(Kind::PictureMissing)};
    }
    void skippedQuestionsNamedWithTheirLines()
    {
        QFETCH(Format, format);
        QFETCH(QByteArray, text);
        QFETCH(QList<int>, lines);
        QFETCH(QList<int>, kinds);
        TestFolder folder(false);
        const ImportReport r = importText(text.toStdString(), format, folder.file("bank.txt"));
        std::vector<std::pair<int, Kind>> expected;
        for (qsizetype i = 0; i < lines.size(); ++i)
            expected.emplace_back(lines[i], Kind(kinds[i]));
        QCOMPARE(problemsOf(r), expected);
        if (format == Format::Gift) // which kind of question it is instead
            QCOMPARE(r.problems[2].detail, std::string("matching"));
        QVERIFY(!folder.exists("256bitmap"));
        // The questions that fit are written, each one that does not is
        // counted once, whatever number of reasons it has.
        const int skipped = format == Format::Csv ? 9 : format == Format::Gift ? 4 : format == Format::Aiken ? 4 : 3;
        QCOMPARE(r.skipped, skipped);
        QCOMPARE(r.imported, format == Format::Csv ? 1 : 0);
        QCOMPARE(r.outcome, format == Format::Csv ? ImportReport::Outcome::Written : ImportReport::Outcome::NoneFits);
        QCOMPARE(folder.exists("bank.txt"), format == Format::Csv);
        // --strict writes nothing.
        ImportOptions strict;
        strict.strict = true;
        std::filesystem::remove(folder.file("bank.txt"));
        QCOMPARE(importText(text.toStdString(), format, folder.file("bank.txt"), strict).outcome,
                 ImportReport::Outcome::Refused);
        QVERIFY(!folder.exists("bank.txt"));
    }

    void cutKeepsWholeCharacters()
    {
        TestFolder folder(false);
        // 47 full-width characters, "x", then "あ": 97 bytes, and "あ" would be split.
        const std::string question =
            "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七xあ";
        const std::string csv = std::string(kHeader) + "1,," + question + "," + std::string(80, 'a') + ",b,c,d,e,1,\r\n";
        QCOMPARE(importText(csv, Format::Csv, folder.file("bank.txt")).outcome, ImportReport::Outcome::NoneFits);

        ImportOptions cut;
        cut.cut = true;
        const ImportReport r = importText(csv, Format::Csv, folder.file("bank.txt"), cut);
        QCOMPARE(r.outcome, ImportReport::Outcome::Written);
        QCOMPARE(r.cuts.size(), std::size_t(2));
        QCOMPARE(r.cuts[0].field, std::string("question"));
        QCOMPARE(r.cuts[0].from, std::size_t(97));
        QCOMPARE(r.cuts[0].to, std::size_t(95));
        QCOMPARE(r.cuts[1].field, std::string("answer1"));
        QCOMPARE(r.cuts[1].to, std::size_t(78));
        QCOMPARE(r.cuts[1].line, 2);
        const question::QuestionRecord back = question::decodeRecord(readBytes(folder.file("bank.txt")));
        QCOMPARE(back.question, sj(question.substr(0, question.size() - 3).c_str()));
        QCOMPARE(back.answers[0], std::string(78, 'a'));
    }

    void spreadsheetFilesInEveryEncoding()
    {
        TestFolder folder(false);
        const std::vector<question::QuestionRecord> records = {
            bankRecord("〜と−と‖", {"①", "ｶﾅ", "\"引用\"", "a,b", "改\n行"}, 2, 'C'),
        };
        const std::string utf8 = std::string(kHeader) + "1,000,〜と−と‖,①,ｶﾅ,\"\"\"引用\"\"\",\"a,b\",\"改\n行\",２,正解\r\n";
        const std::string expected = bankBytes(records);
        int n = 0;
        const auto importsTo = [&](const std::string& text, Encoding encoding) {
            ImportOptions o;
            o.encoding = encoding;
            const std::filesystem::path out = folder.file("bank" + std::to_string(++n) + ".txt");
            const ImportReport r = importText(text, Format::Csv, out, o);
            return r.outcome == ImportReport::Outcome::Written ? readBytes(out) : std::string("refused");
        };
        // Saved by a spreadsheet in code page 932: no BOM, CR LF.
        const std::string cp932 = sj(utf8.c_str());
        QCOMPARE(importsTo(cp932, Encoding::Auto), expected);
        QCOMPARE(importsTo(cp932, Encoding::Cp932), expected);
        QCOMPARE(importsTo(utf8, Encoding::Auto), expected);
        QCOMPARE(importsTo("\xEF\xBB\xBF" + utf8, Encoding::Auto), expected);
        QCOMPARE(importsTo("\xEF\xBB\xBF" + utf8, Encoding::Utf8), expected);
        // Line ends of old Macs.
        std::string cr = utf8;
        for (std::size_t at = 0; (at = cr.find("\r\n", at)) != std::string::npos;)
            cr.erase(at + 1, 1);
        QCOMPARE(importsTo(cr, Encoding::Auto), expected);
    }

    void filesThatAreNoBank_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("kind");
        const QByteArray header(kHeader);
        QTest::newRow("utf-16") << Format::Csv << QByteArray("\xFF\xFE\x31\x00", 4) << 1 << int(Kind::Utf16);
        QTest::newRow("euc-jp") << Format::Csv << QByteArray("question,answer1\n\xA4\xA2,\xA4\xA4\n") << 0
                                << int(Kind::EucJp);
        QTest::newRow("neither") << Format::Aiken << QByteArray("Q\nA. \x80\x80\n") << 2 << int(Kind::BadEncoding);
        QTest::newRow("workbook") << Format::Csv << QByteArray("PK\x03\x04\x00\x00", 6) << 1 << int(Kind::NotText);
        QTest::newRow("binary as gift") << Format::Gift << QByteArray("PK\x03\x04\x00\x00", 6) << 1 << int(Kind::NotText);
        QTest::newRow("truncated") << Format::Csv << header + "1,,\"q\n" << 2 << int(Kind::UnclosedQuote);
        QTest::newRow("cut inside a character") << Format::Csv << header + "1,,\xE5\x95" << 2 << int(Kind::CutShort);
        QTest::newRow("enormous cell") << Format::Csv << header + "1,,\"" + QByteArray(2 << 20, 'x') << 2
                                       << int(Kind::CellTooLong);
        QTest::newRow("enormous line") << Format::Gift << QByteArray(2 << 20, 'x') << 1 << int(Kind::LineTooLong);
        QTest::newRow("no header") << Format::Csv << QByteArray("1,2,3\n") << 1 << int(Kind::NoHeader);
        QTest::newRow("roster") << Format::Csv << QByteArray("番号,氏名,問題\n") << 1 << int(Kind::MissingColumn);
        QTest::newRow("not xml") << Format::MoodleXml << QByteArray("<quiz>\n<question type=\"multichoice\">\n") << 2
                                 << int(Kind::NotXml);
        QTest::newRow("other xml") << Format::MoodleXml << QByteArray("<?xml version=\"1.0\"?>\n<html/>") << 2
                                   << int(Kind::NotQuiz);
    }
    void filesThatAreNoBank()
    {
        QFETCH(Format, format);
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        QFETCH(int, kind);
        TestFolder folder(false);
        const ImportReport r = importText(text.toStdString(), format, folder.file("bank.txt"));
        QCOMPARE(r.outcome, ImportReport::Outcome::Refused);
        QVERIFY(!r.problems.empty());
        QCOMPARE(int(r.problems.back().kind), kind);
        QCOMPARE(r.problems.back().line, line);
        QVERIFY(r.problems.back().fatal);
        QVERIFY(!folder.exists("bank.txt"));
        // Advice about spreadsheets is for CSV only.
        const std::string told = problemText(r.problems.back(), Language::English);
        QCOMPARE(told.find("workbook") != std::string::npos || told.find("Excel") != std::string::npos,
                 format == Format::Csv && (kind == int(Kind::NotText) || kind == int(Kind::Utf16)));
    }

    void giftOfOtherSystems()
    {
        TestFolder folder(false);
        const std::string gift = "$CATEGORY: $course$/地理\n\n"
                                 "// 穴埋め、重み、フィードバック\n"
                                 "::首都:: [html]日本の<b>首都</b>は{~大阪#違います =東京 ~%0%京都 ~名古屋 ~横浜####全体}です。\n";
        const ImportReport r = importText(gift, Format::Gift, folder.file("bank.txt"));
        QCOMPARE(r.outcome, ImportReport::Outcome::Written);
        const question::QuestionRecord back = question::decodeRecord(readBytes(folder.file("bank.txt")));
        QCOMPARE(back.question, sj("日本の首都は_____です。"));
        QCOMPARE(back.answers[0], sj("大阪"));
        QCOMPARE(back.correct, 2);
    }

    // Files other systems' authors wrote (tests/bank/real/README.md):
    // how many questions come in, how many are skipped, one record whole.
    void realFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Format>("format");
        QTest::addColumn<int>("imported");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("record");
        QTest::addColumn<QStringList>("texts"); // question, answers 1 to 5
        QTest::addColumn<int>("correct");
        QTest::addColumn<bool>("picture");
        QTest::newRow("aiken") << "moodle-questions.aiken.txt" << Format::Aiken << 2 << 0 << 2
                               << QStringList{"Moodle's abilities include handling user input that includes "
                                              "<html class=\"cool\"> & images:",
                                              "True", "False", "該当なし", "該当なし", "該当なし"}
                               << 1 << false;
        QTest::newRow("gift") << "moodle-questions.gift.txt" << Format::Gift << 1 << 8 << 1
                              << QStringList{"What's between orange and green in the spectrum?", "yellow", "red",
                                             "blue", "該当なし", "該当なし"}
                              << 1 << false;
        QTest::newRow("gift, format.php's examples")
            << "gift-peg-format-php-examples.gift" << Format::Gift << 3 << 7 << 2
            << QStringList{"Grant is _____ in Grant's tomb.", "buried", "entombed", "living", "該当なし", "該当なし"}
            << 2 << false;
        // Spanish: nothing code page 932 can hold, told with the characters.
        QTest::newRow("gift, html comment") << "gift-peg-mc-html-comment.gift" << Format::Gift << 0 << 1 << 0
                                            << QStringList{"question:¿éíá"} << 0 << false;
        QTest::newRow("moodle xml, old image tag")
            << "moodle-old-image-tag.xml" << Format::MoodleXml << 1 << 1 << 1
            << QStringList{"This is a multichoice question with an image in the old \"image\" field that was used "
                           "in Moodle 1.",
                           "wrong answer", "another wrong answer", "right answer", "該当なし", "該当なし"}
            << 3 << true;
    }
    void realFiles()
    {
        QFETCH(QString, file);
        QFETCH(Format, format);
        QFETCH(int, imported);
        QFETCH(int, skipped);
        QFETCH(int, record);
        QFETCH(QStringList, texts);
        QFETCH(int, correct);
        QFETCH(bool, picture);
        TestFolder folder(false);
        const std::filesystem::path input = std::filesystem::path(MOLVANE_TEST_SUPPORT_DIR) / "../bank/real" /
                                            file.toStdString();
        std::ifstream in(input, std::ios::binary);
        ImportOptions options;
        options.format = format;
        options.fill = "該当なし";
        options.cut = true;
        const ImportReport r = importBank(in, input, folder.file("bank.txt"), options);
        QCOMPARE(r.imported, imported);
        QCOMPARE(r.skipped, skipped);
        if (imported == 0) {
            QCOMPARE(r.outcome, ImportReport::Outcome::NoneFits);
            QCOMPARE(r.problems.front().kind, Kind::Unmappable);
            QCOMPARE(QString::fromStdString(r.problems.front().detail), texts[0]);
            return;
        }
        QCOMPARE(r.outcome, ImportReport::Outcome::Written);
        const std::string bank = readBytes(folder.file("bank.txt"));
        QCOMPARE(bank.size(), std::size_t(imported) * 500);
        const question::QuestionRecord q =
            question::decodeRecord(std::string_view(bank).substr(std::size_t(record - 1) * 500, 500));
        QCOMPARE(QString::fromStdString(sjis::toUtf8(q.question)), texts[0]);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(QString::fromStdString(sjis::toUtf8(q.answers[std::size_t(i)])), texts[i + 1]);
        QCOMPARE(q.correct, correct);
        QCOMPARE(q.mark, 'N');
        // Moodle 1.9's <image_base64> is the question's picture, as a bitmap.
        QCOMPARE(q.picture, std::string(picture ? "001" : "000"));
        if (picture)
            QCOMPARE(checkPicture(folder.file("256bitmap/001.bmp")), PictureState::Ok);
    }

    // HTML as a browser shows it, and the formats of Moodle's texts: a
    // question's text in, the record's text out.
    void textAsMoodleShowsIt_data()
    {
        QTest::addColumn<QString>("format"); // the questiontext's; "gift:" + a GIFT question text
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("warnings"); // problem details
        QTest::newRow("less and greater") << "html" << "2 &lt; 3 かつ 5 &gt; 4" << "2 < 3 かつ 5 > 4" << QStringList{};
        QTest::newRow("stray <") << "html" << "a<3 and 2 < 3" << "a<3 and 2 < 3" << QStringList{};
        QTest::newRow("named references") << "html" << "2&times;3&hellip;&rarr;90&deg;&nbsp;&nbsp;x"
                                          << "2×3…→90°  x" << QStringList{};
        QTest::newRow("hidden parts") << "html" << "<!-- note -->A<style>p{}</style><script>x<y</script>B"
                                      << "AB" << QStringList{};
        QTest::newRow("lines") << "html" << "<p>一</p><p>二<br>三</p>\n<div>四</div>" << "一\n二\n三\n四"
                               << QStringList{};
        QTest::newRow("spaces fold") << "html" << "  a \n\t b  " << "a b" << QStringList{};
        QTest::newRow("superscript") << "html" << "x<sup>2</sup>+H<sub>2</sub>O" << "x2+H2O"
                                     << QStringList{"question:sup", "question:sub"};
        QTest::newRow("table and list") << "html" << "<table><tr><td>a</td><td>b</td></tr></table><ul><li>c</li></ul>"
                                        << "a b\nc" << QStringList{"question:table", "question:list"};
        QTest::newRow("audio") << "html" << "聞いて<audio src=\"a.mp3\">no audio</audio>" << "聞いて"
                               << QStringList{"audio"};
        QTest::newRow("moodle auto format") << "moodle_auto_format" << "一行目\n二行目 <b>x</b>" << "一行目\n二行目 x"
                                            << QStringList{};
        QTest::newRow("plain text") << "plain_text" << "1 < 2 &amp;" << "1 < 2 &amp;" << QStringList{};
        QTest::newRow("gift, no marker") << "gift:" << "一行目\\n<i>二</i>行目" << "一行目\n二行目" << QStringList{};
        QTest::newRow("gift, plain") << "gift:" << "[plain]<i>x</i> &amp;" << "<i>x</i> &amp;" << QStringList{};
        QTest::newRow("gift, markdown") << "gift:" << "[markdown]**太字**" << "**太字**"
                                        << QStringList{"question:markdown"};
    }
    void textAsMoodleShowsIt()
    {
        QFETCH(QString, format);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(QStringList, warnings);
        TestFolder folder(false);
        std::string file;
        Format kind = Format::MoodleXml;
        if (format == QLatin1String("gift:")) {
            kind = Format::Gift;
            file = text.toStdString() + " {=a ~b ~c ~d ~e}\n";
        } else {
            QString escaped = text.toHtmlEscaped();
            file = "<quiz><question type=\"multichoice\"><questiontext format=\"" + format.toStdString() + "\"><text>" +
                   escaped.toStdString() +
                   "</text></questiontext><answer fraction=\"100\"><text>a</text></answer><answer><text>b</text>"
                   "</answer><answer><text>c</text></answer><answer><text>d</text></answer><answer><text>e</text>"
                   "</answer></question></quiz>";
        }
        const ImportReport r = importText(file, kind, folder.file("bank.txt"));
        QCOMPARE(r.outcome, ImportReport::Outcome::Written);
        const question::QuestionRecord q = question::decodeRecord(readBytes(folder.file("bank.txt")));
        QCOMPARE(QString::fromStdString(sjis::toUtf8(q.question)), shown);
        QStringList told;
        for (const Problem& w : r.warnings)
            told << QString::fromStdString(w.detail);
        QCOMPARE(told, warnings);
    }

    void moodleXmlAsMoodleReadsIt()
    {
        TestFolder folder(false);
        const auto question = [](const std::string& inner) {
            return "<question type=\"multichoice\"><questiontext format=\"plain_text\"><text>Q</text></questiontext>" +
                   inner + "</question>\n";
        };
        const std::string others = "<answer fraction=\"0\"><text>b</text></answer><answer fraction=\"-50\"><text>c</text>"
                                   "</answer><answer fraction=\"0\"><text>d</text></answer>";
        // An answer without a format takes the question text's (plain: "<" is
        // text); " 100" is 100; 50 alone is the right answer; a picture in an
        // answer is told of.
        const std::string xml =
            "<?xml version=\"1.0\"?>\n<quiz>\n" +
            question("<answer fraction=\"0\"><text>x</text></answer><answer fraction=\" 100\"><text>1 &lt; 2</text>"
                     "</answer>" + others) +
            question("<answer fraction=\"50\"><text>half</text></answer>" + others +
                     "<answer fraction=\"0\" format=\"html\"><text>&lt;img src=\"y.png\"&gt;e</text></answer>") +
            "</quiz>\n";
        ImportOptions options;
        options.fill = "該当なし";
        const ImportReport r = importText(xml, Format::MoodleXml, folder.file("bank.txt"), options);
        QCOMPARE(problemsOf(r), (std::vector<std::pair<int, Kind>>{}));
        QCOMPARE(r.imported, 2);
        const std::string bank = readBytes(folder.file("bank.txt"));
        const question::QuestionRecord first = question::decodeRecord(std::string_view(bank).substr(0, 500));
        QCOMPARE(first.answers[1], std::string("1 < 2"));
        QCOMPARE(first.correct, 2);
        const question::QuestionRecord second = question::decodeRecord(std::string_view(bank).substr(500, 500));
        QCOMPARE(second.correct, 1);
        QCOMPARE(r.warnings.size(), std::size_t(1));
        QCOMPARE(r.warnings[0].detail, std::string("answer-picture:5"));

        // A picture beyond the limit is refused before it is decoded; the
        // question goes, the file is read on.
        const std::string big = "<quiz><question type=\"multichoice\"><questiontext format=\"html\"><text>"
                                "&lt;img src=\"@@PLUGINFILE@@/big.png\"&gt;Q</text><file name=\"big.png\" "
                                "encoding=\"base64\">" +
                                std::string(23 * 1024 * 1024, 'A') + "</file></questiontext>" +
                                "<answer fraction=\"100\"><text>a</text></answer>" + others +
                                "<answer><text>e</text></answer></question></quiz>";
        const ImportReport large = importText(big, Format::MoodleXml, folder.file("large.txt"));
        QCOMPARE(problemsOf(large), (std::vector<std::pair<int, Kind>>{{1, Kind::PictureTooLarge}}));
        // So is a text of more than 1 MiB.
        const ImportReport longText = importText(
            "<quiz><question type=\"multichoice\"><questiontext><text>" + std::string((1 << 20) + 1, 'x') +
                "</text></questiontext></question></quiz>",
            Format::MoodleXml, folder.file("long.txt"));
        QCOMPARE(problemsOf(longText), (std::vector<std::pair<int, Kind>>{{1, Kind::TextTooLong}}));
        // Nesting without end is refused, not followed.
        std::string deep = "<quiz>";
        for (int i = 0; i < 100000; ++i)
            deep += "<a>";
        const ImportReport nested = importText(deep, Format::MoodleXml, folder.file("deep.txt"));
        QCOMPARE(nested.outcome, ImportReport::Outcome::Refused);
        QCOMPARE(nested.problems.back().kind, Kind::NestedTooDeep);
        // An entity declaration is never expanded.
        const ImportReport entities = importText("<?xml version=\"1.0\"?><!DOCTYPE quiz [<!ENTITY a \"aaaa\">]><quiz/>",
                                                 Format::MoodleXml, folder.file("entities.txt"));
        QCOMPARE(entities.problems.back().kind, Kind::DoctypeEntities);
    }

    void giftAsMoodleReadsIt()
    {
        TestFolder folder(false);
        // "~" makes a question multiple choice whatever "->" it holds; a
        // marker per answer is a format; "{####...}" alone is an essay.
        const std::string gift = "Q1 {=a -> b ~[html]<b>c</b> ~[plain]<d> ~e ~f}\n\nQ2 {####feedback}\n";
        const ImportReport r = importText(gift, Format::Gift, folder.file("bank.txt"));
        QCOMPARE(r.imported, 1);
        QCOMPARE(problemsOf(r), (std::vector<std::pair<int, Kind>>{{3, Kind::NotMultipleChoice}}));
        QCOMPARE(r.problems[0].detail, std::string("essay"));
        const question::QuestionRecord q = question::decodeRecord(readBytes(folder.file("bank.txt")));
        QCOMPARE(q.answers[0], std::string("a -> b"));
        QCOMPARE(q.answers[1], std::string("c"));
        QCOMPARE(q.answers[2], std::string("<d>"));
        // Our GIFT marks texts Moodle would read as HTML, so it shows them literally.
        folder.writeFile("look.txt", bankBytes(lookalikeBank()));
        const Exported e = exportAs(folder.file("look.txt"), Format::Gift);
        QVERIFY(e.text.find("=[plain]<b>&amp;</b>") != std::string::npos || e.text.find("~[plain]<b>&amp;</b>") != std::string::npos);
        QVERIFY(e.text.find("~[plain]x  y") != std::string::npos);
    }

    void appendKeepsWholeRecordsOnly()
    {
        TestFolder folder(false);
        const std::string two = bankBytes({bankRecord("一", {"a", "b", "c", "d", "e"}, 1),
                                           bankRecord("二", {"a", "b", "c", "d", "e"}, 2)});
        folder.writeFile("bank.txt", two + std::string(250, 'x'));
        ImportOptions append;
        append.append = true;
        const ImportReport r =
            importText(std::string(kHeader) + "1,,三,a,b,c,d,e,3,\r\n", Format::Csv, folder.file("bank.txt"), append);
        QCOMPARE(r.kept, 2);
        QCOMPARE(r.droppedTail, std::uintmax_t(250));
        const std::string after = readBytes(folder.file("bank.txt"));
        QCOMPARE(after.size(), std::size_t(1500));
        QCOMPARE(after.substr(0, 1000), two);
        QCOMPARE(question::decodeRecord(after.substr(1000)).question, sj("三"));
    }

    void spreadsheetSavedCsvIsTold()
    {
        TestFolder folder(false);
        // As a spreadsheet saves our export: 000 became 0, 1/2 a date, a
        // formula its error value, 123456789012 an exponent.
        const std::string csv = std::string(kHeader) + "1,0,日付,2026/1/2,#NAME?,1.23457E+11,0120,x,1,N\r\n";
        const ImportReport r = importText(csv, Format::Csv, folder.file("bank.txt"));
        QCOMPARE(r.imported, 1);
        std::vector<std::string> told;
        for (const Problem& w : r.warnings)
            told.push_back(w.detail);
        QCOMPARE(told, (std::vector<std::string>{"", "answer1:date:2026/1/2", "answer2:error:#NAME?",
                                                 "answer3:exponent:1.23457E+11"}));
        QCOMPARE(r.warnings[0].kind, Kind::SpreadsheetSaved);
        // Without that sign a date is a date.
        const ImportReport typed =
            importText(std::string(kHeader) + "1,000,日付,2026/1/2,b,c,d,e,1,N\r\n", Format::Csv, folder.file("t.txt"));
        QVERIFY(typed.warnings.empty());
    }

    void whatAFormatCannotCarryIsTold()
    {
        TestFolder folder(false);
        std::string bytes = bankBytes({bankRecord("改\n行", {"a", "b", "c", "d", " e"}, 1, 'N', "001"),
                                       bankRecord("正解なし", {"a", "b", "c", "d", "e"}, 0)});
        bytes[60] = '\x85'; // a pair code page 932 leaves empty, inside the question text
        bytes[61] = '\x40';
        folder.writeFile("bank.txt", bytes);
        const Exported aiken = exportAs(folder.file("bank.txt"), Format::Aiken);
        std::vector<std::pair<int, Note::Kind>> told;
        for (const Note& n : aiken.notes)
            told.emplace_back(n.number, n.kind);
        const std::vector<std::pair<int, Note::Kind>> expected = {
            {1, Note::Kind::InvalidBytes}, {1, Note::Kind::PictureNotCarried}, {1, Note::Kind::LineBreak},
            {1, Note::Kind::EdgeSpaces},   {2, Note::Kind::NoCorrectAnswer},
        };
        QCOMPARE(told, expected);
        QVERIFY(aiken.text.find("正解なし") == std::string::npos);
        // CSV carries all of it but the invalid bytes.
        const Exported csv = exportAs(folder.file("bank.txt"), Format::Csv);
        QCOMPARE(csv.notes.size(), std::size_t(1));
        QVERIFY(csv.text.find("2,000,正解なし,a,b,c,d,e,,N\r\n") != std::string::npos);
    }

    void othersReadWhatWeWrite()
    {
        TestFolder folder(false);
        folder.writeFile("bank.txt", bankBytes(lookalikeBank()));
        // Aiken as published: the question on one line, choices "A. ", then "ANSWER: ".
        const Exported aiken = exportAs(folder.file("bank.txt"), Format::Aiken);
        const QRegularExpression aikenBlock(
            QStringLiteral("\\A(?:[^\\n]+\\n(?:[A-E]\\. [^\\n]*\\n){5}ANSWER: [A-E]\\n\\n)+\\z"));
        QVERIFY(aikenBlock.match(QString::fromStdString(aiken.text)).hasMatch());
        // GIFT: one right answer, every special character escaped.
        const Exported gift = exportAs(folder.file("bank.txt"), Format::Gift);
        const QString answer = QStringLiteral("(?:[^~=#{}:\\\\\\n]|\\\\[~=#{}:\\\\n])*");
        const QRegularExpression giftBlock(QStringLiteral("\\A(?://[^\\n]*\\n::\\d+::%1 \\{\\n(?:~%1\\n)*=%1\\n(?:~%1\\n)*\\}\\n\\n)+\\z")
                                               .arg(answer));
        QVERIFY(giftBlock.match(QString::fromStdString(gift.text)).hasMatch());
        QCOMPARE(QString::fromStdString(gift.text).count(QRegularExpression(QStringLiteral("^="),
                                                                           QRegularExpression::MultilineOption)),
                 4);
        // Moodle XML that xmllint accepts.
        copySample(folder.path() / "s");
        folder.writeFile("bank.xml", exportAs(folder.file("s/sample0524.txt"), Format::MoodleXml).text);
        QProcess xmllint;
        xmllint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QString::fromStdString(folder.file("bank.xml").string())});
        QVERIFY2(xmllint.waitForFinished(), "xmllint (libxml2-utils) is needed");
        QCOMPARE(xmllint.exitCode(), 0);
    }
};

QTEST_MAIN(TestBankFormats)
#include "test_bank_formats.moc"
