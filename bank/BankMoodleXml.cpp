// Moodle XML: <quiz> with one <question type="multichoice"> per question,
// texts as HTML, the picture embedded in the question text as a <file>.

#include "BankFormats.h"

#include <QByteArray>
#include <QIODevice>
#include <QUrl>
#include <QXmlStreamWriter>

#include <libxml/parser.h>
#include <libxml/SAX2.h>

#include <charconv>
#include <cstring>
#include <filesystem>

namespace bank {

namespace {

// Hands what QXmlStreamWriter writes to the string of the moment.
class StringDevice : public QIODevice {
public:
    StringDevice() { open(QIODevice::WriteOnly); }
    std::string* target = nullptr;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (target)
            target->append(data, static_cast<std::size_t>(size));
        return size;
    }
};

QString qs(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Characters XML 1.0 cannot hold, even as references, become U+FFFD.
std::string xmlSafe(std::string_view s, bool& changed)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7F) {
            out += "\xEF\xBF\xBD";
            changed = true;
        } else {
            out += c;
        }
    }
    return out;
}

class MoodleXmlWriter : public BankWriter {
public:
    MoodleXmlWriter() : m_xml(&m_device) { m_xml.setAutoFormatting(true); }

    bool wantsPictures() const override { return true; }

    void begin(std::string& out) override
    {
        m_device.target = &out;
        m_xml.writeStartDocument();
        m_xml.writeStartElement(QStringLiteral("quiz"));
    }

    bool write(const OutQuestion& q, std::string& out, const NoteSink& note) override
    {
        if (q.correct < 1) {
            note(Note{q.number, Note::Kind::NoCorrectAnswer, {}});
            return false;
        }
        m_device.target = &out;
        const auto html = [&](std::string_view s, const std::string& field) {
            bool changed = false;
            const std::string safe = xmlSafe(s, changed);
            if (changed)
                note(Note{q.number, Note::Kind::ControlCharacter, field});
            bool folded = false;
            const QString text = qs(htmlKeepingSpaces(safe, &folded));
            if (folded)
                note(Note{q.number, Note::Kind::SpaceFolded, field});
            return text;
        };
        const auto textElement = [&](const QString& name, const QString& text, const QString& format) {
            m_xml.writeStartElement(name);
            if (!format.isEmpty())
                m_xml.writeAttribute(QStringLiteral("format"), format);
            m_xml.writeTextElement(QStringLiteral("text"), text);
            m_xml.writeEndElement();
        };
        const QString htmlFormat = QStringLiteral("html");

        m_xml.writeStartElement(QStringLiteral("question"));
        m_xml.writeAttribute(QStringLiteral("type"), QStringLiteral("multichoice"));
        m_xml.writeComment(QLatin1Char(' ') + qs(metadataComment(q)) + QLatin1Char(' '));
        textElement(QStringLiteral("name"), QString::number(q.number), {});

        QString questionHtml = QStringLiteral("<p>") + html(q.question, "question") + QStringLiteral("</p>");
        if (q.pictureFile) {
            questionHtml += QStringLiteral("<p><img src=\"@@PLUGINFILE@@/") + qs(q.pictureFile->name) +
                            QStringLiteral("\" alt=\"\" width=\"212\" height=\"150\"></p>");
        } else if (q.pictureMissing) {
            note(Note{q.number, Note::Kind::PictureMissing, q.picture});
        }
        m_xml.writeStartElement(QStringLiteral("questiontext"));
        m_xml.writeAttribute(QStringLiteral("format"), htmlFormat);
        m_xml.writeTextElement(QStringLiteral("text"), questionHtml);
        if (q.pictureFile) {
            m_xml.writeStartElement(QStringLiteral("file"));
            m_xml.writeAttribute(QStringLiteral("name"), qs(q.pictureFile->name));
            m_xml.writeAttribute(QStringLiteral("path"), QStringLiteral("/"));
            m_xml.writeAttribute(QStringLiteral("encoding"), QStringLiteral("base64"));
            const QByteArray bytes(q.pictureFile->bytes.data(), static_cast<qsizetype>(q.pictureFile->bytes.size()));
            m_xml.writeCharacters(QString::fromLatin1(bytes.toBase64()));
            m_xml.writeEndElement();
        }
        m_xml.writeEndElement();
        textElement(QStringLiteral("generalfeedback"), {}, htmlFormat);
        m_xml.writeTextElement(QStringLiteral("defaultgrade"), QStringLiteral("1"));
        m_xml.writeTextElement(QStringLiteral("penalty"), QStringLiteral("0"));
        m_xml.writeTextElement(QStringLiteral("hidden"), QStringLiteral("0"));
        m_xml.writeTextElement(QStringLiteral("single"), QStringLiteral("true"));
        m_xml.writeTextElement(QStringLiteral("shuffleanswers"), QStringLiteral("true"));
        m_xml.writeTextElement(QStringLiteral("answernumbering"), QStringLiteral("abc"));
        for (std::size_t i = 0; i < q.answers.size(); ++i) {
            const bool right = static_cast<int>(i) + 1 == q.correct;
            m_xml.writeStartElement(QStringLiteral("answer"));
            m_xml.writeAttribute(QStringLiteral("fraction"), right ? QStringLiteral("100") : QStringLiteral("0"));
            m_xml.writeAttribute(QStringLiteral("format"), htmlFormat);
            m_xml.writeTextElement(QStringLiteral("text"), html(q.answers[i], "answer" + std::to_string(i + 1)));
            textElement(QStringLiteral("feedback"), {}, htmlFormat);
            m_xml.writeEndElement();
        }
        m_xml.writeEndElement();
        return true;
    }

    void end(std::string& out) override
    {
        m_device.target = &out;
        m_xml.writeEndElement();
        m_xml.writeEndDocument();
    }

private:
    StringDevice m_device;
    QXmlStreamWriter m_xml;
};

// Longest base64 text of an embedded picture: the picture limit of an
// import, in base64 with some room for line breaks.
constexpr std::size_t kMaxPictureBytes = 16 * 1024 * 1024;
constexpr std::size_t kMaxPictureBase64 = kMaxPictureBytes / 3 * 4 + kMaxPictureBytes / 32 + 4096;

enum class TextFormat { Html, MoodleAuto, Plain, Markdown };

// Moodle's names of text formats; what it does not know it reads as its own.
TextFormat formatOf(std::string_view name, TextFormat fallback)
{
    while (!name.empty() && name.front() == ' ')
        name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    if (name.empty())
        return fallback;
    if (name == "html")
        return TextFormat::Html;
    if (name == "plain_text")
        return TextFormat::Plain;
    if (name == "markdown")
        return TextFormat::Markdown;
    return TextFormat::MoodleAuto;
}

std::string_view trimmed(std::string_view s)
{
    const auto space = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return s;
}

// The text of a <questiontext> or <answer> as Moodle shows it.
std::string textOf(std::string_view raw, TextFormat format, HtmlText* info, const std::string& field,
                   std::vector<Problem>& warnings, int line)
{
    const std::string_view text = trimmed(raw);
    switch (format) {
    case TextFormat::Plain:
        return std::string(text);
    case TextFormat::Markdown:
        if (text.find_first_of("*_`#[]<>\\") != std::string_view::npos)
            warnings.push_back(Problem{line, Problem::Kind::MarkupLost, field + ":markdown", false, true});
        return std::string(text);
    case TextFormat::MoodleAuto:
        return moodleAutoToText(text, info);
    case TextFormat::Html:
        break;
    }
    return htmlToText(text, info);
}

// A picture carried in the file, its base64 text as read.
struct EmbeddedFile {
    std::string name;
    std::string base64;
    bool tooLarge = false;
};

// Every element, text and comment of the file, one after the other, as
// libxml2's push parser hands them over: a question at a time is held,
// never the file.
class MoodleXmlReader {
public:
    MoodleXmlReader(const QuestionSink& question, const ProblemSink& problem) : m_question(question), m_problem(problem) {}

    void read(std::istream& in);

private:
    static MoodleXmlReader& self(void* ctx) { return *static_cast<MoodleXmlReader*>(ctx); }

    int line() const { return m_ctxt ? xmlSAX2GetLineNumber(m_ctxt) : 0; }
    void stop(Problem::Kind kind, std::string detail = {})
    {
        if (m_stopped)
            return;
        m_stopped = true;
        m_problem(Problem{line(), kind, std::move(detail), true});
        xmlStopParser(m_ctxt);
    }

    void start(std::string_view name, int count, const xmlChar** attributes);
    void end();
    void characters(std::string_view text);
    void comment(std::string_view text);
    void finishQuestion();

    // Where in the question the reader stands, as the names from <question> on.
    bool at(std::initializer_list<std::string_view> path) const
    {
        if (m_path.size() != m_questionDepth + path.size())
            return false;
        std::size_t i = m_questionDepth;
        for (std::string_view p : path)
            if (m_path[i++] != p)
                return false;
        return true;
    }

    const QuestionSink& m_question;
    const ProblemSink& m_problem;
    xmlParserCtxtPtr m_ctxt = nullptr;
    bool m_stopped = false;
    bool m_root = false;
    std::vector<std::string> m_path;

    // The multiple-choice question being read.
    bool m_inQuestion = false;
    std::size_t m_questionDepth = 0;
    int m_questionLine = 0;
    int m_textLine = 0;
    TextFormat m_questionFormat = TextFormat::Html;
    std::string m_questionText;
    bool m_haveQuestionText = false;
    struct Answer {
        std::string raw;
        std::string fraction;
        std::string format;
        int line = 0;
    };
    std::vector<Answer> m_answers;
    std::vector<EmbeddedFile> m_files;
    std::string m_image, m_imageBase64;
    bool m_imageTooLarge = false;
    std::string m_metaPicture, m_metaMark;
    std::string* m_capture = nullptr; // the text being read, if any
    std::size_t m_captureLimit = 0;
    bool m_captureTooLong = false;
    std::string m_tooLong; // the element whose text was too long
};

void MoodleXmlReader::start(std::string_view name, int count, const xmlChar** attributes)
{
    if (m_path.size() >= kMaxXmlDepth) {
        stop(Problem::Kind::NestedTooDeep, std::to_string(kMaxXmlDepth));
        return;
    }
    m_path.emplace_back(name);
    const auto attribute = [&](std::string_view wanted) -> std::string {
        for (int i = 0; i < count; ++i) {
            const xmlChar** a = attributes + 5 * i;
            if (std::string_view(reinterpret_cast<const char*>(a[0])) == wanted)
                return std::string(reinterpret_cast<const char*>(a[3]), static_cast<std::size_t>(a[4] - a[3]));
        }
        return {};
    };
    if (!m_root) {
        m_root = true;
        if (name != "quiz")
            stop(Problem::Kind::NotQuiz, std::string(name));
        return;
    }
    if (!m_inQuestion) {
        if (m_path.size() != 2 || name != "question")
            return;
        const std::string type = attribute("type");
        if (type == "multichoice") {
            m_inQuestion = true;
            m_questionDepth = m_path.size();
            m_questionLine = line();
            m_textLine = m_questionLine;
            m_questionFormat = TextFormat::Html;
            m_questionText.clear();
            m_haveQuestionText = false;
            m_answers.clear();
            m_files.clear();
            m_image.clear();
            m_imageBase64.clear();
            m_imageTooLarge = false;
            m_metaPicture.clear();
            m_metaMark.clear();
            m_tooLong.clear();
        } else if (type != "category") {
            m_problem(Problem{line(), Problem::Kind::NotMultipleChoice, type, false});
        }
        return;
    }
    const auto capture = [&](std::string& into, std::size_t limit) {
        into.clear();
        m_capture = &into;
        m_captureLimit = limit;
        m_captureTooLong = false;
    };
    if (at({"questiontext"})) {
        m_textLine = line();
        m_questionFormat = formatOf(attribute("format"), TextFormat::Html);
    } else if (at({"questiontext", "text"})) {
        m_haveQuestionText = true;
        capture(m_questionText, kMaxLineBytes);
    } else if (at({"questiontext", "file"})) {
        m_files.push_back(EmbeddedFile{attribute("name"), {}, false});
        capture(m_files.back().base64, kMaxPictureBase64);
    } else if (at({"image"})) {
        capture(m_image, kMaxLineBytes);
    } else if (at({"image_base64"})) {
        capture(m_imageBase64, kMaxPictureBase64);
    } else if (at({"answer"})) {
        m_answers.push_back(Answer{{}, attribute("fraction"), attribute("format"), line()});
    } else if (at({"answer", "text"})) {
        capture(m_answers.back().raw, kMaxLineBytes);
    }
}

void MoodleXmlReader::end()
{
    if (m_capture && m_captureTooLong) {
        const std::string& name = m_path.back();
        if (name == "file")
            m_files.back().tooLarge = true;
        else if (name == "image_base64")
            m_imageTooLarge = true;
        else if (m_tooLong.empty())
            m_tooLong = m_path[m_path.size() - 2] + "/" + name;
    }
    m_capture = nullptr;
    if (m_inQuestion && m_path.size() == m_questionDepth) {
        m_inQuestion = false;
        finishQuestion();
    }
    if (!m_path.empty())
        m_path.pop_back();
}

void MoodleXmlReader::characters(std::string_view text)
{
    if (!m_capture || m_captureTooLong)
        return;
    if (m_capture->size() + text.size() > m_captureLimit) {
        m_captureTooLong = true;
        m_capture->clear();
        m_capture->shrink_to_fit();
        return;
    }
    m_capture->append(text);
}

void MoodleXmlReader::comment(std::string_view text)
{
    if (m_inQuestion && m_path.size() == m_questionDepth)
        parseMetadataComment(text, m_metaPicture, m_metaMark);
}

bool decodeBase64(std::string_view text, std::string& bytes)
{
    const QByteArray latin1(text.data(), static_cast<qsizetype>(text.size()));
    const auto decoded = QByteArray::fromBase64Encoding(latin1.simplified().replace(' ', QByteArray()),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    bytes.assign(decoded.decoded.constData(), static_cast<std::size_t>(decoded.decoded.size()));
    return true;
}

std::string percentDecoded(std::string_view s)
{
    return QUrl::fromPercentEncoding(QByteArray(s.data(), static_cast<qsizetype>(s.size()))).toStdString();
}

void MoodleXmlReader::finishQuestion()
{
    if (!m_tooLong.empty()) {
        m_problem(Problem{m_questionLine, Problem::Kind::TextTooLong, m_tooLong, false});
        return;
    }
    ParsedQuestion q;
    q.line = m_questionLine;
    q.markLine = m_questionLine;
    q.pictureLine = m_textLine;
    q.mark = m_metaMark;

    HtmlText questionHtml;
    q.question = textOf(m_questionText, m_questionFormat, &questionHtml, "question", q.warnings, m_textLine);
    bool tooDeep = questionHtml.tooDeep;
    for (const std::string& m : questionHtml.markup)
        q.warnings.push_back(Problem{m_textLine, Problem::Kind::MarkupLost, "question:" + m, false, true});
    for (const std::string& m : questionHtml.media)
        q.warnings.push_back(Problem{m_textLine, Problem::Kind::MediaLeftOut, m, false, true});

    for (std::size_t i = 0; i < m_answers.size(); ++i) {
        const Answer& a = m_answers[i];
        // An answer without a format of its own takes the question text's.
        HtmlText html;
        const std::string field = "answer" + std::to_string(i + 1);
        q.answers.push_back(textOf(a.raw, formatOf(a.format, m_questionFormat), &html, field, q.warnings, a.line));
        q.answerLines.push_back(a.line);
        tooDeep = tooDeep || html.tooDeep;
        for (const std::string& m : html.markup)
            q.warnings.push_back(Problem{a.line, Problem::Kind::MarkupLost, field + ":" + m, false, true});
        for (const std::string& m : html.media)
            q.warnings.push_back(Problem{a.line, Problem::Kind::MediaLeftOut, m, false, true});
        if (!html.images.empty())
            q.warnings.push_back(Problem{a.line, Problem::Kind::MediaLeftOut, "answer-picture:" + std::to_string(i + 1),
                                         false, true});
        // " 100", "100.0", "50": any share of the grade makes an answer right.
        const std::string_view fraction = trimmed(a.fraction);
        double value = 0;
        std::from_chars(fraction.data(), fraction.data() + fraction.size(), value);
        if (value > 0) {
            q.right.push_back(static_cast<int>(i));
            if (q.correctLine == 0)
                q.correctLine = a.line;
        }
    }
    if (tooDeep) {
        m_problem(Problem{m_textLine, Problem::Kind::HtmlTooDeep, {}, false});
        return;
    }

    // The picture: the first in the question text; the older <image> and
    // <image_base64> of Moodle 1.x when the text has none.
    const std::vector<std::string>& images = questionHtml.images;
    if (images.size() > 1)
        q.warnings.push_back(Problem{m_textLine, Problem::Kind::MediaLeftOut,
                                     "pictures:" + std::to_string(images.size()), false, true});
    const auto embedded = [&](const EmbeddedFile& f, const std::string& name) {
        if (f.tooLarge) {
            m_problem(Problem{m_textLine, Problem::Kind::PictureTooLarge, name, false});
            return false;
        }
        if (!decodeBase64(f.base64, q.embeddedData) || q.embeddedData.empty()) {
            m_problem(Problem{m_textLine, Problem::Kind::PictureUnreadable, name, false});
            return false;
        }
        q.embeddedName = name;
        return true;
    };
    static constexpr std::string_view kPluginFile = "@@PLUGINFILE@@/";
    if (!images.empty()) {
        const std::string& src = images.front();
        if (src.compare(0, kPluginFile.size(), kPluginFile) == 0) {
            const std::string raw = src.substr(kPluginFile.size());
            const std::string wanted = percentDecoded(raw);
            const EmbeddedFile* found = nullptr;
            for (const EmbeddedFile& f : m_files)
                if (f.name == wanted || f.name == raw)
                    found = &f;
            if (!found) {
                m_problem(Problem{m_textLine, Problem::Kind::PictureMissing, wanted, false});
                return;
            }
            if (!embedded(*found, found->name))
                return;
        } else if (src.compare(0, 5, "data:") == 0) {
            const std::size_t comma = src.find(',');
            if (comma == std::string::npos || src.compare(comma >= 7 ? comma - 7 : 0, 7, ";base64") != 0 ||
                !decodeBase64(std::string_view(src).substr(comma + 1), q.embeddedData)) {
                m_problem(Problem{m_textLine, Problem::Kind::PictureUnreadable, "data:", false});
                return;
            }
            q.embeddedName = "data";
        } else {
            q.picture = percentDecoded(src);
        }
    } else if (!m_imageBase64.empty() || m_imageTooLarge) {
        const std::string name = std::string(trimmed(m_image)).empty() ? "image" : std::string(trimmed(m_image));
        EmbeddedFile f{name, m_imageBase64, m_imageTooLarge};
        if (!embedded(f, std::filesystem::path(name).filename().string()))
            return;
    } else if (!std::string(trimmed(m_image)).empty()) {
        q.picture = std::string(trimmed(m_image));
    } else {
        q.picture = m_metaPicture;
    }
    m_question(q);
}

void MoodleXmlReader::read(std::istream& in)
{
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = [](void* ctx, const xmlChar* name, const xmlChar*, const xmlChar*, int, const xmlChar**,
                            int count, int, const xmlChar** attributes) {
        self(ctx).start(reinterpret_cast<const char*>(name), count, attributes);
    };
    sax.endElementNs = [](void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) { self(ctx).end(); };
    sax.characters = [](void* ctx, const xmlChar* text, int size) {
        self(ctx).characters(std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)));
    };
    sax.cdataBlock = sax.characters;
    sax.comment = [](void* ctx, const xmlChar* text) { self(ctx).comment(reinterpret_cast<const char*>(text)); };
    // Moodle never writes a document type; one that declares entities is
    // read no further (no entity is ever expanded or fetched).
    sax.entityDecl = [](void* ctx, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
        self(ctx).stop(Problem::Kind::DoctypeEntities);
    };
    sax.serror = [](void*, xmlErrorPtr) {};

    initXml();
    char buffer[65536];
    in.read(buffer, 4);
    std::streamsize got = in.gcount();
    m_ctxt = xmlCreatePushParserCtxt(&sax, this, buffer, static_cast<int>(got), nullptr);
    if (!m_ctxt) {
        m_problem(Problem{0, Problem::Kind::ReadFailed, {}, true});
        return;
    }
    xmlCtxtUseOptions(m_ctxt, XML_PARSE_NONET);
    bool readFailed = false;
    while (!m_stopped && got > 0) {
        in.read(buffer, sizeof buffer);
        got = in.gcount();
        if (in.bad()) {
            readFailed = true;
            break;
        }
        if (got > 0 && xmlParseChunk(m_ctxt, buffer, static_cast<int>(got), 0) != 0)
            break;
    }
    if (!m_stopped && !readFailed)
        xmlParseChunk(m_ctxt, nullptr, 0, 1);
    if (readFailed) {
        m_problem(Problem{line(), Problem::Kind::ReadFailed, {}, true});
    } else if (!m_stopped && !m_ctxt->wellFormed) {
        const xmlError* e = xmlCtxtGetLastError(m_ctxt);
        std::string message = e && e->message ? e->message : "";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        m_problem(Problem{e && e->line > 0 ? e->line : line(), Problem::Kind::NotXml, message, true});
    } else if (!m_stopped && !m_root) {
        m_problem(Problem{1, Problem::Kind::NotXml, "no element", true});
    }
    xmlFreeDoc(m_ctxt->myDoc);
    xmlFreeParserCtxt(m_ctxt);
    m_ctxt = nullptr;
}
} // namespace

std::unique_ptr<BankWriter> makeMoodleXmlWriter()
{
    return std::make_unique<MoodleXmlWriter>();
}

void readMoodleXml(std::istream& in, const QuestionSink& question, const ProblemSink& problem)
{
    MoodleXmlReader(question, problem).read(in);
}

} // namespace bank
