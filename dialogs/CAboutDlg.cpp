#include "CAboutDlg.h"

#include "platform/DialogLook.h"
#include "ui_CAboutDlg.h"

#include <QCloseEvent>
#include <QIcon>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CAboutDlg>())
{
    m_ui->setupUi(this);
    DialogLook::removeCloseBox(this);
    DialogLook::applyFont(this);
    setFixedSize(size());
    m_ui->iconLabel->setPixmap(QIcon(QStringLiteral(":/icons/molvane.png")).pixmap(32, 32));
    // 閉じる is the default button: Enter and Esc close the box too.
    m_ui->closeButton->setDefault(true);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
}
