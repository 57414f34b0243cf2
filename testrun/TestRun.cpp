#include "TestRun.h"

#include "RunArithmetic.h"
#include "core/ShiftJis.h"
#include "core/Utf8.h"
#include "questionfile/QuestionFile.h"
#include "reportmail/ResultLog.h"
#include "settings/ProfileStore.h"

#include <cstdio>
#include <utility>

namespace testrun {
namespace {

class FileQuestionSource : public QuestionSource {
public:
    bool open(const std::string& storedName) override { return m_file.open(storedName); }
    std::int64_t length() override { return m_file.length(); }
    std::string readRecord(int index) override
    {
        std::string bytes;
        m_file.readRecord(index, bytes);
        return bytes;
    }
    void close() override { m_file.close(); }

private:
    question::QuestionFile m_file;
};

// "氏名の「𠮷」（U+20BB7）は、メールで送れない文字です。…"
std::string nameRefusal(const std::string& character)
{
    std::size_t length = 0;
    const char32_t code = character.empty() ? 0 : utf8::decode(character, 0, length);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(code));
    return "氏名の「" + character + "」（U+" + hex +
           "）は、メールで送れない文字です。\n別の文字に置き換えてから「開始」を押してください。";
}

} // namespace

std::unique_ptr<QuestionSource> questionFiles()
{
    return std::make_unique<FileQuestionSource>();
}

TestRun::TestRun(RunView& view, RunSeams seams) : m_view(&view), m_seams(std::move(seams))
{
    m_lampColors.fill(-1); // the window's own colour until the first Start
}

const std::string& TestRun::answer(int position) const
{
    switch (position) {
    case 1:
        return m_strAnswer1;
    case 2:
        return m_strAnswer2;
    case 3:
        return m_strAnswer3;
    case 4:
        return m_strAnswer4;
    default:
        return m_strAnswer5;
    }
}

void TestRun::OnStart()
{
    m_seams.log->clear();
    if (m_strName.empty()) {
        m_view->showMessage("氏名を入力して下さい", MessageIcon::Stop);
        return;
    }
    if (!m_strNameLost.empty()) {
        m_view->showMessage(nameRefusal(m_strNameLost), MessageIcon::Stop);
        return;
    }
    m_view->setNameBoxEnabled(false);

    SendReportMail(mail::kStartMail);

    const ProfileStore& profile = *m_seams.profile;
    m_strQuestionFile = profile.GetProfileStringA("QUESTION", "1", "sample0524.txt");
    const int timeLimit = profile.GetProfileIntA("TIME_LIMIT", "1", 0);
    m_nLife = profile.GetProfileIntA("LIFE", "1", 0);
    m_nRemaining = profile.GetProfileIntA("QUESTION_CNT", "1", 3);

    m_seams.log->writeHeader(m_strQuestionFile, m_strName, m_nRemaining, m_nLife, timeLimit);

    m_nTotal = m_nRemaining;
    m_nSeq = profile.GetProfileIntA("SEQ", "1", 0);

    m_running = true;
    m_view->startRunTimer();
    m_view->setRunControls(true);

    for (int lamp = 1; lamp <= 3; ++lamp)
        setLamp(lamp, kRed);

    m_nElapsed = 0;
    m_nAnswerPos = 0;
    m_nCorrect = 0;
    m_nAsked = 0;

    m_barRange = timeLimit;
    m_barPosition = 0;
    m_view->setBarRange(timeLimit);

    NextQuestion();
}

void TestRun::OnStop()
{
    FinishTest();
}

void TestRun::NextQuestion()
{
    QuestionSource& file = *m_seams.questions;
    if (!file.open(m_strQuestionFile)) {
        stopWithMessage(question::kOpenErrorMessage);
        return;
    }
    const std::int64_t length = file.length();

    m_random.seed(static_cast<std::uint32_t>(m_seams.clock()));

    const int records = question::recordCountForLength(length);
    if (records <= 0) {
        file.close();
        stopWithMessage("問題ファイルに出題できる問題がありません");
        return;
    }
    // In registration order a run longer than the file starts over at its
    // first record.
    const int index = m_nSeq != 0 ? m_random.next() % records : (m_nAsked >= 0 ? m_nAsked % records : 0);

    const question::RawQuestion raw = question::cutRawFields(file.readRecord(index));

    m_strQuestion = raw.question;
    m_strPicture = raw.picture;
    m_view->showPicture(m_strPicture);

    // Shuffle the five answer slots into display positions 1 to 5. A record
    // without a mark has no right answer.
    m_nAnswerPos = 0;
    bool placed[question::kAnswerCount] = {false, false, false, false, false};
    std::string* texts[question::kAnswerCount] = {&m_strAnswer1, &m_strAnswer2, &m_strAnswer3, &m_strAnswer4,
                                                  &m_strAnswer5};
    for (int position = 1; position <= question::kAnswerCount; ++position) {
        int slot = m_random.next() % question::kAnswerCount;
        while (placed[slot])
            slot = m_random.next() % question::kAnswerCount;
        placed[slot] = true;
        *texts[position - 1] = raw.answers[static_cast<std::size_t>(slot)];
        if (raw.marks[static_cast<std::size_t>(slot)] == '*')
            m_nAnswerPos = position;
    }

    setBarPosition(0);
    m_strProgress = std::to_string(static_cast<long long>(m_nAsked) + 1) + "/" + std::to_string(m_nTotal);
    m_view->showQuestion();
    file.close();
}

void TestRun::stopWithMessage(const char* utf8)
{
    // No question can be presented: the run ends cleanly instead of waiting
    // with nothing on screen.
    m_view->stopRunTimer();
    m_view->showMessage(utf8, MessageIcon::Stop);
    FinishTest();
}

void TestRun::FinishTest()
{
    m_view->stopRunTimer();
    setBarPosition(0);
    m_nLife = m_seams.profile->GetProfileIntA("LIFE", "1", 0);
    m_view->showMessage("終了!!", MessageIcon::Information);

    m_running = false;
    m_view->setRunControls(false);
    m_view->setNameBoxEnabled(true);

    m_strPicture = "000";
    m_view->showPicture(m_strPicture);
}

void TestRun::OnAnswer(int answer)
{
    AppendResultLine(JudgeAnswer(answer));
}

void TestRun::OnTimer(int timerId)
{
    if (timerId != 1)
        return;
    const int timeLimit = m_seams.profile->GetProfileIntA("TIME_LIMIT", "1", 0);
    m_nElapsed = wrappingAdd(m_nElapsed, 1);
    if (static_cast<long long>(m_nElapsed) == static_cast<long long>(timeLimit) + 1)
        AppendResultLine(JudgeAnswer(kTimeOut));
    else
        setBarPosition(m_nElapsed);
}

int TestRun::JudgeAnswer(int answer)
{
    const bool right = answer == m_nAnswerPos;
    std::string verdict;
    if (right) {
        verdict = sjis::fromUtf8("○正解");
        PlayJudgeSound(m_nSound, 1);
        m_nCorrect = wrappingAdd(m_nCorrect, 1);
    } else {
        m_nLife = wrappingAdd(m_nLife, -1);
        verdict = sjis::fromUtf8("×不正解");
        PlayJudgeSound(m_nSound, 2);
        UpdateMissLamps();
    }
    const std::string notice = sjis::fromUtf8("次の処理に移ります...");

    m_view->stopRunTimer();
    m_view->showJudgePopup(verdict, notice);
    m_view->startRunTimer();

    m_nElapsed = 0;
    setBarPosition(0);

    m_nRemaining = wrappingAdd(m_nRemaining, -1);
    m_nAsked = wrappingAdd(m_nAsked, 1);

    if (m_nLife != 0 && m_nRemaining != 0)
        NextQuestion();
    else
        FinishTest();
    return right ? 0 : 1;
}

void TestRun::PlayJudgeSound(int soundSwitch, int kind)
{
    if (soundSwitch != 1)
        return;
    if (kind == 1 || kind == 2)
        m_view->playSound(kind);
}

void TestRun::UpdateMissLamps()
{
    switch (m_nLife) {
    case 2:
        setLamp(3, kWhite);
        break;
    case 1:
        setLamp(2, kWhite);
        break;
    case 0:
        setLamp(1, kWhite);
        break;
    default:
        break;
    }
}

void TestRun::AppendResultLine(int result)
{
    m_seams.log->appendResultLine(m_nAsked, result);
    if (m_nMail == 1 && m_nRemaining == 0)
        SendReportMail(mail::kResultMail);
}

void TestRun::SendReportMail(int kind)
{
    const mail::ComposedMail composed =
        mail::composeMail(kind, m_strName, m_nCorrect, m_nAsked, *m_seams.log, *m_seams.profile);
    const bool sent = m_seams.sendMail(composed);
    const std::string message = mail::outcomeMessage(kind, sent);
    if (!message.empty())
        m_view->showMessage(sjis::toUtf8(message), MessageIcon::Information);
}

void TestRun::setBarPosition(int position)
{
    m_barPosition = position;
    m_view->setBarPosition(position);
}

void TestRun::setLamp(int lamp, int colour)
{
    m_lampColors.at(static_cast<std::size_t>(lamp - 1)) = colour;
    m_view->setLampColor(lamp, colour);
}

} // namespace testrun
