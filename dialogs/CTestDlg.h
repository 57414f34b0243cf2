#pragma once
// The main window: the test window with its question, answers, picture,
// time-limit bar and progress text, the buttons 開始, 停止, 編集 and 終了, the
// five answer buttons and the menu bar.

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

class CTestDlg : public QDialog {
    Q_OBJECT
public:
    // A window that is never shown serves the settings dialog's test mail.
    explicit CTestDlg(QWidget* parent = nullptr);
    ~CTestDlg() override;

    // Data exchange: true moves the controls into the members, false the
    // members into the controls.
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

    // Test run (dialogs/TestRunner.cpp).
    void OnStart();
    void OnStop();
    void NextQuestion();
    void FinishTest();
    bool isRunning() const;

    // Judging and the time limit (dialogs/AnswerJudging.cpp).
    void OnAnswer1();
    void OnAnswer2();
    void OnAnswer3();
    void OnAnswer4();
    void OnAnswer5();
    void OnTimer(int timerId);
    int JudgeAnswer(int answer);
    void PlayJudgeSound(int soundSwitch, int kind);
    void UpdateMissLamps();
    void AppendResultLine(int result);

    // Shell (dialogs/CTestDlg.cpp) and menu commands (dialogs/MenuCommands.cpp).
    void OnQuit();
    void OnEdit();
    void OnMenuExit();
    void OnHelpTopics();
    void OnAbout();
    void OnSettings();
    void OnSoundSwitch();
    void OnMailSwitch();

    // Members (Shift-JIS texts).
    int m_nSeq = 0;
    int m_nMail = 0;
    int m_nAsked = 0;
    int m_nCorrect = 0;
    int m_nRemaining = 0;
    int m_nTotal = 0;
    std::string m_strQuestionFile;
    int m_nAnswerPos = 0;
    int m_nLife = 0;
    int m_nElapsed = 0;
    std::string m_strAnswer1;
    std::string m_strQuestion;
    std::string m_strAnswer2;
    std::string m_strAnswer3;
    std::string m_strAnswer4;
    std::string m_strProgress;
    std::string m_strAnswer5;
    std::string m_strName;
    int m_nSound = 0;
    CLampStatic* m_lamp1 = nullptr;
    CLampStatic* m_lamp2 = nullptr;
    CLampStatic* m_lamp3 = nullptr;

    Ui::CTestDlg* ui() const { return m_ui.get(); }
    QTimer& runTimer() { return m_runTimer; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void OnInitDialog();
    void createMenu();
    void setMenuCheck(int commandId, bool checked);
    QPushButton* answerButton(int position) const;
    void showPicture(const std::string& pictureNumber);
    void showBlankPicture();
    // The texts shown, whole, as tooltips and accessible descriptions.
    void describeTexts();

    std::unique_ptr<Ui::CTestDlg> m_ui;
    QMenuBar* m_menuBar = nullptr;
    QTimer m_runTimer;
    QString m_shownPicturePath;
    qint64 m_shownPictureStamp = -1;
};
