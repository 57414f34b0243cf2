#pragma once
// The About box: name and version, a notice line and a contact line.

#include <QDialog>
#include <memory>

namespace Ui {
class CAboutDlg;
}

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    Ui::CAboutDlg* ui() const { return m_ui.get(); }

protected:
    // Without a close box the window manager's close request is refused;
    // 閉じる, Enter and Esc close the box.
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::CAboutDlg> m_ui;
};
