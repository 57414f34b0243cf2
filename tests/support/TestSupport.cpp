#include "TestSupport.h"

#include "platform/SoundPlayer.h"
#include "settings/AppProfile.h"

#include <QColor>
#include <QImage>
#include <cerrno>
#include <fstream>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

MessageBoxRecorder::MessageBoxRecorder(MessageBox::Answer fallback) : m_fallback(fallback)
{
    MessageBox::setHandler([this](const MessageBox::Shown& shown) {
        m_shown.push_back(shown);
        if (m_onShow)
            m_onShow(shown);
        if (shown.buttons == MessageBox::Buttons::Ok)
            return MessageBox::Answer::Ok;
        if (m_answers.empty())
            return m_fallback;
        const MessageBox::Answer a = m_answers.front();
        m_answers.pop_front();
        return a;
    });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    MessageBox::setHandler(nullptr);
}

QStringList MessageBoxRecorder::texts() const
{
    QStringList out;
    for (const auto& s : m_shown)
        out << s.text;
    return out;
}

FileDialogStub::FileDialogStub()
{
    FileDialog::setHandler([this](const FileDialog::Request& request) {
        m_requests.push_back(request);
        if (m_paths.empty())
            return QString();
        const QString p = m_paths.front();
        m_paths.pop_front();
        return p;
    });
}

FileDialogStub::~FileDialogStub()
{
    FileDialog::setHandler(nullptr);
}

SoundRecorder::SoundRecorder()
{
    SoundPlayer::setHandler([this](int id) { m_played.push_back(id); });
}

SoundRecorder::~SoundRecorder()
{
    SoundPlayer::setHandler(nullptr);
}

TestFolder::TestFolder(bool chdirInto) : m_oldCwd(std::filesystem::current_path()), m_chdir(chdirInto)
{
    m_oldProfile = appProfile().path();
    appProfile().setPath(iniPath());
    if (m_chdir)
        std::filesystem::current_path(path());
}

TestFolder::~TestFolder()
{
    std::error_code ec;
    std::filesystem::current_path(m_oldCwd, ec);
    appProfile().setPath(m_oldProfile);
}

std::filesystem::path TestFolder::path() const
{
    return std::filesystem::path(m_dir.path().toStdString());
}

void TestFolder::writeFile(const std::string& name, const std::string& bytes) const
{
    const auto p = file(name);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TestFolder::readFile(const std::string& name) const
{
    std::ifstream in(file(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TestFolder::exists(const std::string& name) const
{
    return std::filesystem::exists(file(name));
}

void TestFolder::writeIni(const char* utf8) const
{
    std::string text = sjis::fromUtf8(utf8);
    std::string crlf;
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    writeFile("Parameter.INI", crlf);
}

void TestFolder::writeQuestions(const std::string& name, const std::vector<question::QuestionRecord>& records) const
{
    std::string bytes;
    for (const auto& r : records)
        bytes += question::encodeRecord(r, nullptr);
    writeFile(name, bytes);
}

question::QuestionRecord makeQuestion(const char* questionUtf8, int correct, const char* stem, const char* picture)
{
    question::QuestionRecord r;
    r.picture = picture;
    r.mark = 'N';
    r.question = sjis::fromUtf8(questionUtf8);
    for (int i = 0; i < 5; ++i)
        r.answers[static_cast<std::size_t>(i)] = sjis::fromUtf8((std::string(stem) + std::to_string(i + 1)).c_str());
    r.correct = correct;
    return r;
}

void writeBitmap(const std::filesystem::path& path, int width, int height, unsigned rgb)
{
    std::filesystem::create_directories(path.parent_path());
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(QColor::fromRgb(rgb));
    image.save(QString::fromStdString(path.string()), "BMP");
}

int runAs(unsigned uid, unsigned gid, const std::function<int()>& fn)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0)
            ::_exit(255);
        ::_exit(fn() & 0xFF);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

QString chromiumProgram()
{
    return QStringLiteral("/usr/bin/chromium");
}

QStringList headlessChromium(const QString& profileFolder)
{
    return {QStringLiteral("--headless"),
            QStringLiteral("--no-sandbox"),
            QStringLiteral("--disable-gpu"),
            QStringLiteral("--disable-quic"),
            QStringLiteral("--no-first-run"),
            QStringLiteral("--disable-background-networking"),
            QStringLiteral("--disable-component-update"),
            QStringLiteral("--disable-sync"),
            QStringLiteral("--user-data-dir=") + profileFolder};
}
