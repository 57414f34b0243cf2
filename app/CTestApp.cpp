#include "CTestApp.h"

#include "dialogs/CTestDlg.h"
#include "core/ProgramPaths.h"
#include "core/UserFolder.h"
#include "platform/MessageBox.h"
#include "settings/AppProfile.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>
#include <QTranslator>
#include <QStringList>
#include <filesystem>
#include <system_error>

namespace {

QString shown(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

// The reason for a failure, in words an administrator can act on.
QString reason(const std::error_code& ec)
{
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted)
        return QStringLiteral("書き込みや読み出しの権限がありません");
    if (ec == std::errc::read_only_file_system)
        return QStringLiteral("読み出し専用のファイルシステムです");
    if (ec == std::errc::no_space_on_device)
        return QStringLiteral("ディスクに空きがありません");
    if (ec == std::errc::not_a_directory)
        return QStringLiteral("途中にフォルダでないものがあります");
    return QString::fromStdString(ec.message());
}

} // namespace

bool installToolkitTranslations()
{
    static QTranslator translator;
    if (!translator.isEmpty())
        return true;
    const QString installed = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm");
    for (const QString& file : {QStringLiteral(":/i18n/qtbase_ja.qm"), installed}) {
        if (translator.load(file))
            return QCoreApplication::installTranslator(&translator);
    }
    return false;
}

std::filesystem::path profilePathFor(const std::filesystem::path& workingDirectory)
{
    // At a root the separator is doubled, which the file system accepts.
    std::filesystem::path path = workingDirectory;
    path += std::filesystem::path::preferred_separator;
    path += "Parameter.INI";
    return path;
}

StartPlace StartPlace::ofThisProcess()
{
    StartPlace place;
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    place.workingDirectory = ec ? std::filesystem::path(".") : cwd;
    place.executableFolder = programpaths::executableFolder();
    place.installedData = programpaths::installedDataFolder(place.executableFolder);
    if (place.installedData)
        place.home = userfolder::homeFolder();
    return place;
}

CTestApp::CTestApp() : CTestApp(StartPlace::ofThisProcess()) {}

CTestApp::CTestApp(const StartPlace& place) : m_place(place)
{
    if (m_place.installedData) {
        // Installed: the program's files are not where the user's data may
        // go, so the data lives in the user's own folder, and that folder
        // stands for the program's folder too.
        m_userFolder = userfolder::perUserFolder(m_place.home);
        m_profilePath = profilePathFor(*m_userFolder);
        programpaths::setProgramFolder(*m_userFolder);
    } else {
        m_profilePath = profilePathFor(m_place.workingDirectory);
        programpaths::setProgramFolder({});
    }
    appProfile().setPath(m_profilePath);
}

bool CTestApp::PrepareWorkFolder()
{
    if (!m_userFolder)
        return true;
    if (m_place.home.empty()) {
        MessageBox::show(nullptr,
                         QStringLiteral("ホームフォルダが分からないため、作業フォルダを決められません。\n"
                                        "環境変数 HOME を設定してから起動して下さい。"),
                         MessageBox::Icon::Stop);
        return false;
    }
    const std::filesystem::path& folder = *m_userFolder;
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(folder, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
        MessageBox::show(nullptr,
                         QStringLiteral("作業フォルダの名前 %1 はフォルダではないものに使われています。\n"
                                        "それを別の名前に変えてから、もう一度起動して下さい。")
                             .arg(shown(folder)),
                         MessageBox::Icon::Stop);
        return false;
    }

    if (userfolder::needsFilling(folder)) {
        const userfolder::FillReport report =
            userfolder::fill(programpaths::installedSamples(*m_place.installedData), folder);
        if (!report.folderMade) {
            MessageBox::show(nullptr,
                             QStringLiteral("作業フォルダ %1 を作れませんでした（%2）。\n"
                                            "ホームフォルダに書き込めるか確かめて下さい。")
                                 .arg(shown(folder), reason(report.error)),
                             MessageBox::Icon::Stop);
            return false;
        }
        if (!report.failed.empty()) {
            QStringList names;
            for (const std::filesystem::path& name : report.failed)
                names << shown(name);
            MessageBox::show(nullptr,
                             QStringLiteral("サンプルデータの次のファイルを作業フォルダ %1 にコピーできませんでした（%2）:\n"
                                            "%3\n"
                                            "フォルダにあるファイルはそのまま使います。")
                                 .arg(shown(folder), reason(report.error), names.join(QStringLiteral("\n"))),
                             MessageBox::Icon::Exclamation);
        }
    }

    std::filesystem::current_path(folder, ec);
    if (ec) {
        MessageBox::show(nullptr,
                         QStringLiteral("作業フォルダ %1 を開けませんでした（%2）。\n"
                                        "フォルダの権限を確かめて下さい。")
                             .arg(shown(folder), reason(ec)),
                         MessageBox::Icon::Stop);
        return false;
    }
    return true;
}

bool CTestApp::InitInstance()
{
    installToolkitTranslations();
    CTestDlg dialog;
    dialog.exec();
    return false;
}
