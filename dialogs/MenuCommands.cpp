// Commands of the main window's menu bar.

#include "CAboutDlg.h"
#include "CTestDlg.h"
#include "core/ProgramPaths.h"
#include "platform/DesktopOpener.h"
#include "settings/AppProfile.h"
#include "dialogs/CSettingDlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

void CTestDlg::OnMenuExit()
{
    // Without a question: the 終了 button is the path with confirmation.
    reject();
}

void CTestDlg::OnHelpTopics()
{
#ifdef Q_OS_WIN
    // The help file is named without a folder: it is looked for in the
    // current folder first, then beside the program.
    const QString name = QStringLiteral("Molvane201.chm");
    for (const QString& folder : {QDir::currentPath(), QCoreApplication::applicationDirPath()}) {
        const QFileInfo help(QDir(folder).filePath(name));
        if (help.isFile()) {
            DesktopOpener::openFile(help.absoluteFilePath());
            return;
        }
    }
#else
    // The HTML manual bundled beside the program, else the installed one.
    if (const auto manual = programpaths::htmlManual(programpaths::executableFolder()))
        DesktopOpener::openFile(QString::fromStdString(manual->string()));
#endif
    // When there is none, nothing happens.
}

void CTestDlg::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CTestDlg::OnSettings()
{
    CSettingDlg dialog(this);
    dialog.exec();
}

void CTestDlg::OnSoundSwitch()
{
    ProfileStore& profile = appProfile();
    profile.WriteProfileStringA("SOUND", "SW", m_nSound == 1 ? "0" : "1");
    m_nSound = profile.GetProfileIntA("SOUND", "SW", 0);
    setMenuCheck(ID_SOUND_SWITCH, m_nSound == 1);
}

void CTestDlg::OnMailSwitch()
{
    ProfileStore& profile = appProfile();
    profile.WriteProfileStringA("MAIL", "1", m_nMail == 1 ? "0" : "1");
    m_nMail = profile.GetProfileIntA("MAIL", "1", 1);
    setMenuCheck(ID_MAIL_SWITCH, m_nMail == 1);
}
