// Aiken: the question on one line, the choices on the lines after it ("A. "
// or "A) " and the text), then "ANSWER: " and the letter of the right one.
// Questions are separated by a blank line.

#include "BankFormats.h"

namespace bank {

namespace {

constexpr char kLetters[] = "ABCDE";

bool hasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

// One line of text: line breaks become spaces.
std::string oneLine(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')
            continue;
        out += (s[i] == '\r' || s[i] == '\n') ? ' ' : s[i];
    }
    return out;
}

class AikenWriter : public BankWriter {
public:
    bool write(const OutQuestion& q, std::string& out, const NoteSink& note) override
    {
        if (q.correct < 1) {
            note(Note{q.number, Note::Kind::NoCorrectAnswer, {}});
            return false;
        }
        const auto text = [&](std::string_view s, const std::string& field) {
            if (hasLineBreak(s))
                note(Note{q.number, Note::Kind::LineBreak, field});
            if (s.empty())
                note(Note{q.number, Note::Kind::EmptyText, field});
            else if (isSpace(s.front()) || isSpace(s.back()))
                note(Note{q.number, Note::Kind::EdgeSpaces, field});
            return oneLine(s);
        };
        if (q.picture != "000" && !q.picture.empty())
            note(Note{q.number, Note::Kind::PictureNotCarried, q.picture});
        out += text(q.question, "question");
        out += '\n';
        for (std::size_t i = 0; i < q.answers.size(); ++i) {
            out += kLetters[i];
            out += ". ";
            out += text(q.answers[i], "answer" + std::to_string(i + 1));
            out += '\n';
        }
        out += "ANSWER: ";
        out += kLetters[q.correct - 1];
        out += "\n\n";
        return true;
    }
};

// "A. text", "A) text": the letter's index and the text; -1 when the line is
// no choice.
int choiceOf(std::string_view line, std::string& text)
{
    if (line.size() < 2 || line[0] < 'A' || line[0] > 'Z' || (line[1] != '.' && line[1] != ')'))
        return -1;
    if (line.size() > 2 && !isSpace(line[2]))
        return -1;
    text = std::string(line.substr(line.size() > 2 ? 3 : 2));
    return line[0] - 'A';
}

bool answerLetter(std::string_view line, std::string& letter)
{
    if (line.substr(0, 7) != "ANSWER:")
        return false;
    line.remove_prefix(7);
    while (!line.empty() && isSpace(line.front()))
        line.remove_prefix(1);
    letter = std::string(line);
    return true;
}

std::string_view trimRight(std::string_view s)
{
    while (!s.empty() && (isSpace(s.back()) || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::unique_ptr<BankWriter> makeAikenWriter()
{
    return std::make_unique<AikenWriter>();
}

void readAiken(std::istream& in, Encoding encoding, const QuestionSink& question, const ProblemSink& problem)
{
    LineReader lines(in, encoding, kMaxLineBytes);
    std::string raw;
    ParsedQuestion q;
    std::vector<int> letters; // letter index of each choice
    bool open = false;        // a question has begun and has no ANSWER yet
    bool broken = false;      // ... and a line of it made no sense

    const auto abandon = [&] {
        if (open && !broken)
            problem(Problem{q.line, Problem::Kind::AikenNoAnswerLine, {}, false});
        open = false;
        broken = false;
    };

    while (lines.next(raw)) {
        const std::string_view line = trimRight(raw);
        if (line.empty()) {
            if (open && !q.answers.empty())
                abandon();
            continue;
        }
        if (!open) {
            q = ParsedQuestion();
            letters.clear();
            q.line = lines.line();
            q.question = std::string(line);
            open = true;
            continue;
        }
        std::string text;
        std::string letter;
        const int choice = choiceOf(line, text);
        if (choice >= 0) {
            q.answers.push_back(text);
            q.answerLines.push_back(lines.line());
            letters.push_back(choice);
            continue;
        }
        if (answerLetter(line, letter)) {
            q.correctLine = lines.line();
            if (!broken) {
                int found = -1;
                for (std::size_t i = 0; i < letters.size(); ++i)
                    if (letter.size() == 1 && letters[i] == letter[0] - 'A')
                        found = static_cast<int>(i);
                if (found < 0)
                    problem(Problem{lines.line(), Problem::Kind::AikenBadAnswer, letter, false});
                else {
                    q.right.push_back(found);
                    question(q);
                }
            }
            open = false;
            broken = false;
            continue;
        }
        if (!broken)
            problem(Problem{lines.line(), Problem::Kind::AikenStrayLine, {}, false});
        broken = true;
    }
    if (endedInError(lines, problem))
        return;
    abandon();
}

} // namespace bank
