// Commands of the main window's menu bar.

#include "MenuCommands.h"

#include "CAboutDlg.h"
#include "CSettingDlg.h"
#include "core/ProgramPaths.h"
#include "platform/DesktopOpener.h"
#include "settings/AppProfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace menucommands {

void openHelp()
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

void openAbout(QWidget* parent)
{
    CAboutDlg about(parent);
    about.exec();
}

void openSettings(QWidget* parent)
{
    CSettingDlg dialog(parent);
    dialog.exec();
}

int toggleSwitch(const char* section, const char* entry, int current, int def)
{
    ProfileStore& profile = appProfile();
    profile.WriteProfileStringA(section, entry, current == 1 ? "0" : "1");
    return profile.GetProfileIntA(section, entry, def);
}

} // namespace menucommands
