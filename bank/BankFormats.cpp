#include "BankFormats.h"

namespace bank {

std::unique_ptr<BankWriter> makeCsvWriter(bool cp932);
std::unique_ptr<BankWriter> makeAikenWriter();
std::unique_ptr<BankWriter> makeGiftWriter();
std::unique_ptr<BankWriter> makeMoodleXmlWriter();
std::unique_ptr<BankWriter> makeHtmlWriter(const WriterOptions& options);

namespace {
const struct {
    Format format;
    const char* name;
} kNames[] = {
    {Format::Csv, "csv"}, {Format::Aiken, "aiken"}, {Format::Gift, "gift"}, {Format::MoodleXml, "moodle-xml"},
    {Format::Html, "html"},
};
} // namespace

std::optional<Format> formatFromName(std::string_view name)
{
    for (const auto& n : kNames)
        if (name == n.name)
            return n.format;
    return std::nullopt;
}

const char* formatName(Format format)
{
    for (const auto& n : kNames)
        if (n.format == format)
            return n.name;
    return "";
}

std::unique_ptr<BankWriter> makeWriter(Format format, const WriterOptions& options)
{
    switch (format) {
    case Format::Csv:
        return makeCsvWriter(options.cp932);
    case Format::Aiken:
        return makeAikenWriter();
    case Format::Gift:
        return makeGiftWriter();
    case Format::MoodleXml:
        return makeMoodleXmlWriter();
    case Format::Html:
        return makeHtmlWriter(options);
    }
    return nullptr;
}

bool endedInError(const LineReader& lines, const ProblemSink& problem)
{
    if (!lines.tooLong() && !lines.failed())
        return false;
    problem(Problem{lines.line(), lines.tooLong() ? Problem::Kind::LineTooLong : Problem::Kind::ReadFailed, {}, true});
    return true;
}

void readQuestions(Format format, std::istream& in, Encoding encoding, const QuestionSink& question,
                   const ProblemSink& problem)
{
    if (format == Format::MoodleXml) {
        readMoodleXml(in, question, problem);
        return;
    }
    if (format == Format::Html)
        return;
    const Sniffed s = sniffEncoding(in, encoding);
    // The advice of some problems is a spreadsheet's.
    const std::string name = formatName(format);
    switch (s.kind) {
    case Sniffed::Kind::Binary:
        problem(Problem{s.line, Problem::Kind::NotText, name, true});
        return;
    case Sniffed::Kind::Utf16:
        problem(Problem{1, Problem::Kind::Utf16, name, true});
        return;
    case Sniffed::Kind::EucJp:
        problem(Problem{0, Problem::Kind::EucJp, {}, true});
        return;
    case Sniffed::Kind::CutShort:
        problem(Problem{s.line, Problem::Kind::CutShort, {}, true});
        return;
    case Sniffed::Kind::Invalid:
        problem(Problem{s.line, Problem::Kind::BadEncoding,
                        encoding == Encoding::Utf8 || s.bom ? "utf-8" : encoding == Encoding::Cp932 ? "cp932" : "",
                        true});
        return;
    case Sniffed::Kind::Utf8:
    case Sniffed::Kind::Cp932:
        break;
    }
    const Encoding found = s.kind == Sniffed::Kind::Cp932 ? Encoding::Cp932 : Encoding::Utf8;
    switch (format) {
    case Format::Csv:
        readCsv(in, found, question, problem);
        break;
    case Format::Aiken:
        readAiken(in, found, question, problem);
        break;
    case Format::Gift:
        readGift(in, found, question, problem);
        break;
    default:
        break;
    }
}

} // namespace bank
