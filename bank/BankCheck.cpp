#include "BankCheck.h"

#include "BankPictures.h"
#include "BankQuestion.h"
#include "BankText.h"
#include "questionfile/PicturePath.h"
#include "questionfile/QuestionFile.h"
#include "questionfile/QuestionRecord.h"
#include "core/FileSystem.h"
#include "core/ShiftJis.h"
#include "settings/ProfileStore.h"

#include <array>
#include <fstream>
#include <map>
#include <unordered_map>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace bank {

namespace {

using question::kAnswerCount;
using question::kHeadSize;
using question::kRecordSize;
using question::kSlotSize;

struct FieldSpan {
    const char* name;
    std::size_t offset, width;
};
// The texts of a record, as the program cuts them.
const std::array<FieldSpan, 8> kFields = {{
    {"picture", 0, 3},
    {"mark", 3, 1},
    {"question", 4, 96},
    {"answer1", 101, 79},
    {"answer2", 181, 79},
    {"answer3", 261, 79},
    {"answer4", 341, 79},
    {"answer5", 421, 79},
}};

// The field a byte offset of a record lies in ("answer2" for a mark byte too).
const char* fieldAt(std::size_t offset)
{
    if (offset < 3)
        return "picture";
    if (offset < 4)
        return "mark";
    if (offset < static_cast<std::size_t>(kHeadSize))
        return "question";
    static const char* const kAnswers[] = {"answer1", "answer2", "answer3", "answer4", "answer5"};
    return kAnswers[(offset - kHeadSize) / kSlotSize];
}

std::uint64_t hashOf(std::string_view s)
{
    std::uint64_t h = 1469598103934665603ull; // FNV-1a
    for (char c : s) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

class BankChecker {
public:
    BankChecker(const std::filesystem::path& bank, const FindingSink& sink) : m_bank(bank), m_sink(sink) {}

    void record(int number, std::string_view bytes)
    {
        const std::size_t nul = bytes.find('\0');
        const std::size_t textEnd = nul == std::string_view::npos ? bytes.size() : nul;
        const question::QuestionRecord r = question::decodeRecord(bytes);

        if (nul != std::string_view::npos)
            report(Finding::Kind::ZeroByte, number, fieldAt(nul));

        // Texts that hold bytes which are no character (trailing white space
        // aside, which is all single bytes).
        for (const FieldSpan& f : kFields) {
            std::string_view text =
                f.offset < textEnd ? bytes.substr(f.offset, std::min(f.width, textEnd - f.offset)) : std::string_view();
            while (!text.empty() && (text.back() == ' ' || (text.back() >= '\t' && text.back() <= '\r')))
                text.remove_suffix(1);
            if (!isValidShiftJis(text))
                report(Finding::Kind::InvalidShiftJis, number, f.name);
        }

        // The right answer: exactly one slot marked "*".
        std::string marked;
        int marks = 0;
        for (int i = 0; i < kAnswerCount; ++i) {
            const std::size_t at = static_cast<std::size_t>(kHeadSize + kSlotSize * i);
            if (at < textEnd && bytes[at] == '*') {
                ++marks;
                marked += (marked.empty() ? "" : ", ") + std::to_string(i + 1);
            }
        }
        if (marks == 0)
            report(Finding::Kind::NoCorrectAnswer, number);
        else if (marks > 1)
            report(Finding::Kind::SeveralCorrectAnswers, number, marked);

        // Texts left empty; those a zero byte cut off are told of above.
        if (kFields[2].offset < textEnd && isBlankCp932(r.question))
            report(Finding::Kind::EmptyQuestion, number);
        for (int i = 0; i < kAnswerCount; ++i) {
            if (kFields[3 + static_cast<std::size_t>(i)].offset < textEnd &&
                isBlankCp932(r.answers[static_cast<std::size_t>(i)]))
                report(Finding::Kind::EmptyAnswer, number, std::to_string(i + 1));
        }

        // What a spreadsheet leaves of a formula or a long number.
        for (std::size_t k = 0; k <= static_cast<std::size_t>(kAnswerCount); ++k) {
            const std::string& text = k == 0 ? r.question : r.answers[k - 1];
            if (const char* what = spreadsheetValue(text, false))
                report(Finding::Kind::SpreadsheetValue, number,
                       std::string(kFields[2 + k].name) + ":" + what + ":" + sjis::toUtf8(text));
        }

        checkPicture(number, r.picture, textEnd >= 3);
        checkDuplicate(number, r.question);
    }

    void defaultPicture()
    {
        const std::filesystem::path file = picturePathOf("000");
        if (bank::checkPicture(file) == PictureState::Missing)
            report(Finding::Kind::DefaultPictureMissing, 0, file.string());
    }

    void trailing(int after, std::uintmax_t bytes)
    {
        report(Finding::Kind::TrailingBytes, 0, std::to_string(bytes), after);
    }

private:
    void report(Finding::Kind kind, int number, std::string detail = {}, int other = 0)
    {
        m_sink(Finding{kind, number, std::move(detail), other, false});
    }

    std::filesystem::path picturePathOf(const std::string& number) const
    {
        return fsutil::nativePath(question::picturePath(fsutil::storedName(m_bank), number));
    }

    void checkPicture(int number, const std::string& picture, bool whole)
    {
        if (!whole || picture.size() != 3 || picture.find_first_not_of("0123456789") != std::string::npos) {
            report(Finding::Kind::PictureNumber, number, sjisText(picture));
            return;
        }
        if (picture == "000")
            return;
        auto it = m_pictures.find(picture);
        if (it == m_pictures.end()) {
            std::string size;
            const std::filesystem::path file = picturePathOf(picture);
            const PictureState state = bank::checkPicture(file, &size);
            it = m_pictures.emplace(picture, std::make_pair(state, file.string() + (size.empty() ? "" : "\t" + size)))
                     .first;
        }
        const std::string& file = it->second.second;
        switch (it->second.first) {
        case PictureState::Ok:
            break;
        case PictureState::Missing:
            report(Finding::Kind::PictureMissing, number, file);
            break;
        case PictureState::NotBitmap:
            report(Finding::Kind::PictureNotBitmap, number, file);
            break;
        case PictureState::WrongSize:
            report(Finding::Kind::PictureSize, number, file);
            break;
        }
    }

    // Only a hash of each text is kept; a match is confirmed by reading the
    // earlier record again.
    void checkDuplicate(int number, const std::string& text)
    {
        if (isBlankCp932(text))
            return;
        const auto [it, added] = m_texts.emplace(hashOf(text), number);
        if (added)
            return;
        std::string earlier(kRecordSize, '\0');
        if (!m_reread.is_open())
            m_reread.open(m_bank, std::ios::binary);
        m_reread.clear();
        m_reread.seekg(static_cast<std::streamoff>(it->second - 1) * kRecordSize);
        m_reread.read(earlier.data(), kRecordSize);
        if (question::decodeRecord(earlier).question == text)
            report(Finding::Kind::DuplicateQuestion, number, {}, it->second);
    }

    static std::string sjisText(const std::string& bytes) { return fieldsToUtf8({bytes}).front(); }

    std::filesystem::path m_bank;
    const FindingSink& m_sink;
    std::map<std::string, std::pair<PictureState, std::string>> m_pictures;
    std::unordered_map<std::uint64_t, int> m_texts;
    std::ifstream m_reread;
};

} // namespace

bool checkBank(const std::filesystem::path& bank, const FindingSink& sink, int& questions)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(bank, ec))
        return false;
    std::ifstream in(bank, std::ios::binary);
    if (!in)
        return false;
    const std::uintmax_t length = std::filesystem::file_size(bank, ec);
    if (ec)
        return false;
    questions = question::recordCountForLength(static_cast<std::int64_t>(length));

    BankChecker checker(bank, sink);
    checker.defaultPicture();
    constexpr int kBatch = 1024;
    std::string buffer(static_cast<std::size_t>(kBatch) * kRecordSize, '\0');
    int number = 0;
    while (number < questions) {
        const int n = std::min(kBatch, questions - number);
        in.read(buffer.data(), static_cast<std::streamsize>(n) * kRecordSize);
        if (in.gcount() != static_cast<std::streamsize>(n) * kRecordSize)
            return false;
        for (int k = 0; k < n; ++k)
            checker.record(number + k + 1,
                           std::string_view(buffer).substr(static_cast<std::size_t>(k) * kRecordSize, kRecordSize));
        number += n;
    }
    const std::uintmax_t rest = length % kRecordSize;
    if (rest > 0)
        checker.trailing(questions, rest);
    return true;
}

namespace {
const char* const kMissing = "\x01";

bool isPort(const std::string& s)
{
    if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int port = std::stoi(s);
    return port >= 1 && port <= 65535;
}
} // namespace

bool checkSettings(const std::filesystem::path& ini, const std::filesystem::path& bank, int bankQuestions,
                   const FindingSink& sink)
{
    std::string text;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(ini, ec) || !fsutil::readFile(ini, text))
        return false;
    const ProfileStore profile(ini);
    const auto report = [&](Finding::Kind kind, std::string detail = {}, int other = 0, bool note = false) {
        sink(Finding{kind, 0, std::move(detail), other, note});
    };
    const auto utf8 = [](const std::string& cp932) { return fieldsToUtf8({cp932}).front(); };

    // The question file, found as the program finds it when it starts here.
    const std::string stored = profile.GetProfileStringA("QUESTION", "1", "sample0524.txt");
    std::filesystem::path questionFile = fsutil::nativePath(stored);
    if (questionFile.is_relative())
        questionFile = ini.parent_path() / questionFile;
    if (!std::filesystem::is_regular_file(questionFile, ec))
        report(Finding::Kind::QuestionFileMissing, utf8(stored));
    else if (!std::filesystem::equivalent(questionFile, bank, ec))
        report(Finding::Kind::QuestionFileOther, utf8(stored), 0, true);

    // The values a Start reads, with its defaults.
    const auto value = [&](const char* section) {
        const std::string v = profile.GetProfileStringA(section, "1", kMissing);
        return v == kMissing ? std::string() : v;
    };
    const int count = profile.GetProfileIntA("QUESTION_CNT", "1", 3);
    if (count <= 0 || count > bankQuestions)
        report(Finding::Kind::QuestionCount, std::to_string(count), bankQuestions);
    if (profile.GetProfileIntA("TIME_LIMIT", "1", 0) <= 0)
        report(Finding::Kind::TimeLimit, utf8(value("TIME_LIMIT")));
    if (profile.GetProfileIntA("LIFE", "1", 0) <= 0)
        report(Finding::Kind::Life, utf8(value("LIFE")));

    // The mail account.
    if (profile.GetProfileIntA("MAIL", "1", 1) == 1) {
        for (const char* entry : {"SMTP", "TO", "FROM"})
            if (profile.GetProfileStringA(entry, "1").empty())
                report(Finding::Kind::MailAccount, entry);
    }
    const std::string port = profile.GetProfileStringA("PORT", "1");
    if (!port.empty() && !isPort(port))
        report(Finding::Kind::PortInvalid, utf8(port));
    if (!profile.GetProfileStringA("ID", "1").empty() && port != "465" && (port.empty() || isPort(port)))
        report(Finding::Kind::StartTlsUnknown, port.empty() ? "25" : port, 0, true);

#ifndef _WIN32
    struct stat st {};
    if (!profile.GetProfileStringA("PW", "1").empty() && ::stat(ini.c_str(), &st) == 0 &&
        (st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        report(Finding::Kind::PasswordReadable, mode);
    }
#endif
    return true;
}

const char* findingCode(Finding::Kind kind)
{
    switch (kind) {
    case Finding::Kind::TrailingBytes:
        return "trailing-bytes";
    case Finding::Kind::NoCorrectAnswer:
        return "no-correct-answer";
    case Finding::Kind::SeveralCorrectAnswers:
        return "several-correct-answers";
    case Finding::Kind::EmptyQuestion:
        return "empty-question";
    case Finding::Kind::EmptyAnswer:
        return "empty-answer";
    case Finding::Kind::InvalidShiftJis:
        return "invalid-shift-jis";
    case Finding::Kind::ZeroByte:
        return "zero-byte";
    case Finding::Kind::PictureNumber:
        return "picture-number";
    case Finding::Kind::PictureMissing:
        return "picture-missing";
    case Finding::Kind::PictureNotBitmap:
        return "picture-not-bitmap";
    case Finding::Kind::PictureSize:
        return "picture-size";
    case Finding::Kind::DuplicateQuestion:
        return "duplicate-question";
    case Finding::Kind::DefaultPictureMissing:
        return "default-picture-missing";
    case Finding::Kind::SpreadsheetValue:
        return "spreadsheet-value";
    case Finding::Kind::QuestionFileMissing:
        return "question-file-missing";
    case Finding::Kind::QuestionFileOther:
        return "question-file-other";
    case Finding::Kind::QuestionCount:
        return "question-count";
    case Finding::Kind::TimeLimit:
        return "time-limit";
    case Finding::Kind::Life:
        return "life";
    case Finding::Kind::MailAccount:
        return "mail-account";
    case Finding::Kind::PortInvalid:
        return "port-invalid";
    case Finding::Kind::StartTlsUnknown:
        return "starttls-unknown";
    case Finding::Kind::PasswordReadable:
        return "password-readable";
    }
    return "";
}

} // namespace bank
