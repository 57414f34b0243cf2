#include "BankTransfer.h"

#include "questionfile/PicturePath.h"
#include "questionfile/QuestionFile.h"
#include "questionfile/QuestionRecord.h"
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
                        const ChunkSink& sink, const NoteSink& note, ExportCounts& counts)
{
    counts = ExportCounts();
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
            if (writer->write(q, out, note))
                ++counts.written;
            if (out.size() >= kChunk) {
                if (!sink(out))
                    return ExportResult::CannotWrite;
                out.clear();
            }
        }
        number += n;
    }
    writer->end(out);
    counts.read = count;
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

namespace {

// Gathers the bank's bytes and hands them on in chunks.
class BankOutput {
public:
    explicit BankOutput(std::function<bool(std::string_view)> write) : m_write(std::move(write)) {}
    void add(std::string_view bytes)
    {
        m_buffer += bytes;
        if (m_buffer.size() >= kChunk)
            flush();
    }
    bool flush()
    {
        if (!m_buffer.empty() && m_ok)
            m_ok = m_write(m_buffer);
        m_buffer.clear();
        return m_ok;
    }

private:
    static constexpr std::size_t kChunk = 1 << 20;
    std::function<bool(std::string_view)> m_write;
    std::string m_buffer;
    bool m_ok = true;
};

} // namespace

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

    // Appending: the bank's whole records are kept, bytes after the last
    // one (never read by the program) are not.
    std::ifstream old;
    if (exists && options.append) {
        old.open(bank, std::ios::binary);
        const std::uintmax_t length = std::filesystem::file_size(bank, ec);
        if (!old || ec)
            return fail(ImportReport::Outcome::CannotReadBank);
        report.kept = question::recordCountForLength(static_cast<std::int64_t>(length));
        report.droppedTail = length % kRecordSize;
    }

    const std::filesystem::path bankFolder = bank.has_parent_path() ? bank.parent_path() : std::filesystem::path(".");
    const std::filesystem::path inputFolder =
        input.empty() ? std::filesystem::path(".") : (input.has_parent_path() ? input.parent_path() : ".");
    PictureImporter pictures(bankFolder / "256bitmap", options.pictures, inputFolder);

    bool fatal = false;
    bool inQuestion = false; // problems now are reasons of the question being fitted
    const auto keep = [](std::vector<Problem>& list, int& count, const Problem& p) {
        ++count;
        if (list.size() < kMaxProblems)
            list.push_back(p);
    };
    const ProblemSink problem = [&](const Problem& p) {
        if (p.warning) {
            keep(report.warnings, report.warningCount, p);
            return;
        }
        keep(report.problems, report.problemCount, p);
        fatal = fatal || p.fatal;
        // A reader's problem that is not the file's stands for a question
        // it could not take.
        if (!p.fatal && !inQuestion)
            ++report.skipped;
    };
    FitOptions fit;
    fit.cut = options.cut;
    fit.fill = options.fill;

    // Reads the file and hands the bank that comes out to `write`, the
    // records it keeps first; false when nothing is to be written.
    bool outputFailed = false;
    const auto build = [&](const std::function<bool(std::string_view)>& write) {
        BankOutput out(write);
        if (old.is_open()) {
            std::string chunk(std::size_t(2048) * kRecordSize, '\0');
            std::uintmax_t left = std::uintmax_t(report.kept) * kRecordSize;
            while (left > 0) {
                const std::size_t n = static_cast<std::size_t>(std::min<std::uintmax_t>(left, chunk.size()));
                old.read(chunk.data(), static_cast<std::streamsize>(n));
                if (static_cast<std::size_t>(old.gcount()) != n) {
                    fail(ImportReport::Outcome::CannotReadBank);
                    return false;
                }
                out.add(std::string_view(chunk).substr(0, n));
                left -= n;
            }
        }
        std::vector<Cut> cuts;
        const QuestionSink question = [&](ParsedQuestion& q) {
            if (fatal)
                return;
            if (report.kept + report.imported >= kMaxBankQuestions) {
                problem(Problem{q.line, Problem::Kind::TooManyQuestions, std::to_string(kMaxBankQuestions), true});
                return;
            }
            question::QuestionRecord record;
            cuts.clear();
            inQuestion = true;
            bool fits = fitQuestion(q, fit, record, cuts, problem);
            // A picture is brought in only for a question that is written.
            Problem pictureProblem;
            if (fits && !pictures.resolve(q, record.picture, pictureProblem)) {
                problem(pictureProblem);
                fits = false;
            }
            inQuestion = false;
            if (!fits) {
                ++report.skipped;
                return;
            }
            ++report.imported;
            report.cuts.insert(report.cuts.end(), cuts.begin(), cuts.end());
            for (const Problem& w : q.warnings)
                problem(w);
            if (!options.strict || report.skipped == 0)
                out.add(question::encodeRecord(record, nullptr));
        };
        readQuestions(options.format, in, options.encoding, question, problem);

        if (fatal || (options.strict && report.skipped > 0)) {
            fail(ImportReport::Outcome::Refused);
            return false;
        }
        if (report.imported == 0) {
            fail(report.skipped > 0 ? ImportReport::Outcome::NoneFits : ImportReport::Outcome::NoQuestions);
            return false;
        }
        if (!out.flush()) {
            outputFailed = true;
            return false;
        }
        // The pictures go first: a bank never names a picture that is not there.
        std::string failed;
        if (!pictures.commit(failed)) {
            fail(ImportReport::Outcome::CannotWriteBank, failed);
            return false;
        }
        return true;
    };

#ifndef _WIN32
    // Written straight to the temporary file that takes the bank's place:
    // a large import never holds the bank.
    const fsutil::ReplaceResult result = fsutil::replaceFile(bank, [&](int fd) {
        return build([fd](std::string_view bytes) { return fsutil::writeAll(fd, bytes.data(), bytes.size()); });
    });
    if (result == fsutil::ReplaceResult::Done) {
        report.pictures = pictures.added();
        return report;
    }
    if (report.outcome != ImportReport::Outcome::Written && !outputFailed)
        return report; // refused, or a picture could not be written
    pictures.rollback();
    return fail(ImportReport::Outcome::CannotWriteBank, bank.string());
#else
    std::string bytes;
    if (!build([&](std::string_view b) {
            bytes += b;
            return true;
        }))
        return report;
    if (!fsutil::writeFileAtomically(bank, bytes)) {
        pictures.rollback();
        return fail(ImportReport::Outcome::CannotWriteBank, bank.string());
    }
    report.pictures = pictures.added();
    return report;
#endif
}

} // namespace bank
