// The test run of the main window: Start, Stop, picking and presenting a
// question, and the end of a run.

#include "testrun/CrtRandom.h"
#include "reportmail/ResultLog.h"
#include "testrun/RunArithmetic.h"
#include "dialogs/CLampStatic.h"
#include "dialogs/CTestDlg.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/SjisText.h"
#include "platform/TimerPeriods.h"
#include "questionfile/QuestionFile.h"
#include "settings/AppProfile.h"
#include "ui_CTestDlg.h"

#include <QProgressBar>

namespace {

CrtRandom& runRandom()
{
    static CrtRandom random;
    return random;
}

void setBarPosition(QProgressBar* bar, int position)
{
    // Like the platform's bar, a position outside the range is held at its ends.
    if (position < bar->minimum())
        position = bar->minimum();
    if (position > bar->maximum())
        position = bar->maximum();
    bar->setValue(position);
}

void setBarRange(QProgressBar* bar, int timeLimit)
{
    // A range of 0 to 0 would make the bar a busy indicator: show it empty.
    bar->setRange(0, timeLimit > 0 ? timeLimit : 1);
    bar->setValue(0);
}

} // namespace

void CTestDlg::OnStart()
{
    UpdateData(true);
    resultLog().clear();
    if (m_strName.empty()) {
        MessageBox::show(this, QStringLiteral("氏名を入力して下さい"), MessageBox::Icon::Stop);
        return;
    }
    // A character that code page 932 cannot hold would reach the supervisor
    // as "?": the start is refused before any mail, and the name box keeps
    // what was typed.
    const QString unencodable =
        QString::fromStdString(sjis::firstUnencodable(m_ui->nameEdit->text().toStdString()));
    if (!unencodable.isEmpty()) {
        const uint code = unencodable.toUcs4().value(0);
        MessageBox::show(this,
                         QStringLiteral("氏名の「%1」（U+%2）は、メールで送れない文字です。\n"
                                        "別の文字に置き換えてから「開始」を押してください。")
                             .arg(unencodable, QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0'))),
                         MessageBox::Icon::Stop);
        return;
    }
    m_ui->nameEdit->setEnabled(false);

    SendReportMail(1);

    const ProfileStore& profile = appProfile();
    m_strQuestionFile = profile.GetProfileStringA("QUESTION", "1", "sample0524.txt");
    const int timeLimit = profile.GetProfileIntA("TIME_LIMIT", "1", 0);
    m_nLife = profile.GetProfileIntA("LIFE", "1", 0);
    m_nRemaining = profile.GetProfileIntA("QUESTION_CNT", "1", 3);

    resultLog().writeHeader(m_strQuestionFile, m_strName, m_nRemaining, m_nLife, timeLimit);

    m_nTotal = m_nRemaining;
    m_nSeq = profile.GetProfileIntA("SEQ", "1", 0);

    m_runTimer.start(TimerPeriods::oneSecondMs());

    m_ui->startButton->setEnabled(false);
    m_ui->stopButton->setEnabled(true);
    for (int p = 1; p <= 5; ++p)
        answerButton(p)->setEnabled(true);

    m_lamp1->SetColor(255);
    m_lamp2->SetColor(255);
    m_lamp3->SetColor(255);

    m_nElapsed = 0;
    m_nAnswerPos = 0;
    m_nCorrect = 0;
    m_nAsked = 0;

    setBarRange(m_ui->timeBar, timeLimit);

    NextQuestion();
}

void CTestDlg::OnStop()
{
    FinishTest();
}

void CTestDlg::NextQuestion()
{
    question::QuestionFile file;
    if (!file.open(m_strQuestionFile)) {
        // No question can be presented: the run ends cleanly instead of
        // waiting with nothing on screen.
        m_runTimer.stop();
        MessageBox::show(this, QString::fromUtf8(question::kOpenErrorMessage), MessageBox::Icon::Stop);
        FinishTest();
        return;
    }
    const std::int64_t length = file.length();

    CrtRandom& random = runRandom();
    random.seed(static_cast<std::uint32_t>(Clock::now()));

    const int records = question::recordCountForLength(length);
    if (records <= 0) {
        file.close();
        m_runTimer.stop();
        MessageBox::show(this, QStringLiteral("問題ファイルに出題できる問題がありません"), MessageBox::Icon::Stop);
        FinishTest();
        return;
    }
    // In registration order a run longer than the file starts over at its
    // first record.
    const int index = m_nSeq != 0 ? random.next() % records : (m_nAsked >= 0 ? m_nAsked % records : 0);

    std::string bytes;
    file.readRecord(index, bytes);
    const question::RawQuestion raw = question::cutRawFields(bytes);

    m_strQuestion = raw.question;
    showPicture(raw.picture);

    // Shuffle the five answer slots into display positions 1 to 5. A record
    // without a mark has no right answer.
    m_nAnswerPos = 0;
    bool placed[question::kAnswerCount] = {false, false, false, false, false};
    std::string* texts[question::kAnswerCount] = {&m_strAnswer1, &m_strAnswer2, &m_strAnswer3, &m_strAnswer4,
                                                  &m_strAnswer5};
    for (int position = 1; position <= question::kAnswerCount; ++position) {
        int slot = random.next() % question::kAnswerCount;
        while (placed[slot])
            slot = random.next() % question::kAnswerCount;
        placed[slot] = true;
        *texts[position - 1] = raw.answers[static_cast<std::size_t>(slot)];
        if (raw.marks[static_cast<std::size_t>(slot)] == '*')
            m_nAnswerPos = position;
    }

    setBarPosition(m_ui->timeBar, 0);
    m_strProgress = std::to_string(static_cast<long long>(m_nAsked) + 1) + "/" + std::to_string(m_nTotal);
    UpdateData(false);
    file.close();
}

void CTestDlg::FinishTest()
{
    m_runTimer.stop();
    setBarPosition(m_ui->timeBar, 0);
    m_nLife = appProfile().GetProfileIntA("LIFE", "1", 0);
    MessageBox::show(this, QStringLiteral("終了!!"), MessageBox::Icon::Information);

    m_ui->startButton->setEnabled(true);
    m_ui->stopButton->setEnabled(false);
    for (int p = 1; p <= 5; ++p)
        answerButton(p)->setEnabled(false);
    m_ui->nameEdit->setEnabled(true);

    showPicture("000");
}
