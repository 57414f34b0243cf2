// The bank as a spreadsheet's CSV: one header row, then one row per question.

#include "BankFormats.h"

#include "core/Csv.h"
#include "core/ShiftJis.h"

#include <algorithm>
#include <array>

namespace bank {

const char* const kCsvHeader[10] = {"番号", "画像", "問題", "解答1", "解答2", "解答3", "解答4", "解答5", "正解", "前回"};

namespace {

class CsvWriter : public BankWriter {
public:
    explicit CsvWriter(bool cp932) : m_cp932(cp932) {}

    void begin(std::string& out) override
    {
        std::vector<std::string> header(std::begin(kCsvHeader), std::end(kCsvHeader));
        if (m_cp932) {
            for (std::string& h : header)
                h = sjis::fromUtf8(h);
        } else {
            out += csv::kUtf8Bom;
        }
        csv::appendRecord(out, header);
    }

    bool write(const OutQuestion& q, std::string& out, const NoteSink&) override
    {
        const std::string number = std::to_string(q.number);
        const std::string correct = q.correct > 0 ? std::to_string(q.correct) : std::string();
        csv::appendRecord(out, {number, q.picture, q.question, q.answers[0], q.answers[1], q.answers[2], q.answers[3],
                                q.answers[4], correct, q.mark});
        return true;
    }

private:
    bool m_cp932;
};

enum Column { Number, Picture, Question, Answer1, Answer2, Answer3, Answer4, Answer5, Correct, Mark, ColumnCount };

// Full-width digits to ASCII, ASCII letters to lower case, spaces around
// removed: how a header cell typed by hand is compared.
std::string normalised(std::string_view utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        // U+FF10..U+FF19 are EF BC 90..99.
        if (c == 0xEF && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0xBC &&
            static_cast<unsigned char>(utf8[i + 2]) >= 0x90 && static_cast<unsigned char>(utf8[i + 2]) <= 0x99) {
            out += static_cast<char>('0' + (static_cast<unsigned char>(utf8[i + 2]) - 0x90));
            i += 2;
            continue;
        }
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    }
    const std::size_t b = out.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const std::size_t e = out.find_last_not_of(" \t");
    return out.substr(b, e - b + 1);
}

int columnOf(const std::string& name)
{
    static const struct {
        const char* name;
        int column;
    } kNames[] = {
        {"番号", Number},   {"no", Number},       {"number", Number},   {"画像", Picture},    {"picture", Picture},
        {"問題", Question}, {"問題文", Question}, {"question", Question}, {"正解", Correct},   {"correct", Correct},
        {"前回", Mark},     {"last", Mark},
    };
    for (const auto& n : kNames)
        if (name == n.name)
            return n.column;
    for (int i = 1; i <= 5; ++i)
        if (name == "解答" + std::to_string(i) || name == "answer" + std::to_string(i))
            return Answer1 + i - 1;
    return -1;
}

bool allEmpty(const std::vector<csv::Field>& row)
{
    for (const csv::Field& f : row)
        if (!f.text.empty())
            return false;
    return true;
}

void skipBom(std::istream& in)
{
    char bom[3] = {};
    in.read(bom, 3);
    if (in.gcount() == 3 && std::string_view(bom, 3) == "\xEF\xBB\xBF")
        return;
    in.clear();
    in.seekg(0);
}

} // namespace

std::unique_ptr<BankWriter> makeCsvWriter(bool cp932)
{
    return std::make_unique<CsvWriter>(cp932);
}

void readCsv(std::istream& in, Encoding encoding, const QuestionSink& question, const ProblemSink& problem)
{
    const bool cp932 = encoding == Encoding::Cp932;
    skipBom(in);
    csv::Reader reader(in, kMaxLineBytes);
    std::vector<csv::Field> row;
    std::array<int, ColumnCount> where{};
    where.fill(-1);
    bool haveHeader = false;
    ParsedQuestion q;
    // Set once a row shows that a spreadsheet read the cells as numbers:
    // the three-digit picture numbers of an export have lost their zeros.
    bool spreadsheet = false;
    const auto fatal = [&](int line, Problem::Kind kind, std::string detail = {}) {
        problem(Problem{line, kind, std::move(detail), true});
    };

    while (reader.next(row)) {
        if (allEmpty(row))
            continue;
        if (!haveHeader) {
            haveHeader = true;
            bool known = false;
            for (std::size_t i = 0; i < row.size(); ++i) {
                const int column = columnOf(normalised(cp932 ? sjis::toUtf8(row[i].text) : row[i].text));
                if (column >= 0 && where[static_cast<std::size_t>(column)] < 0) {
                    where[static_cast<std::size_t>(column)] = static_cast<int>(i);
                    known = true;
                }
            }
            if (!known) {
                fatal(reader.recordLine(), Problem::Kind::NoHeader);
                return;
            }
            std::string missing;
            for (int c : {Question, Answer1, Answer2, Answer3, Answer4, Answer5, Correct}) {
                if (where[static_cast<std::size_t>(c)] >= 0)
                    continue;
                if (!missing.empty())
                    missing += ", ";
                missing += kCsvHeader[c];
            }
            if (!missing.empty()) {
                fatal(reader.recordLine(), Problem::Kind::MissingColumn, missing);
                return;
            }
            continue;
        }

        const auto cell = [&](int column) -> const csv::Field* {
            const int at = where[static_cast<std::size_t>(column)];
            return at >= 0 && static_cast<std::size_t>(at) < row.size() ? &row[static_cast<std::size_t>(at)] : nullptr;
        };
        static const std::string kEmpty;
        const auto text = [&](int column) -> const std::string& { return cell(column) ? cell(column)->text : kEmpty; };
        const auto lineOf = [&](int column) { return cell(column) ? cell(column)->line : reader.recordLine(); };

        // One question object for every row: its strings keep their room.
        q.line = reader.recordLine();
        q.cp932 = cp932;
        if (cp932 && !text(Picture).empty())
            q.picture = sjis::toUtf8(text(Picture));
        else
            q.picture = text(Picture);
        q.pictureLine = lineOf(Picture);
        q.mark = text(Mark);
        q.markLine = lineOf(Mark);
        q.question = text(Question);
        q.answers.resize(5);
        q.answerLines.resize(5);
        for (std::size_t i = 0; i < 5; ++i) {
            q.answers[i] = text(Answer1 + static_cast<int>(i));
            q.answerLines[i] = lineOf(Answer1 + static_cast<int>(i));
        }
        q.right.clear();
        q.badCorrect.clear();
        q.warnings.clear();
        const std::string& pictureCell = text(Picture);
        if (!spreadsheet && !pictureCell.empty() && pictureCell.size() <= 2 &&
            std::all_of(pictureCell.begin(), pictureCell.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            spreadsheet = true;
            problem(Problem{lineOf(Picture), Problem::Kind::SpreadsheetSaved, {}, false, true});
        }
        for (int column : {Question, Answer1, Answer2, Answer3, Answer4, Answer5}) {
            const std::string& cellText = text(column);
            if (const char* what = spreadsheetValue(cellText, spreadsheet)) {
                const std::string field = column == Question ? "question" : "answer" + std::to_string(column - Answer1 + 1);
                q.warnings.push_back(Problem{lineOf(column), Problem::Kind::SpreadsheetValue,
                                             field + ":" + what + ":" + (cp932 ? sjis::toUtf8(cellText) : cellText),
                                             false, true});
            }
        }
        q.correctLine = lineOf(Correct);
        const std::string& correctCell = text(Correct);
        const bool ascii = std::all_of(correctCell.begin(), correctCell.end(), [](char c) { return c >= 0; });
        const std::string correct = normalised(cp932 && !ascii ? sjis::toUtf8(correctCell) : correctCell);
        if (correct.size() == 1 && correct[0] >= '1' && correct[0] <= '5')
            q.right.push_back(correct[0] - '1');
        else if (!correct.empty())
            q.badCorrect = correct;
        question(q);
    }

    switch (reader.error()) {
    case csv::Reader::Error::None:
        if (!haveHeader)
            fatal(1, Problem::Kind::NoHeader);
        break;
    case csv::Reader::Error::UnclosedQuote:
        fatal(reader.errorLine(), Problem::Kind::UnclosedQuote);
        break;
    case csv::Reader::Error::FieldTooLong:
        fatal(reader.errorLine(), Problem::Kind::CellTooLong);
        break;
    case csv::Reader::Error::ReadFailed:
        fatal(reader.errorLine(), Problem::Kind::ReadFailed);
        break;
    }
}

} // namespace bank
