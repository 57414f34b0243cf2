#pragma once
// The commands that change the set of questions or of question files:
// deleting one question, creating a question file from template records and
// deciding whether a chosen file may be deleted.
//
// Deleting a question never puts the bank at risk: every other record is
// copied into the temporary file (the question file's name followed by
// "_new"), which is flushed to disk, given the bank's owner, group and mode
// and then renamed over the question file in one step. Until that rename
// succeeds the question file is untouched. A rename makes a new file: other
// hard links to the old bank keep the old content.

#include <filesystem>
#include <functional>
#include <string>

namespace question {

// The temporary file of a deletion, as stored text: name + "_new".
std::string temporaryNameOf(const std::string& storedName);

enum class DeleteResult {
    Done,
    OpenFailed,    // the question file cannot be opened for reading and writing
    TempFailed,    // the temporary file cannot be created
    CopyFailed,    // reading the question file or writing the copy failed
    ReplaceFailed, // the copy cannot take the question file's place
    NoSuchRecord,  // the file holds no record at that index (it shrank)
    LastRecord,    // the file holds a single record, which is never deleted
};

// Removes record `index` (0-based) of the named question file. Every whole
// record but that one is copied, in order; bytes after the last whole record
// are not. The record count is the file's at this moment. A file that may
// not be written (see fsutil::isReadOnly) gives OpenFailed. On any result
// but Done the question file is as it was and no temporary file is left
// behind.
DeleteResult deleteRecord(const std::string& storedName, int index);

// Points where tests make a write to a question file fail: the steps of a
// deletion, a new file's records, and each piece (head or answer slot) that
// adding or updating a question writes.
enum class FaultPoint { CreateTemp, WriteTemp, SyncTemp, Rename, WriteNewFile, WritePiece };
// Returns true to make the step at that point fail. Empty: nothing fails.
using FaultInjector = std::function<bool(FaultPoint)>;
void setFaultInjector(FaultInjector injector);
// True when the injector makes the step at that point fail.
bool faultInjected(FaultPoint point);

enum class NewFileResult { Done, OpenFailed, WriteFailed };

// Writes three template records at the end of the file, creating it when it
// is missing and never truncating it. A file whose length is not a whole
// number of records is first filled up with spaces to the next record
// boundary, so that the new records are found at their positions. When
// writing fails the file is put back to its old length (a file this call
// created is removed again).
NewFileResult appendTemplateRecords(const std::filesystem::path& path);

// True when `chosen` names the configured question file: the same stored
// text, or the same file once both are resolved (a bare name is looked up in
// the current folder, links are followed).
bool isConfiguredFile(const std::filesystem::path& chosen, const std::string& configuredStored);

// True when the chosen file's name without its extension is exactly "ReadMe"
// (letter case counts).
bool isReadMeFile(const std::filesystem::path& chosen);

// Removes a chosen question file. False when it is not a file or cannot be
// removed.
bool removeQuestionFile(const std::filesystem::path& chosen);

} // namespace question
