#include "CSettingDlg.h"

#include "ProgramRun.h"
#include "settings/EditAccessCode.h"
#include "core/ProgramPaths.h"
#include "core/ShiftJis.h"
#include "platform/DataExchange.h"
#include "platform/DialogLook.h"
#include "platform/MessageBox.h"
#include "platform/SjisText.h"
#include "questionfile/QuestionFile.h"
#include "settings/AppProfile.h"
#include "ui_CSettingDlg.h"

#include <QCloseEvent>
#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>

namespace {

// The upper limit Save puts on the stored question count: the stored count
// after every opening, the question file's record count from the start of
// every Save at which that file could be examined.
int g_questionCountCap = 0;

// The widest range a slider is given. Far beyond the record count of any
// real question file, and low enough that the slider's own arithmetic
// (positions, tick marks) cannot overflow.
constexpr int kSliderLimit = 0x3FFFFFFF;

// Ticks every 2 positions. On a range so wide that the marks would merge into
// a solid bar, at most about 100 of them, so painting stays quick.
void setRangeAndTicks(QSlider* slider, int minimum, int maximum)
{
    maximum = std::clamp(maximum, minimum, kSliderLimit);
    slider->setRange(minimum, maximum);
    constexpr int kMostTicks = 100;
    int interval = 2;
    const int span = maximum - minimum;
    if (span / interval > kMostTicks) {
        interval = span / kMostTicks + 1;
        interval += interval % 2;
    }
    slider->setTickInterval(interval);
}

std::string withUnit(int value, const char* unitUtf8)
{
    return std::to_string(value) + sjis::fromUtf8(unitUtf8);
}

// Index of the checked radio of the group (-1 for none), or checks the one
// at the index.
void exchangeRadio(bool save, int& member, QRadioButton* first, QRadioButton* second)
{
    if (save) {
        member = first->isChecked() ? 0 : second->isChecked() ? 1 : -1;
        return;
    }
    if (member == 0 || member == 1) {
        (member == 0 ? first : second)->setChecked(true);
        return;
    }
    // An exclusive group never lets its checked button go; clearing both
    // needs the exclusivity off for a moment.
    first->setAutoExclusive(false);
    second->setAutoExclusive(false);
    first->setChecked(false);
    second->setChecked(false);
    first->setAutoExclusive(true);
    second->setAutoExclusive(true);
}

} // namespace

using DataExchange::exchangeText;

CSettingDlg::CSettingDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CSettingDlg>())
{
    m_ui->setupUi(this);
    DialogLook::removeCloseBox(this);
    DialogLook::applyFont(this);
    setFixedSize(size());

    // The order group lies where the 認証 group is and stays disabled: the
    // 認証 group covers it, so the two titles do not run into each other.
    m_ui->authFrame->setAutoFillBackground(true);
    m_ui->fileOrderRadio->stackUnder(m_ui->authFrame);
    m_ui->randomOrderRadio->stackUnder(m_ui->authFrame);

    // The edits take texts of any length; a long stored value must not come
    // back cut short from a Save.
    const auto edits = findChildren<QLineEdit*>();
    for (QLineEdit* edit : edits)
        edit->setMaxLength(std::numeric_limits<int>::max());

    connect(m_ui->backButton, &QPushButton::clicked, this, &CSettingDlg::accept);
    connect(m_ui->saveButton, &QPushButton::clicked, this, &CSettingDlg::OnSave);
    connect(m_ui->authButton, &QPushButton::clicked, this, &CSettingDlg::OnAuth);
    connect(m_ui->testSendButton, &QPushButton::clicked, this, &CSettingDlg::OnTestSend);

    DialogLook::installEnterEscFilter(this);
    // Shown as the default button; Enter itself never reaches it.
    m_ui->backButton->setDefault(true);
    OnInitDialog();
}

CSettingDlg::~CSettingDlg() = default;

void CSettingDlg::UpdateData(bool save)
{
    exchangeText(save, m_ui->countLabel, m_strCountLabel);
    exchangeText(save, m_ui->lifeLabel, m_strLifeLabel);
    exchangeText(save, m_ui->timeLabel, m_strTimeLabel);
    exchangeRadio(save, m_nOrder, m_ui->fileOrderRadio, m_ui->randomOrderRadio);
    exchangeText(save, m_ui->smtpEdit, m_strSmtp);
    exchangeText(save, m_ui->toEdit, m_strTo);
    exchangeText(save, m_ui->fromEdit, m_strFrom);
    exchangeText(save, m_ui->idEdit, m_strId);
    exchangeText(save, m_ui->pwEdit, m_strPw);
    if (save)
        m_nUseAuth = m_ui->useAuthCheck->isChecked() ? 1 : 0;
    else
        m_ui->useAuthCheck->setChecked(m_nUseAuth != 0);
    exchangeText(save, m_ui->portEdit, m_strPort);
    exchangeText(save, m_ui->questionFileEdit, m_strQuestionFile);
    exchangeText(save, m_ui->accessCodeEdit, m_strAccessCode);
}

void CSettingDlg::OnInitDialog()
{
    UpdateData(false);
    // From here on a question file name without a folder is looked up in the
    // program's own folder, also after the dialog has closed. An installed
    // program's folder is the user's own folder (~/Molvane): the folder the
    // executable sits in holds no data and may not be written.
    std::error_code ec;
    std::filesystem::current_path(programpaths::programFolder(), ec);
    loadSettings();
}

void CSettingDlg::loadSettings()
{
    const ProfileStore& profile = appProfile();
    m_strQuestionFile = profile.GetProfileStringA("QUESTION", "1", "sample0524.txt");
    const std::optional<int> records = question::recordCountOf(m_strQuestionFile);

    const int life = profile.GetProfileIntA("LIFE", "1", 1);
    const int timeLimit = profile.GetProfileIntA("TIME_LIMIT", "1", 1);
    const int count = profile.GetProfileIntA("QUESTION_CNT", "1", 1);
    g_questionCountCap = count;
    const int seq = profile.GetProfileIntA("SEQ", "1", 0);
    m_strSmtp = profile.GetProfileStringA("SMTP", "1");
    m_strTo = profile.GetProfileStringA("TO", "1");
    m_strFrom = profile.GetProfileStringA("FROM", "1");
    m_strId = profile.GetProfileStringA("ID", "1");
    m_strPw = profile.GetProfileStringA("PW", "1");
    m_strPort = profile.GetProfileStringA("PORT", "1");

    m_nUseAuth = (!m_strId.empty() || !m_strPw.empty()) ? 1 : 0;

    setRangeAndTicks(m_ui->timeSlider, 1, 60);
    m_ui->timeSlider->setValue(timeLimit);
    setRangeAndTicks(m_ui->lifeSlider, 1, 99);
    m_ui->lifeSlider->setValue(life);
    // A question file that cannot be examined gives no record count; the
    // range then reaches the stored count, which is as far as Save lets the
    // count go in that case. A file shorter than one record leaves the single
    // position 1, which Save caps to the record count 0.
    setRangeAndTicks(m_ui->countSlider, 1, records ? *records : count);
    m_ui->countSlider->setValue(count);

    m_nOrder = seq != 0 ? 1 : 0;

    // The labels show what is stored, not where the sliders stand.
    m_strTimeLabel = withUnit(timeLimit, "秒");
    m_strLifeLabel = withUnit(life, "回");
    m_strCountLabel = withUnit(count, "問");

    UpdateData(false);
}

void CSettingDlg::OnAuth()
{
    UpdateData(true);
    if (!settings::isEditAccessCode(m_strAccessCode)) {
        MessageBox::show(this, QStringLiteral("パスワードが間違っています"), MessageBox::Icon::Information);
        return;
    }
    m_ui->questionFileEdit->setEnabled(true);
    m_ui->questionFileEdit->show();
    m_ui->saveButton->setEnabled(true);
}

void CSettingDlg::OnSave()
{
    // The file named before this Save reads the controls: the stored one, or
    // the one typed at the last 認証.
    if (const std::optional<int> records = question::recordCountOf(m_strQuestionFile))
        g_questionCountCap = *records;

    if (MessageBox::ask(this, QStringLiteral("設定保存しても宜しいですか?"))) {
        ProfileStore& profile = appProfile();
        bool written = true;
        written &= profile.WriteProfileInt("LIFE", "1", m_ui->lifeSlider->value());
        written &= profile.WriteProfileInt("TIME_LIMIT", "1", m_ui->timeSlider->value());
        UpdateData(true);
        written &= profile.WriteProfileStringA("QUESTION", "1", m_strQuestionFile);
        written &= profile.WriteProfileStringA("SMTP", "1", m_strSmtp);
        written &= profile.WriteProfileStringA("FROM", "1", m_strFrom);
        written &= profile.WriteProfileStringA("TO", "1", m_strTo);
        written &= profile.WriteProfileStringA("ID", "1", m_strId);
        written &= profile.WriteProfileStringA("PW", "1", m_strPw);
        written &= profile.WriteProfileStringA("PORT", "1", m_strPort);
        const int position = m_ui->countSlider->value();
        written &= profile.WriteProfileInt("QUESTION_CNT", "1",
                                           g_questionCountCap >= position ? position : g_questionCountCap);
        UpdateData(true);
        written &= profile.WriteProfileInt("SEQ", "1", m_nOrder);
        if (!written)
            MessageBox::show(this, QStringLiteral("設定を保存できませんでした"), MessageBox::Icon::Stop);
    }
    // After Yes and No alike the dialog shows what is stored now.
    OnInitDialog();
}

namespace {

// Shows the outcome of the test mail over the settings dialog.
class TestMailView : public testrun::RunView {
public:
    explicit TestMailView(QWidget* dialog) : m_dialog(dialog) {}
    void showMessage(const std::string& utf8, testrun::MessageIcon icon) override
    {
        programrun::showMessage(m_dialog, utf8, icon);
    }

private:
    QWidget* m_dialog;
};

} // namespace

void CSettingDlg::OnTestSend()
{
    if (!MessageBox::ask(this, QStringLiteral("テストメールを送信しても宜しいですか?")))
        return;
    // The mail goes out with the stored account, as every mail does; what is
    // typed here and not saved takes no part. A run of the main window's
    // that shows nothing but the mail's outcome, over this dialog, sends it.
    TestMailView view(this);
    testrun::TestRun mailer(view, programrun::seams());
    mailer.SendReportMail(0);
}

void CSettingDlg::accept()
{
    UpdateData(true);
    QDialog::accept();
}

void CSettingDlg::reject()
{
}

void CSettingDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
}
