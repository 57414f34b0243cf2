#include "CEditDlg.h"

CEditDlg::CEditDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("編集画面"));
}
