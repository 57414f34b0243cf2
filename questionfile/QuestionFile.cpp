#include "QuestionFile.h"

#include "QuestionFileOps.h"
#include "core/FileSystem.h"

#include <system_error>
#include <vector>

namespace question {

int recordCountForLength(std::int64_t length)
{
    if (length <= 0)
        return 0;
    const std::int64_t n = length / kRecordSize;
    return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(n);
}

std::int64_t offsetOfQuestion(int n)
{
    return static_cast<std::int64_t>(n - 1) * kRecordSize;
}

std::optional<int> recordCountOf(const std::string& storedName)
{
    std::error_code ec;
    const auto path = fsutil::nativePath(storedName);
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status))
        return std::nullopt;
    if (!std::filesystem::is_regular_file(status))
        return 0;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return std::nullopt;
    return recordCountForLength(static_cast<std::int64_t>(size));
}

bool QuestionFile::open(const std::string& storedName)
{
    close();
    if (storedName.empty())
        return false;
    const auto path = fsutil::nativePath(storedName);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    // in|out never creates a missing file.
    m_file.open(path, std::ios::in | std::ios::out | std::ios::binary);
    if (m_file.is_open())
        m_path = path;
    return m_file.is_open();
}

void QuestionFile::close()
{
    if (m_file.is_open())
        m_file.close();
    m_file.clear();
}

std::int64_t QuestionFile::length()
{
    if (!m_file.is_open())
        return 0;
    m_file.clear();
    m_file.seekg(0, std::ios::end);
    const std::streamoff end = m_file.tellg();
    return end < 0 ? 0 : static_cast<std::int64_t>(end);
}

bool QuestionFile::readRecord(int index, std::string& out)
{
    out.assign(kRecordSize, '\0');
    if (!m_file.is_open() || index < 0)
        return false;
    m_file.clear();
    m_file.seekg(static_cast<std::streamoff>(index) * kRecordSize, std::ios::beg);
    if (!m_file)
        return false;
    m_file.read(out.data(), kRecordSize);
    const std::streamsize got = m_file.gcount();
    m_file.clear();
    return got > 0;
}

bool QuestionFile::readQuestion(int n, QuestionRecord& out)
{
    std::string bytes;
    if (!readRecord(n - 1, bytes))
        return false;
    out = decodeRecord(bytes);
    return true;
}

bool QuestionFile::append(const std::string& bytes)
{
    if (!m_file.is_open())
        return false;
    m_file.clear();
    m_file.seekp(0, std::ios::end);
    m_file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    m_file.flush();
    return static_cast<bool>(m_file);
}

bool QuestionFile::writeAt(std::int64_t offset, const std::string& bytes)
{
    if (!m_file.is_open() || offset < 0)
        return false;
    m_file.clear();
    m_file.seekp(static_cast<std::streamoff>(offset), std::ios::beg);
    m_file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    m_file.flush();
    return static_cast<bool>(m_file);
}

namespace {

// A record as the pieces it is written in: the head, then slots 1 to 5, with
// their offsets from the record's first byte.
struct Piece {
    std::int64_t offset;
    std::string bytes;
};

std::vector<Piece> piecesOf(const QuestionRecord& record, const WarningSink& warn)
{
    std::vector<Piece> pieces;
    pieces.push_back({0, encodeHead(record.picture, record.mark, record.question, warn)});
    for (int i = 1; i <= kAnswerCount; ++i)
        pieces.push_back({kHeadSize + kSlotSize * (i - 1),
                          encodeSlot(i, record.correct, record.answers[static_cast<std::size_t>(i - 1)], warn)});
    return pieces;
}

} // namespace

bool QuestionFile::writePieces(std::int64_t base, const QuestionRecord& record, const WarningSink& warn)
{
    // Every warning is shown before the first byte is written.
    for (const Piece& piece : piecesOf(record, warn)) {
        if (faultInjected(FaultPoint::WritePiece) || !writeAt(base + piece.offset, piece.bytes))
            return false;
    }
    return true;
}

bool QuestionFile::appendQuestion(const QuestionRecord& record, const WarningSink& warn)
{
    // A file without write permission stays as it is, also for root, who
    // could open it for writing all the same.
    if (!m_file.is_open() || fsutil::isReadOnly(m_path))
        return false;
    const std::int64_t oldLength = length();
    const std::int64_t at = static_cast<std::int64_t>(recordCountForLength(oldLength)) * kRecordSize;
    std::string tail;
    if (oldLength > at) {
        m_file.clear();
        m_file.seekg(static_cast<std::streamoff>(at), std::ios::beg);
        tail.resize(static_cast<std::size_t>(oldLength - at));
        m_file.read(tail.data(), static_cast<std::streamsize>(tail.size()));
        if (!m_file)
            return false;
    }
    if (writePieces(at, record, warn))
        return true;
    // Put the file back as it was: no torn record may shift later ones.
    m_file.close();
    std::error_code ec;
    std::filesystem::resize_file(m_path, static_cast<std::uintmax_t>(oldLength), ec);
    if (!tail.empty()) {
        std::fstream restore(m_path, std::ios::in | std::ios::out | std::ios::binary);
        restore.seekp(static_cast<std::streamoff>(at), std::ios::beg);
        restore.write(tail.data(), static_cast<std::streamsize>(tail.size()));
    }
    m_file.clear();
    m_file.open(m_path, std::ios::in | std::ios::out | std::ios::binary);
    return false;
}

bool QuestionFile::rewriteQuestion(int n, const QuestionRecord& record, const WarningSink& warn)
{
    // Only a question the file holds is rewritten: nothing is ever written
    // past the last whole record.
    if (!m_file.is_open() || fsutil::isReadOnly(m_path) || n < 1 || n > recordCount())
        return false;
    const std::int64_t base = offsetOfQuestion(n);
    std::string old;
    if (!readRecord(n - 1, old))
        return false;
    if (writePieces(base, record, warn))
        return true;
    // A half-written record would mix two questions: put the old one back.
    writeAt(base, old);
    return false;
}

} // namespace question
