// Composing and sending the start, result and test mails.

#include "app/CTestDlg.h"

void CTestDlg::SendReportMail(int kind)
{
    (void)kind;
}
