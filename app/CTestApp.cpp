#include "CTestApp.h"

#include "CTestDlg.h"
#include "settings/AppProfile.h"

#include <QCoreApplication>
#include <QTranslator>
#include <filesystem>
#include <system_error>

std::filesystem::path profilePathFor(const std::filesystem::path& workingDirectory)
{
    // At a root the separator is doubled, which the file system accepts.
    std::filesystem::path path = workingDirectory;
    path += std::filesystem::path::preferred_separator;
    path += "Parameter.INI";
    return path;
}

CTestApp::CTestApp()
{
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    m_profilePath = profilePathFor(ec ? std::filesystem::path(".") : cwd);
    appProfile().setPath(m_profilePath);
}
bool CTestApp::InitInstance()
{
    static QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral(":/i18n/qtbase_ja.qm")))
        QCoreApplication::installTranslator(&qtTranslator);

    CTestDlg dialog;
    dialog.exec();
    return false;
}
