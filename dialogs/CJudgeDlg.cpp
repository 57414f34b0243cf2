#include "CJudgeDlg.h"

#include "platform/DialogLook.h"
#include "platform/SjisText.h"
#include "platform/TimerPeriods.h"
#include "ui_CJudgeDlg.h"

#include <QCloseEvent>

namespace {
CJudgeDlg* g_current = nullptr;
}

CJudgeDlg::CJudgeDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CJudgeDlg>())
{
    m_ui->setupUi(this);
    DialogLook::removeCloseBox(this);
    DialogLook::applyFont(this);
    setFixedSize(size());
    DialogLook::installEnterEscFilter(this);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(1); });
}

CJudgeDlg::~CJudgeDlg()
{
    if (g_current == this)
        g_current = nullptr;
}

CJudgeDlg* CJudgeDlg::current()
{
    return g_current;
}

int CJudgeDlg::exec()
{
    g_current = this;
    OnInitDialog();
    return QDialog::exec();
}

void CJudgeDlg::OnInitDialog()
{
    m_ui->verdictLabel->setText(fromSjis(m_strVerdict));
    m_ui->noticeLabel->setText(fromSjis(m_strNotice));
    m_ui->noticeLabel->setAccessibleName(m_ui->noticeLabel->text());
    m_nTicks = 0;
    m_timer.start(TimerPeriods::oneSecondMs());
}

void CJudgeDlg::OnTimer(int timerId)
{
    if (timerId != 1)
        return;
    if (m_nTicks == 1) {
        m_timer.stop();
        m_closing = true;
        done(1);
    } else {
        ++m_nTicks;
    }
}

void CJudgeDlg::closeEvent(QCloseEvent* event)
{
    // Only the popup's own timer closes it.
    if (!m_closing)
        event->ignore();
}
