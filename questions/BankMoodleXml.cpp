// Moodle XML: <quiz> with one <question type="multichoice"> per question,
// texts as HTML, the picture embedded in the question text as a <file>.

#include "BankFormats.h"

#include <QByteArray>
#include <QIODevice>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <charconv>

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

// Lets QXmlStreamReader read a std::istream in chunks.
class IStreamDevice : public QIODevice {
public:
    explicit IStreamDevice(std::istream& in) : m_in(in) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }
    bool failed() const { return m_in.bad(); }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        if (!m_in.good())
            return m_in.bad() ? -1 : 0;
        m_in.read(data, static_cast<std::streamsize>(max));
        return m_in.bad() ? -1 : static_cast<qint64>(m_in.gcount());
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::istream& m_in;
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

    void write(const OutQuestion& q, std::string& out, const NoteSink& note) override
    {
        if (q.correct < 1) {
            note(Note{q.number, Note::Kind::NoCorrectAnswer, {}});
            return;
        }
        m_device.target = &out;
        const auto html = [&](std::string_view s, const std::string& field) {
            bool changed = false;
            const std::string safe = xmlSafe(s, changed);
            if (changed)
                note(Note{q.number, Note::Kind::ControlCharacter, field});
            return qs(htmlKeepingSpaces(safe));
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

constexpr qsizetype kMaxPictureBytes = 16 * 1024 * 1024;

std::string utf8Of(const QString& s)
{
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

// The text of a <questiontext> or <answer> by its format.
std::string textOf(const QString& text, const QString& format, std::vector<std::string>* images)
{
    const std::string utf8 = utf8Of(text);
    if (format == QLatin1String("plain_text") || format == QLatin1String("markdown")) {
        std::size_t b = 0, e = utf8.size();
        while (b < e && (utf8[b] == ' ' || utf8[b] == '\n' || utf8[b] == '\r' || utf8[b] == '\t'))
            ++b;
        while (e > b && (utf8[e - 1] == ' ' || utf8[e - 1] == '\n' || utf8[e - 1] == '\r' || utf8[e - 1] == '\t'))
            --e;
        return utf8.substr(b, e - b);
    }
    return htmlToText(utf8, images);
}

struct EmbeddedFile {
    QString name;
    std::string bytes;
    bool tooLarge = false;
    bool bad = false;
};

// Reads the <file> element the reader stands on.
EmbeddedFile readFile(QXmlStreamReader& xml)
{
    EmbeddedFile f;
    f.name = xml.attributes().value(QLatin1String("name")).toString();
    const QString text = xml.readElementText();
    if (text.size() > kMaxPictureBytes * 4 / 3 + 4096) {
        f.tooLarge = true;
        return f;
    }
    const auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        f.bad = true;
        return f;
    }
    f.bytes.assign(decoded.decoded.constData(), static_cast<std::size_t>(decoded.decoded.size()));
    return f;
}

void readMultichoice(QXmlStreamReader& xml, int line, const QuestionSink& question, const ProblemSink& problem)
{
    ParsedQuestion q;
    q.line = line;
    q.markLine = line;
    q.pictureLine = line;
    std::vector<std::string> images;
    std::vector<EmbeddedFile> files;
    std::string metaPicture;
    int questionTextLine = line;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("question"))
            break;
        if (xml.isComment()) {
            std::string picture, mark;
            if (parseMetadataComment(utf8Of(xml.text().toString()), picture, mark)) {
                metaPicture = picture;
                q.mark = mark;
            }
            continue;
        }
        if (!xml.isStartElement())
            continue;
        const auto name = xml.name();
        if (name == QLatin1String("questiontext")) {
            questionTextLine = static_cast<int>(xml.lineNumber());
            const QString format = xml.attributes().value(QLatin1String("format")).toString();
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("text"))
                    q.question = textOf(xml.readElementText(QXmlStreamReader::IncludeChildElements), format, &images);
                else if (xml.name() == QLatin1String("file"))
                    files.push_back(readFile(xml));
                else
                    xml.skipCurrentElement();
            }
        } else if (name == QLatin1String("answer")) {
            const int answerLine = static_cast<int>(xml.lineNumber());
            const QString fractionText = xml.attributes().value(QLatin1String("fraction")).toString();
            const QString format = xml.attributes().value(QLatin1String("format")).toString();
            std::string text;
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("text"))
                    text = textOf(xml.readElementText(QXmlStreamReader::IncludeChildElements), format, nullptr);
                else
                    xml.skipCurrentElement();
            }
            const std::string fraction = utf8Of(fractionText);
            double value = 0;
            std::from_chars(fraction.data(), fraction.data() + fraction.size(), value);
            if (value > 0) {
                q.right.push_back(static_cast<int>(q.answers.size()));
                if (q.correctLine == 0)
                    q.correctLine = answerLine;
            }
            q.answers.push_back(std::move(text));
            q.answerLines.push_back(answerLine);
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError())
        return;

    if (images.size() > 1) {
        problem(Problem{questionTextLine, Problem::Kind::SeveralPictures, std::to_string(images.size()), false});
        return;
    }
    if (images.size() == 1) {
        const QString src = qs(images.front());
        static const QString kPluginFile = QStringLiteral("@@PLUGINFILE@@/");
        if (src.startsWith(kPluginFile)) {
            const QString wanted = QUrl::fromPercentEncoding(src.mid(kPluginFile.size()).toUtf8());
            const EmbeddedFile* found = nullptr;
            for (const EmbeddedFile& f : files)
                if (f.name == wanted || f.name == src.mid(kPluginFile.size()))
                    found = &f;
            if (!found || found->bad) {
                problem(Problem{questionTextLine, Problem::Kind::PictureMissing, utf8Of(wanted), false});
                return;
            }
            if (found->tooLarge) {
                problem(Problem{questionTextLine, Problem::Kind::PictureTooLarge, utf8Of(wanted), false});
                return;
            }
            q.embeddedName = utf8Of(found->name);
            q.embeddedData = found->bytes;
        } else if (src.startsWith(QLatin1String("data:"))) {
            const qsizetype comma = src.indexOf(QLatin1Char(','));
            const auto decoded = QByteArray::fromBase64Encoding(src.mid(comma + 1).toLatin1(),
                                                                QByteArray::AbortOnBase64DecodingErrors);
            if (comma < 0 || !src.left(comma).endsWith(QLatin1String(";base64")) || !decoded) {
                problem(Problem{questionTextLine, Problem::Kind::PictureUnreadable, "data:", false});
                return;
            }
            q.embeddedName = "data";
            q.embeddedData.assign(decoded.decoded.constData(), static_cast<std::size_t>(decoded.decoded.size()));
        } else {
            q.picture = images.front();
            q.pictureLine = questionTextLine;
        }
    } else {
        q.picture = metaPicture;
    }
    question(q);
}

} // namespace

std::unique_ptr<BankWriter> makeMoodleXmlWriter()
{
    return std::make_unique<MoodleXmlWriter>();
}

void readMoodleXml(std::istream& in, const QuestionSink& question, const ProblemSink& problem)
{
    IStreamDevice device(in);
    QXmlStreamReader xml(&device);
    bool root = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (!root) {
            root = true;
            if (xml.name() != QLatin1String("quiz")) {
                problem(Problem{static_cast<int>(xml.lineNumber()), Problem::Kind::NotQuiz, utf8Of(xml.name().toString()),
                                true});
                return;
            }
            continue;
        }
        if (xml.name() != QLatin1String("question")) {
            xml.skipCurrentElement();
            continue;
        }
        const int line = static_cast<int>(xml.lineNumber());
        const QString type = xml.attributes().value(QLatin1String("type")).toString();
        if (type == QLatin1String("category")) {
            xml.skipCurrentElement();
        } else if (type == QLatin1String("multichoice")) {
            readMultichoice(xml, line, question, problem);
        } else {
            problem(Problem{line, Problem::Kind::NotMultipleChoice, utf8Of(type), false});
            xml.skipCurrentElement();
        }
    }
    if (device.failed()) {
        problem(Problem{static_cast<int>(xml.lineNumber()), Problem::Kind::ReadFailed, {}, true});
    } else if (xml.hasError()) {
        problem(Problem{static_cast<int>(xml.lineNumber()), Problem::Kind::NotXml, utf8Of(xml.errorString()), true});
    } else if (!root) {
        problem(Problem{1, Problem::Kind::NotXml, "no element", true});
    }
}

} // namespace bank
