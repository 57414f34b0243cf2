#include "CTestDlg.h"

#include "CEditDlg.h"
#include "CJudgeDlg.h"
#include "CLampStatic.h"
#include "MenuCommands.h"
#include "ProgramRun.h"
#include "SystemMenu.h"
#include "core/FileSystem.h"
#include "core/ShiftJis.h"
#include "platform/DataExchange.h"
#include "platform/DialogLook.h"
#include "platform/MessageBox.h"
#include "platform/PictureLoader.h"
#include "platform/SjisText.h"
#include "platform/SoundPlayer.h"
#include "platform/TimerPeriods.h"
#include "questionfile/PicturePath.h"
#include "settings/AppProfile.h"
#include "ui_CTestDlg.h"

#include <QAction>
#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QProgressBar>

CTestDlg::CTestDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CTestDlg>()),
      m_run(std::make_shared<testrun::TestRun>(static_cast<testrun::RunView&>(*this), programrun::seams()))
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/icons/molvane.png")));
    DialogLook::applyFont(this);
    createMenu();

    m_ui->picture->setFixedSize(PictureLoader::kWidth + 2 * m_ui->picture->frameWidth(),
                                PictureLoader::kHeight + 2 * m_ui->picture->frameWidth());
    m_ui->picture->setAlignment(Qt::AlignCenter);

    connect(m_ui->quitButton, &QPushButton::clicked, this, &CTestDlg::OnQuit);
    connect(m_ui->editButton, &QPushButton::clicked, this, &CTestDlg::OnEdit);
    connect(m_ui->startButton, &QPushButton::clicked, this, &CTestDlg::OnStart);
    connect(m_ui->stopButton, &QPushButton::clicked, this, &CTestDlg::OnStop);
    connect(m_ui->answerButton1, &QPushButton::clicked, this, &CTestDlg::OnAnswer1);
    connect(m_ui->answerButton2, &QPushButton::clicked, this, &CTestDlg::OnAnswer2);
    connect(m_ui->answerButton3, &QPushButton::clicked, this, &CTestDlg::OnAnswer3);
    connect(m_ui->answerButton4, &QPushButton::clicked, this, &CTestDlg::OnAnswer4);
    connect(m_ui->answerButton5, &QPushButton::clicked, this, &CTestDlg::OnAnswer5);
    m_runTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_runTimer, &QTimer::timeout, this, [this] { OnTimer(1); });

    DialogLook::installEnterEscFilter(this);
    OnInitDialog();
}

namespace {

// The view of a run whose window was deleted while the run was working (a
// mail on its way): the mail's outcome is still shown, over the window the
// user works in; nothing else is left to show.
class WindowlessView : public testrun::RunView {
public:
    void showMessage(const std::string& utf8, testrun::MessageIcon icon) override
    {
        programrun::showMessage(programrun::messageParent(nullptr), utf8, icon);
    }
};

} // namespace

CTestDlg::~CTestDlg()
{
    static WindowlessView windowless;
    m_run->setView(windowless);
}

void CTestDlg::createMenu()
{
    m_menuBar = new QMenuBar(this);
    auto add = [this](QMenu* menu, const QString& text, int id, bool enabled) {
        QAction* action = menu->addAction(text);
        action->setData(id);
        action->setEnabled(enabled);
        return action;
    };
    QMenu* file = m_menuBar->addMenu(QStringLiteral("ファイル(&F)"));
    connect(add(file, QStringLiteral("終了(&E)"), ID_APP_EXIT, true), &QAction::triggered, this,
            &CTestDlg::OnMenuExit);
    QMenu* settings = m_menuBar->addMenu(QStringLiteral("設定(&C)"));
    connect(add(settings, QStringLiteral("出題設定(&A)"), ID_SETTINGS, true), &QAction::triggered, this,
            &CTestDlg::OnSettings);
    QAction* sound = add(settings, QStringLiteral("効果音(&K)"), ID_SOUND_SWITCH, false);
    sound->setCheckable(true);
    connect(sound, &QAction::triggered, this, &CTestDlg::OnSoundSwitch);
    QAction* mail = add(settings, QStringLiteral("メール送信(&M)"), ID_MAIL_SWITCH, false);
    mail->setCheckable(true);
    connect(mail, &QAction::triggered, this, &CTestDlg::OnMailSwitch);
    QMenu* help = m_menuBar->addMenu(QStringLiteral("ヘルプ(&H)"));
    connect(add(help, QStringLiteral("説明(&S)"), ID_HELP_TOPICS, false), &QAction::triggered, this,
            &CTestDlg::OnHelpTopics);
    connect(add(help, QStringLiteral("バージョン情報(&V)"), ID_APP_ABOUT, true), &QAction::triggered, this,
            &CTestDlg::OnAbout);
    layout()->setMenuBar(m_menuBar);
}

QAction* CTestDlg::menuAction(int commandId) const
{
    const auto menus = m_menuBar->findChildren<QMenu*>();
    for (QMenu* menu : menus) {
        const auto actions = menu->actions();
        for (QAction* action : actions) {
            if (action->data().toInt() == commandId)
                return action;
        }
    }
    return nullptr;
}

void CTestDlg::setMenuCheck(int commandId, bool checked)
{
    if (QAction* action = menuAction(commandId))
        action->setChecked(checked);
}

void CTestDlg::OnInitDialog()
{
    // 1. Controls exist; the (empty) members go into them; centred by the
    //    window system when shown.
    UpdateData(false);
    // 2. The About item of the system menu (where the platform has one).
    SystemMenu::addAboutItem(this, QStringLiteral("Molvaneのﾊﾞｰｼﾞｮﾝ情報(&A)..."));
    // 3. The icon was set with the window.
    // 4. Stop and the answer buttons start disabled.
    m_ui->stopButton->setEnabled(false);
    m_ui->answerButton1->setEnabled(false);
    m_ui->answerButton2->setEnabled(false);
    m_ui->answerButton3->setEnabled(false);
    m_ui->answerButton4->setEnabled(false);
    m_ui->answerButton5->setEnabled(false);
    // 5. The lamps.
    m_lamp1 = m_ui->lamp1;
    m_lamp2 = m_ui->lamp2;
    m_lamp3 = m_ui->lamp3;
    // 6. Settings.
    const ProfileStore& profile = appProfile();
    m_run->m_nSound = profile.GetProfileIntA("SOUND", "SW", 0);
    m_run->m_nSeq = profile.GetProfileIntA("SEQ", "1", 0);
    m_run->m_nMail = profile.GetProfileIntA("MAIL", "1", 1);
    m_run->m_strQuestionFile = profile.GetProfileStringA("QUESTION", "1", "sample0524.txt");
    // 7. Check marks.
    setMenuCheck(ID_SOUND_SWITCH, m_run->m_nSound == 1);
    setMenuCheck(ID_MAIL_SWITCH, m_run->m_nMail == 1);
    // 8. The focus goes to the first enabled tab stop, 開始.
    m_ui->startButton->setFocus();
}

void CTestDlg::UpdateData(bool saveAndValidate)
{
    using DataExchange::exchangeText;
    // Control 1042 (the picture) is visited first and carries no text.
    testrun::TestRun& run = *m_run;
    exchangeText(saveAndValidate, m_ui->answerEdit1, run.m_strAnswer1);
    exchangeText(saveAndValidate, m_ui->questionEdit, run.m_strQuestion);
    exchangeText(saveAndValidate, m_ui->answerEdit2, run.m_strAnswer2);
    exchangeText(saveAndValidate, m_ui->answerEdit3, run.m_strAnswer3);
    exchangeText(saveAndValidate, m_ui->answerEdit4, run.m_strAnswer4);
    exchangeText(saveAndValidate, m_ui->progressLabel, run.m_strProgress);
    exchangeText(saveAndValidate, m_ui->answerEdit5, run.m_strAnswer5);
    exchangeText(saveAndValidate, m_ui->nameEdit, run.m_strName);
    if (saveAndValidate)
        run.m_strNameLost = sjis::firstUnencodable(m_ui->nameEdit->text().toStdString());
    else
        describeTexts();
}

void CTestDlg::describeTexts()
{
    // A question of 48 wide characters, or an answer of 39, is wider than
    // its field: the whole text is the field's tooltip, and what a screen
    // reader reads for the field and for its answer button ("1: <answer>").
    const QString question = m_ui->questionEdit->text().trimmed();
    m_ui->questionEdit->setToolTip(question);
    m_ui->questionEdit->setAccessibleDescription(question);
    QLineEdit* const answers[] = {m_ui->answerEdit1, m_ui->answerEdit2, m_ui->answerEdit3, m_ui->answerEdit4,
                                  m_ui->answerEdit5};
    for (int position = 1; position <= 5; ++position) {
        const QString answer = answers[position - 1]->text().trimmed();
        answers[position - 1]->setToolTip(answer);
        answers[position - 1]->setAccessibleDescription(answer);
        answerButton(position)->setAccessibleDescription(
            answer.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(position).arg(answer));
    }
}

QPushButton* CTestDlg::answerButton(int position) const
{
    switch (position) {
    case 1:
        return m_ui->answerButton1;
    case 2:
        return m_ui->answerButton2;
    case 3:
        return m_ui->answerButton3;
    case 4:
        return m_ui->answerButton4;
    default:
        return m_ui->answerButton5;
    }
}

void CTestDlg::showPicture(const std::string& pictureNumber)
{
    const std::string path = question::picturePath(m_run->m_strQuestionFile, pictureNumber);
    const QPixmap pixmap = PictureLoader::load(path);
    m_ui->picture->setPixmap(pixmap);
    if (pixmap.isNull())
        m_ui->picture->clear();
    m_shownPicturePath = fromSjis(path);
    m_shownPictureStamp = -1;
}

void CTestDlg::showBlankPicture()
{
    // The blank picture is taken from its file at every paint while idle; the
    // file is read again only when it changed, so painting stays cheap.
    const std::string path = question::picturePath(m_run->m_strQuestionFile, "000");
    const QFileInfo info(QString::fromStdString(fsutil::nativePath(path).string()));
    const qint64 stamp = info.exists() ? info.lastModified().toMSecsSinceEpoch() ^ info.size() : -2;
    const QString shownPath = fromSjis(path);
    if (shownPath == m_shownPicturePath && stamp == m_shownPictureStamp)
        return;
    showPicture("000");
    m_shownPictureStamp = stamp;
}

void CTestDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (!isRunning())
        showBlankPicture();
}

// Each handler works through its own share of the run: nothing of the
// window is touched once the run was called, as the window may be gone when
// the run returns.
void CTestDlg::OnStart()
{
    UpdateData(true);
    const std::shared_ptr<testrun::TestRun> run = m_run;
    run->OnStart();
}

void CTestDlg::OnStop()
{
    const std::shared_ptr<testrun::TestRun> run = m_run;
    run->OnStop();
}

void CTestDlg::OnAnswer(int answer)
{
    const std::shared_ptr<testrun::TestRun> run = m_run;
    run->OnAnswer(answer);
}

void CTestDlg::OnTimer(int timerId)
{
    const std::shared_ptr<testrun::TestRun> run = m_run;
    run->OnTimer(timerId);
}

void CTestDlg::SendReportMail(int kind)
{
    const std::shared_ptr<testrun::TestRun> run = m_run;
    run->SendReportMail(kind);
}

void CTestDlg::showMessage(const std::string& utf8, testrun::MessageIcon icon)
{
    programrun::showMessage(programrun::messageParent(this), utf8, icon);
}

void CTestDlg::setNameBoxEnabled(bool enabled)
{
    m_ui->nameEdit->setEnabled(enabled);
}

void CTestDlg::setRunControls(bool running)
{
    m_ui->startButton->setEnabled(!running);
    m_ui->stopButton->setEnabled(running);
    for (int p = 1; p <= 5; ++p)
        answerButton(p)->setEnabled(running);
}

void CTestDlg::startRunTimer()
{
    m_runTimer.start(TimerPeriods::oneSecondMs());
}

void CTestDlg::stopRunTimer()
{
    m_runTimer.stop();
}

void CTestDlg::setLampColor(int lamp, int colour)
{
    CLampStatic* lamps[] = {m_lamp1, m_lamp2, m_lamp3};
    lamps[lamp - 1]->SetColor(colour);
}

void CTestDlg::setBarRange(int timeLimit)
{
    // A range of 0 to 0 would make the bar a busy indicator: show it empty.
    m_ui->timeBar->setRange(0, timeLimit > 0 ? timeLimit : 1);
    m_ui->timeBar->setValue(0);
}

void CTestDlg::setBarPosition(int position)
{
    // Like the platform's bar, a position outside the range is held at its
    // ends.
    QProgressBar* bar = m_ui->timeBar;
    bar->setValue(qBound(bar->minimum(), position, bar->maximum()));
}

void CTestDlg::showQuestion()
{
    UpdateData(false);
}

void CTestDlg::playSound(int kind)
{
    SoundPlayer::play(kind == 1 ? SoundPlayer::kRightSound : SoundPlayer::kWrongSound);
}

void CTestDlg::showJudgePopup(const std::string& verdict, const std::string& notice)
{
    CJudgeDlg popup(this);
    popup.m_strVerdict = verdict;
    popup.m_strNotice = notice;
    popup.exec();
}

void CTestDlg::OnQuit()
{
    if (MessageBox::ask(this, QStringLiteral("終了しても宜しいですか?")))
        reject();
}

void CTestDlg::OnEdit()
{
    CEditDlg editor(this);
    editor.exec();
}

void CTestDlg::OnMenuExit()
{
    // Without a question: the 終了 button is the path with confirmation.
    reject();
}

void CTestDlg::OnHelpTopics()
{
    menucommands::openHelp();
}

void CTestDlg::OnAbout()
{
    menucommands::openAbout(this);
}

void CTestDlg::OnSettings()
{
    menucommands::openSettings(this);
}

void CTestDlg::OnSoundSwitch()
{
    m_run->m_nSound = menucommands::toggleSwitch("SOUND", "SW", m_run->m_nSound, 0);
    setMenuCheck(ID_SOUND_SWITCH, m_run->m_nSound == 1);
}

void CTestDlg::OnMailSwitch()
{
    m_run->m_nMail = menucommands::toggleSwitch("MAIL", "1", m_run->m_nMail, 1);
    setMenuCheck(ID_MAIL_SWITCH, m_run->m_nMail == 1);
}

bool CTestDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    if (SystemMenu::isAboutCommand(message)) {
        OnAbout();
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
