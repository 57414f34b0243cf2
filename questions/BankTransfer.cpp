#include "BankTransfer.h"

#include "PicturePath.h"
#include "QuestionFile.h"
#include "QuestionRecord.h"
#include "core/FileSystem.h"
#include "core/ShiftJis.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>

namespace bank {

namespace {

using question::kRecordSize;

// The picture files of an export, read once each.
class PictureCache {
public:
    explicit PictureCache(const std::filesystem::path& bank) : m_bankStored(fsutil::storedName(bank)) {}

    // Null when the file is missing or no bitmap.
    std::shared_ptr<const PictureFile> get(const std::string& number)
    {
        const auto it = m_files.find(number);
        if (it != m_files.end())
            return it->second;
        std::shared_ptr<PictureFile> file;
        const std::filesystem::path path = fsutil::nativePath(question::picturePath(m_bankStored, number));
        const PictureState state = checkPicture(path);
        if (state == PictureState::Ok || state == PictureState::WrongSize) {
            auto f = std::make_shared<PictureFile>();
            f->name = number + ".bmp";
            if (fsutil::readFile(path, f->bytes))
                file = f;
        }
        m_files.emplace(number, file);
        return file;
    }

private:
    std::string m_bankStored;
    std::map<std::string, std::shared_ptr<const PictureFile>> m_files;
};

bool isPictureNumber(const std::string& s)
{
    return s.size() == 3 && s.find_first_not_of("0123456789") == std::string::npos && s != "000";
}

} // namespace

ExportResult exportBank(const std::filesystem::path& bank, Format format, const WriterOptions& options,
                        const ChunkSink& sink, const NoteSink& note, int& questions)
{
    questions = 0;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(bank, ec))
        return ExportResult::CannotRead;
    std::ifstream in(bank, std::ios::binary);
    if (!in)
        return ExportResult::CannotRead;
    const std::uintmax_t length = std::filesystem::file_size(bank, ec);
    if (ec)
        return ExportResult::CannotRead;
    const int count = question::recordCountForLength(static_cast<std::int64_t>(length));

    std::unique_ptr<BankWriter> writer = makeWriter(format, options);
    const bool cp932 = format == Format::Csv && options.cp932;
    PictureCache pictures(bank);
    std::string out;
    constexpr std::size_t kChunk = 1 << 20;
    writer->begin(out);

    constexpr int kBatch = 1024;
    std::string buffer(static_cast<std::size_t>(kBatch) * kRecordSize, '\0');
    std::vector<std::string> invalid;
    for (int number = 0; number < count;) {
        const int n = std::min(kBatch, count - number);
        in.read(buffer.data(), static_cast<std::streamsize>(n) * kRecordSize);
        if (in.gcount() != static_cast<std::streamsize>(n) * kRecordSize)
            return ExportResult::CannotRead;
        for (int k = 0; k < n; ++k) {
            invalid.clear();
            const std::string_view bytes =
                std::string_view(buffer).substr(static_cast<std::size_t>(k) * kRecordSize, kRecordSize);
            OutQuestion q = outQuestion(number + k + 1, bytes, cp932, &invalid);
            for (const std::string& field : invalid)
                note(Note{q.number, Note::Kind::InvalidBytes, field});
            if (writer->wantsPictures() && isPictureNumber(q.picture)) {
                q.pictureFile = pictures.get(q.picture);
                q.pictureMissing = !q.pictureFile;
            }
            writer->write(q, out, note);
            if (out.size() >= kChunk) {
                if (!sink(out))
                    return ExportResult::CannotWrite;
                out.clear();
            }
        }
        number += n;
    }
    writer->end(out);
    questions = count;
    if (!out.empty() && !sink(out))
        return ExportResult::CannotWrite;
    return ExportResult::Done;
}

bool isSettingsFileName(const std::filesystem::path& path)
{
    std::string name = path.filename().string();
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name == "parameter.ini";
}

ImportReport importBank(std::istream& in, const std::filesystem::path& input, const std::filesystem::path& bank,
                        const ImportOptions& options)
{
    ImportReport report;
    const auto fail = [&](ImportReport::Outcome outcome, std::string detail = {}) {
        report.outcome = outcome;
        report.detail = std::move(detail);
        return report;
    };
    std::error_code ec;
    if (isSettingsFileName(bank))
        return fail(ImportReport::Outcome::SettingsFile);
    const auto status = std::filesystem::status(bank, ec);
    const bool exists = std::filesystem::exists(status);
    if (exists && !std::filesystem::is_regular_file(status))
        return fail(ImportReport::Outcome::NotAFile);
    if (exists && !input.empty() && std::filesystem::equivalent(input, bank, ec))
        return fail(ImportReport::Outcome::SameFile);
    if (exists && !options.append && !options.force)
        return fail(ImportReport::Outcome::Exists);

    // The bank that comes out, held once.
    std::string out;
    if (exists && options.append) {
        if (!fsutil::readFile(bank, out))
            return fail(ImportReport::Outcome::CannotReadBank);
        report.kept = question::recordCountForLength(static_cast<std::int64_t>(out.size()));
        report.droppedTail = out.size() % kRecordSize;
        out.resize(static_cast<std::size_t>(report.kept) * kRecordSize);
    }

    // Room for what the file will give, so that the bank is not copied
    // each time it grows (untouched room costs no memory).
    if (!input.empty()) {
        const std::uintmax_t size = std::filesystem::file_size(input, ec);
        if (!ec)
            out.reserve(out.size() + static_cast<std::size_t>(std::min<std::uintmax_t>(
                                         size * 8, std::uintmax_t(kMaxBankQuestions) * kRecordSize)));
    }

    const std::filesystem::path bankFolder = bank.has_parent_path() ? bank.parent_path() : std::filesystem::path(".");
    const std::filesystem::path inputFolder =
        input.empty() ? std::filesystem::path(".") : (input.has_parent_path() ? input.parent_path() : ".");
    PictureImporter pictures(bankFolder / "256bitmap", options.pictures, inputFolder);

    bool fatal = false;
    const ProblemSink problem = [&](const Problem& p) {
        ++report.problemCount;
        if (report.problems.size() < kMaxProblems)
            report.problems.push_back(p);
        fatal = fatal || p.fatal;
    };
    const FitOptions fit{options.cut};
    const QuestionSink question = [&](ParsedQuestion& q) {
        if (fatal)
            return;
        if (report.kept + report.imported >= kMaxBankQuestions) {
            problem(Problem{q.line, Problem::Kind::TooManyQuestions, std::to_string(kMaxBankQuestions), true});
            return;
        }
        question::QuestionRecord record;
        std::vector<Cut> cuts;
        bool fits = fitQuestion(q, fit, record, cuts, problem);
        Problem pictureProblem;
        if (!pictures.resolve(q, record.picture, pictureProblem)) {
            problem(pictureProblem);
            fits = false;
        }
        if (!fits)
            return;
        ++report.imported;
        report.cuts.insert(report.cuts.end(), cuts.begin(), cuts.end());
        // Once a question is refused nothing will be written: stop building.
        if (report.problemCount == 0)
            out += question::encodeRecord(record, nullptr);
    };
    readQuestions(options.format, in, options.encoding, question, problem);

    if (report.problemCount > 0)
        return fail(ImportReport::Outcome::Refused);
    if (report.imported == 0)
        return fail(ImportReport::Outcome::NoQuestions);

    std::string failed;
    if (!pictures.commit(failed))
        return fail(ImportReport::Outcome::CannotWriteBank, failed);
    if (!fsutil::writeFileAtomically(bank, out)) {
        pictures.rollback();
        return fail(ImportReport::Outcome::CannotWriteBank, bank.string());
    }
    report.pictures = pictures.added();
    return report;
}

} // namespace bank
