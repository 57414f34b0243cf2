#pragma once
// The main window: the test window with its question, answers, picture,
// time-limit bar and progress text, the buttons 開始, 停止, 編集 and 終了, the
// five answer buttons and the menu bar. A view of the test run it owns: its
// handlers read the controls into the run and call it; the run tells it what
// to show.

#include "testrun/TestRun.h"

#include <QDialog>
#include <QPixmap>
#include <QTimer>
#include <memory>
#include <string>

class QAction;
class QMenuBar;
class QPushButton;
class CLampStatic;
namespace Ui {
class CTestDlg;
}

class CTestDlg : public QDialog, private testrun::RunView {
    Q_OBJECT
public:
    explicit CTestDlg(QWidget* parent = nullptr);
    ~CTestDlg() override;

    // Data exchange: true moves the controls into the run's members, false
    // the members into the controls.
    void UpdateData(bool saveAndValidate);

    // Menu command ids, as the menu defines them.
    enum MenuCommand {
        ID_APP_EXIT = 32771,
        ID_HELP_TOPICS = 32774,
        ID_APP_ABOUT = 32775,
        ID_SETTINGS = 32776,
        ID_SOUND_SWITCH = 32777,
        ID_MAIL_SWITCH = 32778,
    };
    QAction* menuAction(int commandId) const;

    // Composes and sends one mail: 0 test mail, 1 start mail, 2 result mail.
    void SendReportMail(int kind);

    // The test run.
    void OnStart();
    void OnStop();
    void OnAnswer1() { OnAnswer(1); }
    void OnAnswer2() { OnAnswer(2); }
    void OnAnswer3() { OnAnswer(3); }
    void OnAnswer4() { OnAnswer(4); }
    void OnAnswer5() { OnAnswer(5); }
    void OnTimer(int timerId);
    bool isRunning() const { return m_run->isRunning(); }

    // The window and its menu.
    void OnQuit();
    void OnEdit();
    void OnMenuExit();
    void OnHelpTopics();
    void OnAbout();
    void OnSettings();
    void OnSoundSwitch();
    void OnMailSwitch();

    // The run the window shows; its members are the window's texts and
    // counters.
    testrun::TestRun& run() { return *m_run; }
    const testrun::TestRun& run() const { return *m_run; }

    CLampStatic* m_lamp1 = nullptr;
    CLampStatic* m_lamp2 = nullptr;
    CLampStatic* m_lamp3 = nullptr;

    Ui::CTestDlg* ui() const { return m_ui.get(); }
    QTimer& runTimer() { return m_runTimer; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    // What the run asks of the window.
    void showMessage(const std::string& utf8, testrun::MessageIcon icon) override;
    void setNameBoxEnabled(bool enabled) override;
    void setRunControls(bool running) override;
    void startRunTimer() override;
    void stopRunTimer() override;
    void setLampColor(int lamp, int colour) override;
    void setBarRange(int timeLimit) override;
    void setBarPosition(int position) override;
    void showPicture(const std::string& pictureNumber) override;
    void showQuestion() override;
    void playSound(int kind) override;
    void showJudgePopup(const std::string& verdict, const std::string& notice) override;

    void OnAnswer(int answer);
    void OnInitDialog();
    void createMenu();
    void setMenuCheck(int commandId, bool checked);
    QPushButton* answerButton(int position) const;
    void showBlankPicture();
    // The texts shown, whole, as tooltips and accessible descriptions.
    void describeTexts();

    std::unique_ptr<Ui::CTestDlg> m_ui;
    QMenuBar* m_menuBar = nullptr;
    QTimer m_runTimer;
    QString m_shownPicturePath;
    qint64 m_shownPictureStamp = -1;
    // Shared with the handler that is working in it: a mail runs the event
    // loop, during which the window may be closed and deleted, and the run
    // must see its handler through (see the destructor).
    std::shared_ptr<testrun::TestRun> m_run;
};
