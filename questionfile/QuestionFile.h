#pragma once
// Access to a question file: 500-byte records back to back. A file is opened
// for reading and writing only inside one operation; opening never creates a
// missing file.

#include "QuestionRecord.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace question {

constexpr const char* kOpenErrorMessage = "ファイルオープンエラー";

// Record count of a file length: length / 500, rounded down.
int recordCountForLength(std::int64_t length);

// Byte offset of question n (1-based).
std::int64_t offsetOfQuestion(int n);

// The record count of the named file, or nothing when its status cannot be
// read.
std::optional<int> recordCountOf(const std::string& storedName);

class QuestionFile {
public:
    QuestionFile() = default;
    ~QuestionFile() { close(); }
    QuestionFile(const QuestionFile&) = delete;
    QuestionFile& operator=(const QuestionFile&) = delete;

    // Opens an existing file for reading and writing. False when it cannot
    // be opened (missing, read-only, a folder...).
    bool open(const std::string& storedName);
    bool isOpen() const { return m_file.is_open(); }
    void close();

    std::int64_t length();
    int recordCount() { return recordCountForLength(length()); }

    // Reads the 500 bytes of the record at index (0-based). A short read
    // fills the rest with zero bytes, which readers take as end of text.
    bool readRecord(int index, std::string& out);
    // Reads question n (1-based) the way the editor does.
    bool readQuestion(int n, QuestionRecord& out);

    // Writes bytes at the current end of the file.
    bool append(const std::string& bytes);
    // Writes bytes at a byte offset.
    bool writeAt(std::int64_t offset, const std::string& bytes);

    // Neither write below touches a file without write permission (see
    // fsutil::isReadOnly), even when it could be opened for writing.
    // Appends a record after the last whole record: head, then slots 1 to 5.
    // Bytes after the last whole record (never read as a question) are
    // overwritten, so the new record is found at its position. When writing
    // fails the file gets back its old length and content.
    bool appendQuestion(const QuestionRecord& record, const WarningSink& warn);
    // Rewrites question n in place: head, then slot i at its own offset.
    // False, with nothing written, for a number the file does not hold. When
    // writing fails the old record is put back.
    bool rewriteQuestion(int n, const QuestionRecord& record, const WarningSink& warn);

private:
    // Writes the record's head and slots at base, one piece at a time.
    bool writePieces(std::int64_t base, const QuestionRecord& record, const WarningSink& warn);

    std::fstream m_file;
    std::filesystem::path m_path;
};

} // namespace question
