#pragma once
// Moving a whole bank out to another format and in from one.
//
// An export reads the bank record by record and hands the writer's output on
// in chunks. An import reads the other file question by question, fits each
// one to a record and writes the questions that fit (with strict: only when
// every question fits), naming every other one with its reason: the bank is
// replaced in one step, its pictures are written first and taken back when
// the bank cannot be written.

#include "BankFormats.h"
#include "BankPictures.h"

#include <filesystem>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bank {

// Receives the output in pieces; false stops the export.
using ChunkSink = std::function<bool(std::string_view)>;

enum class ExportResult { Done, CannotRead, CannotWrite };

struct ExportCounts {
    int read = 0;    // records in the bank
    int written = 0; // questions written (the format may leave some out)
};

// Writes the bank in `format` through `sink`.
ExportResult exportBank(const std::filesystem::path& bank, Format format, const WriterOptions& options,
                        const ChunkSink& sink, const NoteSink& note, ExportCounts& counts);

struct ImportOptions {
    Format format = Format::Csv;
    Encoding encoding = Encoding::Auto;
    bool cut = false;    // cut texts that are too long instead of refusing them
    bool strict = false; // write nothing unless every question fits
    std::string fill;    // fills the slots of questions with two to four answers (UTF-8)
    bool append = false; // add to an existing bank
    bool force = false;  // replace an existing bank
    std::optional<std::filesystem::path> pictures; // where picture files are looked for first
};

// The most questions one bank may hold after an import (500 MB).
constexpr int kMaxBankQuestions = 1000000;

struct ImportReport {
    enum class Outcome {
        Written,
        Refused,       // a problem with the file, or strict and a question skipped; nothing written
        NoneFits,      // not one question fits (see problems); nothing written
        NoQuestions,   // the file held no question
        Exists,        // the bank exists, and neither append nor force was given
        SettingsFile,  // the bank would be the settings file
        SameFile,      // the bank would be the file being read
        NotAFile,      // the bank names a folder or something else that is no file
        CannotReadBank,  // append: the existing bank could not be read
        CannotWriteBank, // detail: the file that could not be written
    };
    Outcome outcome = Outcome::Written;
    int imported = 0;     // questions read and fitted
    int skipped = 0;      // questions that do not fit, each named in problems
    int kept = 0;         // append: questions the bank had
    std::uintmax_t droppedTail = 0; // append: bytes after the bank's last whole record, not kept
    std::vector<Problem> problems;  // the first kMaxProblems of them: why questions were skipped, or the file refused
    int problemCount = 0;
    std::vector<Problem> warnings;  // the first kMaxProblems of what imported questions lost
    int warningCount = 0;
    std::vector<Cut> cuts;
    std::vector<std::pair<std::string, std::string>> pictures; // number, source of the pictures added
    std::string detail;
};

constexpr std::size_t kMaxProblems = 200;

// Imports from `in` (the file `input`, or standard input when `input` is
// empty) into the bank file `bank`.
ImportReport importBank(std::istream& in, const std::filesystem::path& input, const std::filesystem::path& bank,
                        const ImportOptions& options);

// True when the path's file name is Parameter.INI, in any letter case.
bool isSettingsFileName(const std::filesystem::path& path);

} // namespace bank
