#pragma once
// The settings dialog "出題設定画面": time limit, miss allowance, question
// count, question file and mail account, all stored in Parameter.INI, and the
// test mail. Saving and the question file box stay locked until 認証.

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class CSettingDlg;
}

class CSettingDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSettingDlg(QWidget* parent = nullptr);
    ~CSettingDlg() override;

    // Data exchange: true moves the controls into the members, false the
    // members into the controls.
    void UpdateData(bool saveAndValidate);

    // Button handlers: 設定保存, 認証 and テスト送信.
    void OnSave();
    void OnAuth();
    void OnTestSend();

    // 戻る: the controls go into the members, then the dialog ends. Nothing
    // is written to the settings.
    void accept() override;
    // The dialog has no close box and Esc does nothing; only 戻る ends it.
    void reject() override;

    // Members (Shift-JIS texts), in the order of the data exchange.
    std::string m_strCountLabel;
    std::string m_strLifeLabel;
    std::string m_strTimeLabel;
    int m_nOrder = -1; // 0 登録順, 1 ランダム, -1 none
    std::string m_strSmtp;
    std::string m_strTo;
    std::string m_strFrom;
    std::string m_strId;
    std::string m_strPw;
    int m_nUseAuth = 0;
    std::string m_strPort;
    std::string m_strQuestionFile;
    std::string m_strAccessCode;

    Ui::CSettingDlg* ui() const { return m_ui.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnInitDialog();
    void loadSettings();

    std::unique_ptr<Ui::CSettingDlg> m_ui;
};
