#pragma once
// One test run, from 開始 to its end, without a window: the counters, the
// texts of the question on screen, the miss lamps, the result log and the
// mails that fall due. The window reads its controls into the run, calls the
// operation its control stands for and shows what the run tells it, in the
// order the run tells it.
//
// Texts are Shift-JIS bytes; counters are 32-bit and wrap around rather
// than overflow, as values from a hand-edited settings file may be anything.

#include "CrtRandom.h"
#include "reportmail/ReportMail.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

class ProfileStore;
class ResultLog;

namespace testrun {

constexpr int kRed = 255;
constexpr int kWhite = 0xFFFFFF;

// The answer number of a time-out.
constexpr int kTimeOut = 6;

enum class MessageIcon { Stop, Information };

// What the window shows and does for a run. The run calls these in the order
// its rules give; each returns when it is done (a message box once it was
// answered, the judge popup once it closed itself). A view that leaves one
// out shows nothing for it (the settings dialog's test mail only shows its
// outcome).
class RunView {
public:
    virtual ~RunView() = default;
    // A message box with an OK button. The text is UTF-8: it may name a
    // character that Shift-JIS cannot hold.
    virtual void showMessage(const std::string& utf8, MessageIcon icon) { (void)utf8, (void)icon; }
    virtual void setNameBoxEnabled(bool enabled) { (void)enabled; }
    // 開始 off, 停止 and the five answer buttons on; or the other way round.
    virtual void setRunControls(bool running) { (void)running; }
    virtual void startRunTimer() {}
    virtual void stopRunTimer() {}
    // lamp 1 to 3; colour with red in the low byte.
    virtual void setLampColor(int lamp, int colour) { (void)lamp, (void)colour; }
    virtual void setBarRange(int timeLimit) { (void)timeLimit; }
    virtual void setBarPosition(int position) { (void)position; }
    virtual void showPicture(const std::string& pictureNumber) { (void)pictureNumber; }
    // The question, its answers, the progress text and the name go into
    // their controls.
    virtual void showQuestion() {}
    // 1 right, 2 wrong; only asked for while the sound switch is on.
    virtual void playSound(int kind) { (void)kind; }
    // The judge popup with its two Shift-JIS texts, shown until it closes
    // itself.
    virtual void showJudgePopup(const std::string& verdict, const std::string& notice) { (void)verdict, (void)notice; }
};

// The question file a run reads, one question at a time.
class QuestionSource {
public:
    virtual ~QuestionSource() = default;
    // False when the file cannot be opened for reading and writing.
    virtual bool open(const std::string& storedName) = 0;
    virtual std::int64_t length() = 0;
    // The 500 bytes of the record at index (0-based).
    virtual std::string readRecord(int index) = 0;
    virtual void close() = 0;
};

// The question files on disk.
std::unique_ptr<QuestionSource> questionFiles();

// What a run is given from outside.
struct RunSeams {
    ProfileStore* profile = nullptr; // read where the rules read it, never cached
    ResultLog* log = nullptr;        // the program's one result log
    std::unique_ptr<QuestionSource> questions;
    std::function<std::time_t()> clock;                        // seeds the order
    std::function<bool(const mail::ComposedMail&)> sendMail; // true when the mail went out
};

class TestRun {
public:
    TestRun(RunView& view, RunSeams seams);

    // Another view from now on (a window that goes away leaves one that
    // shows only messages).
    void setView(RunView& view) { m_view = &view; }

    // 開始: the window has read its controls into the members (the name
    // into m_strName, and what of it Shift-JIS could not hold into
    // m_strNameLost).
    void OnStart();
    // 停止.
    void OnStop();
    void NextQuestion();
    void FinishTest();

    // Answer button k (1 to 5).
    void OnAnswer(int answer);
    // A tick of a one-second timer; only id 1, the run timer, counts.
    void OnTimer(int timerId);
    // 0 for a right answer, 1 for a wrong one or a time-out (answer 6).
    int JudgeAnswer(int answer);
    void PlayJudgeSound(int soundSwitch, int kind);
    void UpdateMissLamps();
    void AppendResultLine(int result);

    // 0 test mail, 1 start mail, 2 result mail.
    void SendReportMail(int kind);

    bool isRunning() const { return m_running; }
    int lampColor(int lamp) const { return m_lampColors.at(static_cast<std::size_t>(lamp - 1)); }
    int barPosition() const { return m_barPosition; }
    int barRange() const { return m_barRange; }
    const std::string& answer(int position) const;

    // The run's members, as the window shows them.
    std::string m_strName;
    // The first character of the typed name that Shift-JIS cannot hold
    // (UTF-8), or empty: such a name would reach the supervisor with "?".
    std::string m_strNameLost;
    std::string m_strQuestionFile;
    int m_nSeq = 0;
    int m_nTotal = 0;
    int m_nRemaining = 0;
    int m_nAsked = 0;
    int m_nCorrect = 0;
    int m_nLife = 0;
    int m_nAnswerPos = 0;
    int m_nElapsed = 0;
    int m_nSound = 0;
    int m_nMail = 0;
    std::string m_strQuestion;
    std::string m_strAnswer1;
    std::string m_strAnswer2;
    std::string m_strAnswer3;
    std::string m_strAnswer4;
    std::string m_strAnswer5;
    std::string m_strProgress;
    // The picture number of the question on screen ("000" while idle).
    std::string m_strPicture = "000";

private:
    // Ends a run whose question could not be presented.
    void stopWithMessage(const char* utf8);
    void setBarPosition(int position);
    void setLamp(int lamp, int colour);

    RunView* m_view;
    RunSeams m_seams;
    CrtRandom m_random;
    bool m_running = false;
    int m_barRange = 0;
    int m_barPosition = 0;
    std::array<int, 3> m_lampColors{};
};

} // namespace testrun
