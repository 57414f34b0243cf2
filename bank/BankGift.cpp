// GIFT: "::title:: question text {=right ~wrong ~wrong}", questions separated
// by blank lines, "//" comment lines, and a backslash before any of
// ~ = # { } : that stands for itself ("\n" is a line break).

#include "BankFormats.h"

#include <charconv>

namespace bank {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string escaped(std::string_view s)
{
    std::string out;
    out.reserve(s.size() + 8);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        switch (c) {
        case '~':
        case '=':
        case '#':
        case '{':
        case '}':
        case ':':
        case '\\':
            out += '\\';
            out += c;
            break;
        case '\r':
            if (i + 1 < s.size() && s[i + 1] == '\n')
                ++i;
            out += "\\n";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Whether Moodle would show the text otherwise than as it stands: a text
// without a format marker is Moodle's own format (HTML with line breaks),
// and a leading "[" or, in an answer, "%" would be read as a marker or a
// weight. Such texts go out marked [plain], which Moodle shows literally.
bool needsPlain(std::string_view s, bool answer)
{
    if (s.empty())
        return false;
    if (s.front() == '[' || (answer && s.front() == '%') || s.find_first_of("<&") != std::string_view::npos)
        return true;
    return moodleAutoToText(s) != s;
}

class GiftWriter : public BankWriter {
public:
    bool write(const OutQuestion& q, std::string& out, const NoteSink& note) override
    {
        if (q.correct < 1) {
            note(Note{q.number, Note::Kind::NoCorrectAnswer, {}});
            return false;
        }
        const auto text = [&](std::string_view s, const std::string& field) {
            if (s.empty())
                note(Note{q.number, Note::Kind::EmptyText, field});
            else if (isSpace(s.front()) || isSpace(s.back()))
                note(Note{q.number, Note::Kind::EdgeSpaces, field});
            if (s.find('\r') != std::string_view::npos)
                note(Note{q.number, Note::Kind::CarriageReturn, field});
            return (needsPlain(s, field != "question") ? "[plain]" : "") + escaped(s);
        };
        out += "// " + metadataComment(q) + "\n";
        out += "::" + std::to_string(q.number) + "::" + text(q.question, "question") + " {\n";
        for (std::size_t i = 0; i < q.answers.size(); ++i) {
            out += static_cast<int>(i) + 1 == q.correct ? '=' : '~';
            out += text(q.answers[i], "answer" + std::to_string(i + 1));
            out += '\n';
        }
        out += "}\n\n";
        return true;
    }
};

// Position of the first of `chars` at or after `from` that no backslash
// escapes, or npos.
std::size_t findUnescaped(std::string_view s, std::string_view chars, std::size_t from = 0)
{
    for (std::size_t i = from; i < s.size(); ++i) {
        if (s[i] == '\\') {
            ++i;
            continue;
        }
        if (chars.find(s[i]) != std::string_view::npos)
            return i;
    }
    return std::string_view::npos;
}

std::size_t findUnescapedPair(std::string_view s, std::string_view pair, std::size_t from)
{
    for (std::size_t i = from; i + 1 < s.size(); ++i) {
        if (s[i] == '\\') {
            ++i;
            continue;
        }
        if (s.substr(i, 2) == pair)
            return i;
    }
    return std::string_view::npos;
}

std::string unescaped(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char n = s[i + 1];
            if (n == 'n') {
                out += '\n';
                ++i;
                continue;
            }
            if (std::string_view("~=#{}:\\").find(n) != std::string_view::npos) {
                out += n;
                ++i;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

enum class TextFormat { Moodle, Html, Plain, Markdown };

// A format marker at the start of a text, as Moodle takes it: "[html]",
// "[moodle]", "[plain]" or "[markdown]"; any other text in brackets is text.
TextFormat takeFormat(std::string_view& s, TextFormat fallback)
{
    static const struct {
        std::string_view marker;
        TextFormat format;
    } kFormats[] = {{"[html]", TextFormat::Html},
                    {"[moodle]", TextFormat::Moodle},
                    {"[plain]", TextFormat::Plain},
                    {"[markdown]", TextFormat::Markdown}};
    for (const auto& f : kFormats) {
        if (s.substr(0, f.marker.size()) == f.marker) {
            s.remove_prefix(f.marker.size());
            return f.format;
        }
    }
    return fallback;
}

// The text as Moodle shows it, from its raw (escaped) form in the file.
std::string finalText(std::string_view raw, TextFormat fallback, HtmlText* html, TextFormat* used = nullptr)
{
    std::string_view s = trimmed(raw);
    const TextFormat format = takeFormat(s, fallback);
    if (used)
        *used = format;
    const std::string text = unescaped(trimmed(s));
    switch (format) {
    case TextFormat::Html:
        return htmlToText(text, html);
    case TextFormat::Moodle:
        return moodleAutoToText(text, html);
    case TextFormat::Plain:
    case TextFormat::Markdown:
        break;
    }
    return std::string(trimmed(text));
}

struct Block {
    std::string text;       // the lines joined with LF
    std::vector<int> lines; // the file's line number of each of them
    std::string picture, mark;
    int start = 0;
};

// The file's line of an offset in a block.
int lineOf(const Block& b, std::size_t offset)
{
    const int index = lineAt(b.text, offset) - 1;
    return index >= 0 && static_cast<std::size_t>(index) < b.lines.size() ? b.lines[static_cast<std::size_t>(index)]
                                                                          : b.start;
}

// What the HTML of a text held that a record cannot: warnings.
void warnAbout(const HtmlText& html, const std::string& field, int line, ParsedQuestion& q)
{
    for (const std::string& m : html.markup)
        q.warnings.push_back(Problem{line, Problem::Kind::MarkupLost, field + ":" + m, false, true});
    for (const std::string& m : html.media)
        q.warnings.push_back(Problem{line, Problem::Kind::MediaLeftOut, m, false, true});
}

void warnMarkdown(TextFormat format, std::string_view text, const std::string& field, int line, ParsedQuestion& q)
{
    if (format == TextFormat::Markdown && text.find_first_of("*_`#[]<>\\") != std::string_view::npos)
        q.warnings.push_back(Problem{line, Problem::Kind::MarkupLost, field + ":markdown", false, true});
}

// One question, classified as Moodle classifies it.
void parseBlock(const Block& b, const QuestionSink& question, const ProblemSink& problem)
{
    std::string_view s = b.text;
    std::size_t offset = 0;
    // The name.
    const std::size_t lead = s.find_first_not_of(" \t\n");
    if (lead != std::string_view::npos && s.substr(lead, 2) == "::") {
        const std::size_t close = findUnescapedPair(s, "::", lead + 2);
        if (close != std::string_view::npos) {
            offset = close + 2;
            s.remove_prefix(offset);
        }
    }
    const std::size_t open = findUnescaped(s, "{");
    const std::size_t close = findUnescaped(s, "}");
    if (open == std::string_view::npos && close == std::string_view::npos) {
        problem(Problem{b.start, Problem::Kind::NotMultipleChoice, "description", false});
        return;
    }
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        problem(Problem{lineOf(b, offset + (open == std::string_view::npos ? close : open)),
                        Problem::Kind::GiftUnclosed, {}, false});
        return;
    }
    std::string_view body = trimmed(s.substr(open + 1, close - open - 1));
    const std::size_t bodyOffset = offset + static_cast<std::size_t>(body.data() - s.data());

    // General feedback after the last "####" is no answer.
    for (std::size_t at = findUnescapedPair(body, "##", 0), last = std::string_view::npos;;) {
        if (at == std::string_view::npos || body.substr(at, 4) != "####") {
            if (last != std::string_view::npos)
                body = trimmed(body.substr(0, last));
            break;
        }
        last = at;
        at = findUnescapedPair(body, "##", at + 4);
    }

    const char* other = nullptr;
    if (body.empty())
        other = "essay";
    else if (body.front() == '#')
        other = "numerical";
    else if (findUnescaped(body, "~") == std::string_view::npos) {
        // No "~": matching, true/false or short answer, never multiple choice.
        const std::size_t hash = findUnescaped(body, "#");
        const std::string_view tf = trimmed(body.substr(0, hash));
        if (findUnescaped(body, "=") != std::string_view::npos && findUnescapedPair(body, "->", 0) != std::string_view::npos)
            other = "matching";
        else if (tf == "T" || tf == "F" || tf == "TRUE" || tf == "FALSE")
            other = "true/false";
        else
            other = "short answer";
    }
    if (other) {
        problem(Problem{b.start, Problem::Kind::NotMultipleChoice, other, false});
        return;
    }

    ParsedQuestion q;
    q.line = b.start;
    q.picture = b.picture;
    q.mark = b.mark;
    q.markLine = b.start;
    q.pictureLine = b.start;

    // The question text, a blank where the answers stood inside it.
    const std::string_view after = trimmed(s.substr(close + 1));
    std::string raw(s.substr(0, open));
    if (!after.empty()) {
        raw += "_____";
        raw += s.substr(close + 1);
    }
    HtmlText html;
    TextFormat questionFormat = TextFormat::Moodle;
    {
        std::string_view t = trimmed(raw);
        questionFormat = takeFormat(t, TextFormat::Moodle);
    }
    q.question = finalText(raw, TextFormat::Moodle, &html);
    warnAbout(html, "question", b.start, q);
    warnMarkdown(questionFormat, raw, "question", b.start, q);
    if (!html.images.empty()) {
        // The first picture of the text is the question's; a file name is
        // looked for beside the file (or in --pictures).
        q.picture = html.images.front();
        if (html.images.size() > 1)
            q.warnings.push_back(Problem{b.start, Problem::Kind::MediaLeftOut,
                                         "pictures:" + std::to_string(html.images.size()), false, true});
    }
    bool tooDeep = html.tooDeep;

    std::size_t at = findUnescaped(body, "=~");
    if (at != 0) // text before the first answer marker is an answer of no weight
        at = 0;
    while (at != std::string_view::npos && at < body.size()) {
        const char kind = body[at];
        const std::size_t from = kind == '=' || kind == '~' ? at + 1 : at;
        const std::size_t next = findUnescaped(body, "=~", from);
        std::string_view answer = body.substr(from, next == std::string_view::npos ? std::string_view::npos : next - from);
        at = next;
        answer = trimmed(answer);
        if (answer.empty() && kind != '=' && kind != '~')
            continue;
        // A weight "%50%" (Moodle: one or two digits, a fraction, signs).
        double weight = kind == '=' ? 100 : 0;
        if (kind != '=' && !answer.empty() && answer.front() == '%') {
            const std::size_t end = answer.find('%', 1);
            std::string_view number = end == std::string_view::npos ? std::string_view() : answer.substr(1, end - 1);
            while (!number.empty() && number.front() == '-' && number.size() > 1 && number[1] == '-')
                number.remove_prefix(1);
            double value = 0;
            const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
            if (end != std::string_view::npos && parsed.ec == std::errc() && parsed.ptr == number.data() + number.size()) {
                weight = value;
                answer.remove_prefix(end + 1);
            }
        }
        // Feedback after "#" is not kept.
        const std::size_t feedback = findUnescaped(answer, "#");
        if (feedback != std::string_view::npos)
            answer = answer.substr(0, feedback);
        if (weight > 0)
            q.right.push_back(static_cast<int>(q.answers.size()));
        const int line = lineOf(b, bodyOffset + static_cast<std::size_t>(answer.data() - body.data()));
        const std::string field = "answer" + std::to_string(q.answers.size() + 1);
        HtmlText answerHtml;
        TextFormat used = questionFormat;
        q.answers.push_back(finalText(answer, questionFormat, &answerHtml, &used));
        q.answerLines.push_back(line);
        warnAbout(answerHtml, field, line, q);
        warnMarkdown(used, answer, field, line, q);
        if (!answerHtml.images.empty())
            q.warnings.push_back(Problem{line, Problem::Kind::MediaLeftOut,
                                         "answer-picture:" + std::to_string(q.answers.size()), false, true});
        tooDeep = tooDeep || answerHtml.tooDeep;
    }
    if (tooDeep) {
        problem(Problem{b.start, Problem::Kind::HtmlTooDeep, {}, false});
        return;
    }
    question(q);
}

} // namespace

std::unique_ptr<BankWriter> makeGiftWriter()
{
    return std::make_unique<GiftWriter>();
}

void readGift(std::istream& in, Encoding encoding, const QuestionSink& question, const ProblemSink& problem)
{
    LineReader lines(in, encoding, kMaxLineBytes);
    std::string line;
    Block block;
    std::string picture, mark; // from a comment, for the next question
    std::size_t blockBytes = 0;
    const auto flush = [&] {
        if (!block.lines.empty())
            parseBlock(block, question, problem);
        block = Block();
        blockBytes = 0;
    };
    while (lines.next(line)) {
        const std::string_view t = trimmed(line);
        if (t.empty()) {
            flush();
            continue;
        }
        if (t.substr(0, 2) == "//") {
            std::string p, m;
            if (parseMetadataComment(t.substr(2), p, m)) {
                picture = p;
                mark = m;
            }
            continue;
        }
        if (block.lines.empty() && t.substr(0, 10) == "$CATEGORY:")
            continue;
        if (block.lines.empty()) {
            block.start = lines.line();
            block.picture = picture;
            block.mark = mark;
            picture.clear();
            mark.clear();
        } else {
            block.text += '\n';
        }
        block.text += line;
        block.lines.push_back(lines.line());
        blockBytes += line.size();
        if (blockBytes > kMaxLineBytes) {
            problem(Problem{block.start, Problem::Kind::LineTooLong, {}, true});
            return;
        }
    }
    if (endedInError(lines, problem))
        return;
    flush();
}

} // namespace bank
