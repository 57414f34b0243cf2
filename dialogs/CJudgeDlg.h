#pragma once
// The judge popup: shows "次の処理に移ります..." and closes itself on the second
// tick of its own one-second timer. No key and no button closes it.

#include <QDialog>
#include <QTimer>
#include <memory>
#include <string>

namespace Ui {
class CJudgeDlg;
}

class CJudgeDlg : public QDialog {
    Q_OBJECT
public:
    explicit CJudgeDlg(QWidget* parent = nullptr);
    ~CJudgeDlg() override;

    int exec() override;

    int m_nTicks = 0;
    std::string m_strVerdict; // Shift-JIS
    std::string m_strNotice;  // Shift-JIS

    Ui::CJudgeDlg* ui() const { return m_ui.get(); }

    // The popup opened last (or nullptr), for tests that look at it.
    static CJudgeDlg* current();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnInitDialog();
    void OnTimer(int timerId);

    std::unique_ptr<Ui::CJudgeDlg> m_ui;
    QTimer m_timer;
    bool m_closing = false;
};
