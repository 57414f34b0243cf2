// Judging an answer, the per-question time limit, the sounds and the miss
// lamps.

#include "CJudgeDlg.h"
#include "reportmail/ResultLog.h"
#include "testrun/RunArithmetic.h"
#include "dialogs/CLampStatic.h"
#include "dialogs/CTestDlg.h"
#include "core/ShiftJis.h"
#include "platform/SoundPlayer.h"
#include "platform/TimerPeriods.h"
#include "settings/AppProfile.h"
#include "ui_CTestDlg.h"

#include <QProgressBar>

namespace {
const int kWhite = 0xFFFFFF;
}

void CTestDlg::OnAnswer1()
{
    AppendResultLine(JudgeAnswer(1));
}

void CTestDlg::OnAnswer2()
{
    AppendResultLine(JudgeAnswer(2));
}

void CTestDlg::OnAnswer3()
{
    AppendResultLine(JudgeAnswer(3));
}

void CTestDlg::OnAnswer4()
{
    AppendResultLine(JudgeAnswer(4));
}

void CTestDlg::OnAnswer5()
{
    AppendResultLine(JudgeAnswer(5));
}

void CTestDlg::OnTimer(int timerId)
{
    if (timerId != 1)
        return;
    const int timeLimit = appProfile().GetProfileIntA("TIME_LIMIT", "1", 0);
    m_nElapsed = wrappingAdd(m_nElapsed, 1);
    if (static_cast<long long>(m_nElapsed) == static_cast<long long>(timeLimit) + 1) {
        AppendResultLine(JudgeAnswer(6));
    } else {
        QProgressBar* bar = m_ui->timeBar;
        bar->setValue(qBound(bar->minimum(), m_nElapsed, bar->maximum()));
    }
}

int CTestDlg::JudgeAnswer(int answer)
{
    CJudgeDlg popup(this);
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
    popup.m_strVerdict = verdict;
    popup.m_strNotice = sjis::fromUtf8("次の処理に移ります...");

    m_runTimer.stop();
    popup.exec();
    m_runTimer.start(TimerPeriods::oneSecondMs());

    m_nElapsed = 0;
    m_ui->timeBar->setValue(0);

    m_nRemaining = wrappingAdd(m_nRemaining, -1);
    m_nAsked = wrappingAdd(m_nAsked, 1);

    if (m_nLife != 0 && m_nRemaining != 0)
        NextQuestion();
    else
        FinishTest();
    return right ? 0 : 1;
}

void CTestDlg::PlayJudgeSound(int soundSwitch, int kind)
{
    if (soundSwitch != 1)
        return;
    if (kind == 1)
        SoundPlayer::play(SoundPlayer::kRightSound);
    else if (kind == 2)
        SoundPlayer::play(SoundPlayer::kWrongSound);
}

void CTestDlg::UpdateMissLamps()
{
    switch (m_nLife) {
    case 2:
        m_lamp3->SetColor(kWhite);
        break;
    case 1:
        m_lamp2->SetColor(kWhite);
        break;
    case 0:
        m_lamp1->SetColor(kWhite);
        break;
    default:
        break;
    }
}

void CTestDlg::AppendResultLine(int result)
{
    resultLog().appendResultLine(m_nAsked, result);
    if (m_nMail == 1 && m_nRemaining == 0)
        SendReportMail(2);
}
