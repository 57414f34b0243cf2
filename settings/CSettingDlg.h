#pragma once
// The settings dialog "出題設定画面".

#include <QDialog>

class CSettingDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSettingDlg(QWidget* parent = nullptr);
};
