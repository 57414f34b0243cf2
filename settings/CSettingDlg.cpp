#include "CSettingDlg.h"

CSettingDlg::CSettingDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("出題設定画面"));
}
