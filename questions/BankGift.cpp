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

// A text that readers take for something else: a format such as "[html]"
// before it, and for an answer a weight ("%50%") or a matching pair ("->").
bool isMarkup(std::string_view s, bool answer)
{
    for (std::string_view f : {"[html]", "[moodle]", "[plain]", "[markdown]"})
        if (s.substr(0, f.size()) == f)
            return true;
    return answer && ((!s.empty() && s.front() == '%') || s.find("->") != std::string_view::npos);
}

class GiftWriter : public BankWriter {
public:
    void write(const OutQuestion& q, std::string& out, const NoteSink& note) override
    {
        if (q.correct < 1) {
            note(Note{q.number, Note::Kind::NoCorrectAnswer, {}});
            return;
        }
        const auto text = [&](std::string_view s, const std::string& field) {
            if (s.empty())
                note(Note{q.number, Note::Kind::EmptyText, field});
            else if (isSpace(s.front()) || isSpace(s.back()))
                note(Note{q.number, Note::Kind::EdgeSpaces, field});
            if (s.find('\r') != std::string_view::npos)
                note(Note{q.number, Note::Kind::CarriageReturn, field});
            if (isMarkup(s, field != "question"))
                note(Note{q.number, Note::Kind::Markup, field});
            return escaped(s);
        };
        out += "// " + metadataComment(q) + "\n";
        out += "::" + std::to_string(q.number) + "::" + text(q.question, "question") + " {\n";
        for (std::size_t i = 0; i < q.answers.size(); ++i) {
            out += static_cast<int>(i) + 1 == q.correct ? '=' : '~';
            out += text(q.answers[i], "answer" + std::to_string(i + 1));
            out += '\n';
        }
        out += "}\n\n";
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

// "[html]", "[moodle]", "[plain]", "[markdown]" at the start of a text.
std::string_view takeFormat(std::string_view& s, std::size_t& offset)
{
    std::size_t lead = 0;
    while (lead < s.size() && isSpace(s[lead]))
        ++lead;
    static const std::string_view kFormats[] = {"[html]", "[moodle]", "[plain]", "[markdown]"};
    for (std::string_view f : kFormats) {
        if (s.substr(lead, f.size()) == f) {
            s.remove_prefix(lead + f.size());
            offset += lead + f.size();
            return f;
        }
    }
    return {};
}

std::string finalText(std::string_view raw, bool html)
{
    const std::string text = unescaped(trimmed(raw));
    return html ? htmlToText(text) : std::string(trimmed(text));
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

void parseBlock(const Block& b, const QuestionSink& question, const ProblemSink& problem)
{
    std::string_view s = b.text;
    std::size_t offset = 0;
    // Title.
    const std::size_t lead = s.find_first_not_of(" \t\n");
    if (lead != std::string_view::npos && s.substr(lead, 2) == "::") {
        const std::size_t close = findUnescapedPair(s, "::", lead + 2);
        if (close != std::string_view::npos) {
            offset = close + 2;
            s.remove_prefix(offset);
        }
    }
    const bool html = takeFormat(s, offset) == "[html]";

    const std::size_t open = findUnescaped(s, "{");
    if (open == std::string_view::npos) {
        problem(Problem{b.start, Problem::Kind::NotMultipleChoice, "description", false});
        return;
    }
    const std::size_t close = findUnescaped(s, "}", open + 1);
    if (close == std::string_view::npos) {
        problem(Problem{lineOf(b, offset + open), Problem::Kind::GiftUnclosed, {}, false});
        return;
    }
    ParsedQuestion q;
    q.line = b.start;
    q.picture = b.picture;
    q.mark = b.mark;
    q.markLine = b.start;
    q.pictureLine = b.start;
    const std::string before = finalText(s.substr(0, open), html);
    const std::string after = finalText(s.substr(close + 1), html);
    q.question = after.empty() ? before : before + " _____ " + after;

    std::string_view body = s.substr(open + 1, close - open - 1);
    const std::size_t bodyOffset = offset + open + 1;
    const std::string_view inner = trimmed(body);
    if (inner.empty()) {
        problem(Problem{b.start, Problem::Kind::NotMultipleChoice, "essay", false});
        return;
    }
    if (inner.front() == '#') {
        problem(Problem{b.start, Problem::Kind::NotMultipleChoice, "numerical", false});
        return;
    }
    const std::size_t tfEnd = findUnescaped(inner, "#");
    const std::string_view tf = trimmed(inner.substr(0, tfEnd));
    if (tf == "T" || tf == "F" || tf == "TRUE" || tf == "FALSE") {
        problem(Problem{b.start, Problem::Kind::NotMultipleChoice, "true/false", false});
        return;
    }
    // General feedback ends the answers.
    const std::size_t general = findUnescapedPair(body, "##", 0);
    if (general != std::string_view::npos && body.substr(general, 4) == "####")
        body = body.substr(0, general);

    bool wrongSeen = false;
    bool matching = false;
    std::size_t at = findUnescaped(body, "=~");
    if (at == std::string_view::npos) {
        problem(Problem{b.start, Problem::Kind::NotMultipleChoice, "short answer", false});
        return;
    }
    while (at != std::string_view::npos) {
        const char kind = body[at];
        const std::size_t next = findUnescaped(body, "=~", at + 1);
        std::string_view answer = body.substr(at + 1, next == std::string_view::npos ? std::string_view::npos : next - at - 1);
        // Feedback after "#" is not kept.
        const std::size_t feedback = findUnescaped(answer, "#");
        if (feedback != std::string_view::npos)
            answer = answer.substr(0, feedback);
        if (findUnescapedPair(answer, "->", 0) != std::string_view::npos)
            matching = true;
        // A weight "%50%".
        double weight = kind == '=' ? 100 : 0;
        std::string_view rest = trimmed(answer);
        if (!rest.empty() && rest.front() == '%') {
            const std::size_t end = rest.find('%', 1);
            if (end != std::string_view::npos) {
                const std::string_view number = rest.substr(1, end - 1);
                if (std::from_chars(number.data(), number.data() + number.size(), weight).ec != std::errc())
                    weight = 0;
                rest = rest.substr(end + 1);
            }
        }
        if (kind == '~')
            wrongSeen = true;
        if (weight > 0)
            q.right.push_back(static_cast<int>(q.answers.size()));
        q.answers.push_back(finalText(rest, html));
        q.answerLines.push_back(lineOf(b, bodyOffset + at));
        at = next;
    }
    if (matching) {
        problem(Problem{b.start, Problem::Kind::NotMultipleChoice, "matching", false});
        return;
    }
    if (!wrongSeen) {
        problem(Problem{b.start, Problem::Kind::NotMultipleChoice, "short answer", false});
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
