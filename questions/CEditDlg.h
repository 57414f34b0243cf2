#pragma once
// The question editor "編集画面".

#include <QDialog>

class CEditDlg : public QDialog {
    Q_OBJECT
public:
    explicit CEditDlg(QWidget* parent = nullptr);
};
