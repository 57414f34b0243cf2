// The CSV reader and writer: quoting, record ends of every kind, where a
// broken file is broken, and that a real CSV reader (Python's) gets back the
// cells we wrote.

#include "core/Csv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

#include <sstream>

namespace {

std::vector<std::vector<std::string>> readAll(const std::string& text, csv::Reader::Error* error = nullptr,
                                              int* errorLine = nullptr, std::size_t max = 1 << 20)
{
    std::istringstream in(text);
    csv::Reader reader(in, max);
    std::vector<std::vector<std::string>> rows;
    std::vector<csv::Field> fields;
    while (reader.next(fields)) {
        rows.emplace_back();
        for (const auto& f : fields)
            rows.back().push_back(f.text);
    }
    if (error)
        *error = reader.error();
    if (errorLine)
        *errorLine = reader.errorLine();
    return rows;
}

using Rows = std::vector<std::vector<std::string>>;

// Cells that need every rule of quoting.
const Rows kTricky = {
    {"plain", "", "with,comma", "with \"quotes\"", "line\nbreak", "cr\r\nlf", " spaces "},
    {"\"", ",", "\r", "日本語,\"混在\"", "〜−‖", "", ""},
    {""},
};

} // namespace

class TestCsv : public QObject {
    Q_OBJECT
private slots:
    void quotesOnlyWhatNeedsIt()
    {
        std::string out;
        csv::appendRecord(out, {"a", "b c", "d,e", "f\"g", "h\ni", ""});
        QCOMPARE(out, std::string("a,b c,\"d,e\",\"f\"\"g\",\"h\ni\",\r\n"));
    }

    void writtenCellsReadBack()
    {
        std::string out;
        for (const auto& row : kTricky)
            csv::appendRecord(out, row);
        QCOMPARE(readAll(out), kTricky);
    }

    void everyRecordEnd()
    {
        const Rows expected = {{"a", "b"}, {"c"}, {"d", ""}, {"e"}};
        QCOMPARE(readAll("a,b\r\nc\nd,\re"), expected);
        QCOMPARE(readAll("a,b\r\nc\nd,\re\r\n"), expected);
        QCOMPARE(readAll(""), Rows{});
    }

    void lenientWhereSpreadsheetsAre()
    {
        // A quote inside an unquoted cell, text after a closing quote.
        QCOMPARE(readAll("ab\"c,\"x\"y\n"), (Rows{{"ab\"c", "xy"}}));
    }

    void fieldsKnowTheirLines()
    {
        std::istringstream in("h1,h2\r\n\"multi\r\nline\",next\r\nlast,\"x\ny\"\r\n");
        csv::Reader reader(in);
        std::vector<csv::Field> f;
        QVERIFY(reader.next(f));
        QVERIFY(reader.next(f));
        QCOMPARE(reader.recordLine(), 2);
        QCOMPARE(f[0].line, 2);
        QCOMPARE(f[1].line, 3);
        QVERIFY(reader.next(f));
        QCOMPARE(reader.recordLine(), 4);
        QCOMPARE(f[1].text, std::string("x\ny"));
        QVERIFY(!reader.next(f));
        QCOMPARE(reader.error(), csv::Reader::Error::None);
    }

    void brokenFilesSayWhere()
    {
        csv::Reader::Error error;
        int line = 0;
        readAll("a,b\nc,\"open\nstill open\n", &error, &line);
        QCOMPARE(error, csv::Reader::Error::UnclosedQuote);
        QCOMPARE(line, 2);

        readAll("a\n\"" + std::string(100, 'x'), &error, &line, 50);
        QCOMPARE(error, csv::Reader::Error::FieldTooLong);
        QCOMPARE(line, 2);
        readAll("a\n" + std::string(100, 'x'), &error, &line, 50);
        QCOMPARE(error, csv::Reader::Error::FieldTooLong);
    }

    void pythonReadsTheSameCells()
    {
        std::string out(csv::kUtf8Bom);
        for (const auto& row : kTricky)
            csv::appendRecord(out, row);
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import csv, io, json, sys\n"
                                     "text = sys.stdin.buffer.read().decode('utf-8-sig')\n"
                                     "rows = list(csv.reader(io.StringIO(text, newline='')))\n"
                                     "sys.stdout.write(json.dumps(rows))")});
        QVERIFY(python.waitForStarted());
        python.write(out.data(), static_cast<qint64>(out.size()));
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished());
        QCOMPARE(python.exitCode(), 0);
        const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
        QCOMPARE(rows.size(), static_cast<qsizetype>(kTricky.size()));
        for (std::size_t r = 0; r < kTricky.size(); ++r) {
            const QJsonArray cells = rows.at(static_cast<qsizetype>(r)).toArray();
            QCOMPARE(cells.size(), static_cast<qsizetype>(kTricky[r].size()));
            for (std::size_t c = 0; c < kTricky[r].size(); ++c)
                QCOMPARE(cells.at(static_cast<qsizetype>(c)).toString().toStdString(), kTricky[r][c]);
        }
    }
};

QTEST_APPLESS_MAIN(TestCsv)
#include "test_csv.moc"
