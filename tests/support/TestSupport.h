#pragma once
// Helpers shared by the tests: answering message boxes and file dialogs,
// recording sounds, temporary folders with files, a settings file of the
// test's own.

#include "core/ShiftJis.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "questionfile/QuestionRecord.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Shift-JIS bytes of a UTF-8 text.
inline std::string sj(const char* utf8)
{
    return sjis::fromUtf8(utf8);
}

// Answers every message box while alive and records what it showed. Yes/No
// questions take the queued answers in order, then `fallback`.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(MessageBox::Answer fallback = MessageBox::Answer::Yes);
    ~MessageBoxRecorder();

    void queue(MessageBox::Answer answer) { m_answers.push_back(answer); }
    // Runs fn whenever a box is shown (before it is answered).
    void onShow(std::function<void(const MessageBox::Shown&)> fn) { m_onShow = std::move(fn); }

    const QList<MessageBox::Shown>& shown() const { return m_shown; }
    QStringList texts() const;
    int count() const { return m_shown.size(); }
    void clear() { m_shown.clear(); }

private:
    QList<MessageBox::Shown> m_shown;
    std::deque<MessageBox::Answer> m_answers;
    MessageBox::Answer m_fallback;
    std::function<void(const MessageBox::Shown&)> m_onShow;
};

// Answers file dialogs with queued paths (an empty path is a cancel).
class FileDialogStub {
public:
    FileDialogStub();
    ~FileDialogStub();
    void queue(const QString& path) { m_paths.push_back(path); }
    const QList<FileDialog::Request>& requests() const { return m_requests; }

private:
    std::deque<QString> m_paths;
    QList<FileDialog::Request> m_requests;
};

// Records the sounds played instead of playing them.
class SoundRecorder {
public:
    SoundRecorder();
    ~SoundRecorder();
    const std::vector<int>& played() const { return m_played; }

private:
    std::vector<int> m_played;
};

// A temporary folder that the settings store (Parameter.INI) and the current
// directory point into while alive.
class TestFolder {
public:
    explicit TestFolder(bool chdirInto = true);
    ~TestFolder();

    std::filesystem::path path() const;
    std::filesystem::path file(const std::string& name) const { return path() / name; }
    std::filesystem::path iniPath() const { return file("Parameter.INI"); }

    void writeFile(const std::string& name, const std::string& bytes) const;
    std::string readFile(const std::string& name) const;
    bool exists(const std::string& name) const;

    // Writes Parameter.INI from UTF-8 text (converted to Shift-JIS, LF to CR LF).
    void writeIni(const char* utf8) const;
    std::string ini() const { return readFile("Parameter.INI"); }

    // Writes a question file of the given records.
    void writeQuestions(const std::string& name, const std::vector<question::QuestionRecord>& records) const;

private:
    QTemporaryDir m_dir;
    std::filesystem::path m_oldCwd;
    std::filesystem::path m_oldProfile;
    bool m_chdir;
};

// The unprivileged user cases run as when the tests run as root.
constexpr unsigned kNobody = 65534;

// Runs fn in a child process under another user id and group id, with no
// supplementary groups (as `setpriv --reuid --regid --clear-groups` does),
// and returns what fn returned; -1 when the child could not become that
// user. Only root can do this: callers skip their case otherwise.
int runAs(unsigned uid, unsigned gid, const std::function<int()>& fn);

// A record whose answers are "<stem>1".."<stem>5" (UTF-8 in, Shift-JIS out).
question::QuestionRecord makeQuestion(const char* questionUtf8, int correct, const char* stem = "答",
                                      const char* picture = "000");

// Writes a small 24-bit bitmap of the given size and colour.
void writeBitmap(const std::filesystem::path& path, int width, int height, unsigned rgb);

// The program and the first arguments of headless Chromium as the tests run
// it (as root, on a closed network), with a profile folder of the test's own.
QString chromiumProgram();
QStringList headlessChromium(const QString& profileFolder);
