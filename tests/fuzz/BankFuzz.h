#pragma once
// What every bank format reader must hold to, on any input: no crash, and a
// question it read that fits a record goes out through the writer of the same
// format and comes back as the same record, unless the writer said it could
// not carry something.

#include "bank/BankFormats.h"

#include <cstdlib>
#include <sstream>

namespace bankfuzz {

inline std::string fittedRecord(const bank::ParsedQuestion& q)
{
    question::QuestionRecord record;
    std::vector<bank::Cut> cuts;
    if (!bank::fitQuestion(q, bank::FitOptions{}, record, cuts, nullptr))
        return {};
    record.picture = "000";
    return question::encodeRecord(record, nullptr);
}

inline void roundTrip(bank::Format format, bool cp932, const bank::ParsedQuestion& q)
{
    const std::string bytes = fittedRecord(q);
    if (bytes.empty())
        return;
    bank::WriterOptions options;
    options.cp932 = cp932;
    auto writer = bank::makeWriter(format, options);
    std::string text;
    bool lossy = false;
    writer->begin(text);
    writer->write(bank::outQuestion(1, bytes, cp932, nullptr), text, [&](const bank::Note&) { lossy = true; });
    writer->end(text);
    if (lossy)
        return;
    std::istringstream in(text);
    std::vector<std::string> back;
    bool fatal = false;
    bank::readQuestions(format, in, cp932 ? bank::Encoding::Cp932 : bank::Encoding::Utf8,
                        [&](bank::ParsedQuestion& p) { back.push_back(fittedRecord(p)); },
                        [&](const bank::Problem& p) { fatal = fatal || p.fatal; });
    if (fatal || back.size() != 1 || back.front() != bytes)
        std::abort();
}

// Reads the input as the format and checks every question read.
inline void readAndRoundTrip(bank::Format format, bank::Encoding encoding, const std::string& input)
{
    std::istringstream in(input);
    std::vector<bank::ParsedQuestion> read;
    const auto keep = [&](bank::ParsedQuestion& q) {
        if (read.size() < 64)
            read.push_back(q);
    };
    if (format == bank::Format::MoodleXml)
        bank::readMoodleXml(in, keep, [](const bank::Problem&) {});
    else
        bank::readQuestions(format, in, encoding, keep, [](const bank::Problem&) {});
    for (const bank::ParsedQuestion& q : read)
        roundTrip(format, q.cp932, q);
}

} // namespace bankfuzz
