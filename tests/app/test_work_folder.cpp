// The working folder of an installed program: the per-user folder ~/Molvane,
// filled from the installed samples at the first start and never again,
// with nothing of the user's replaced; and what "the program's folder" means
// then.

#include "app/CTestApp.h"
#include "core/ProgramPaths.h"
#include "settings/AppProfile.h"
#include "dialogs/CSettingDlg.h"
#include "support/TestSupport.h"
#include "ui_CSettingDlg.h"

#include <QApplication>
#include <QProcess>
#include <QtTest>

#include <fstream>
#include <iostream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Every entry under a folder: its bytes (or "<dir>", or the link's target)
// and its modification time, to tell that nothing changed.
std::map<std::string, std::string> snapshot(const fs::path& root)
{
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path relative = it->path().lexically_relative(root);
        std::string value;
        if (it->is_symlink())
            value = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            value = "<dir>";
        else {
            std::ifstream in(it->path(), std::ios::binary);
            value.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            struct stat st {};
            ::stat(it->path().c_str(), &st);
            value += "@" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
        }
        out[relative.generic_string()] = value;
    }
    return out;
}

std::string bytesOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An installed program whose samples are the bundled sample data.
StartPlace installedPlace(const fs::path& home, const fs::path& cwd)
{
    StartPlace place;
    place.workingDirectory = cwd;
    place.executableFolder = fs::path(MOLVANE_SAMPLE_DIR).parent_path() / "bin";
    place.installedData = fs::path(MOLVANE_SAMPLE_DIR).parent_path();
    place.home = home;
    return place;
}

fs::perms permsOf(const fs::path& path)
{
    return fs::status(path).permissions() & fs::perms::mask;
}

// Run in a child process under another user: prepares the folder of `home`
// and prints what happened, one line each.
int prepareAsChild(const char* home)
{
    MessageBoxRecorder boxes;
    CTestApp app(installedPlace(home, fs::temp_directory_path()));
    const bool prepared = app.PrepareWorkFolder();
    std::cout << (prepared ? "prepared" : "refused") << "\n";
    for (const MessageBox::Shown& shown : boxes.shown())
        std::cout << int(shown.icon) << " " << shown.text.toStdString() << "\n";
    return 0;
}

} // namespace

class TestWorkFolder : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        programpaths::setProgramFolder({});
    }

    void firstStartFillsTheFolderAndLaterStartsChangeNothing()
    {
        TestFolder folder;
        const fs::path home = folder.file("home");
        fs::create_directory(home);
        const fs::path mine = home / "Molvane";

        CTestApp app(installedPlace(home, folder.path()));
        QCOMPARE(app.profilePath(), mine / "Parameter.INI");
        QCOMPARE(appProfile().path(), app.profilePath());
        QCOMPARE(programpaths::programFolder(), mine);
        QVERIFY(!fs::exists(mine)); // nothing happens before the start proper

        MessageBoxRecorder boxes;
        QVERIFY(app.PrepareWorkFolder());
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(fs::current_path(), mine);
        // A copy of every sample, byte for byte; the folder and the settings
        // file (the mail password goes there) are the user's alone.
        std::size_t files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(MOLVANE_SAMPLE_DIR)) {
            const fs::path copy = mine / entry.path().lexically_relative(MOLVANE_SAMPLE_DIR);
            QVERIFY2(fs::exists(copy), copy.c_str());
            if (entry.is_regular_file()) {
                QCOMPARE(bytesOf(copy), bytesOf(entry.path()));
                ++files;
            }
        }
        QVERIFY(files >= 4);
        QCOMPARE(permsOf(mine), fs::perms::owner_all);
        QCOMPARE(permsOf(mine / "Parameter.INI"), fs::perms::owner_read | fs::perms::owner_write);
        const auto afterFirst = snapshot(mine);
        QCOMPARE(afterFirst.size(), snapshot(MOLVANE_SAMPLE_DIR).size());

        // The second start changes nothing.
        fs::current_path(folder.path());
        CTestApp second(installedPlace(home, folder.path()));
        QVERIFY(second.PrepareWorkFolder());
        QCOMPARE(snapshot(mine), afterFirst);

        // A sample the user deleted stays deleted.
        fs::remove(mine / "sample0524.txt");
        CTestApp third(installedPlace(home, folder.path()));
        QVERIFY(third.PrepareWorkFolder());
        QVERIFY(!fs::exists(mine / "sample0524.txt"));
        QCOMPARE(boxes.count(), 0);
    }

    void halfFilledFolderIsCompletedWithoutTouchingTheUsersFiles()
    {
        TestFolder folder;
        const fs::path home = folder.file("home");
        const fs::path mine = home / "Molvane";
        // Cut short or made by hand: the user's own question file under the
        // sample's name, a picture of their own, a file of their own, a
        // dangling link where the ReadMe would go, no settings file.
        folder.writeFile("home/Molvane/sample0524.txt", "my own questions");
        folder.writeFile("home/Molvane/256bitmap/001.bmp", "my own picture");
        folder.writeFile("home/Molvane/notes.txt", "mine");
        fs::create_symlink("nowhere", mine / "ReadMe.txt");
        const auto before = snapshot(mine);

        MessageBoxRecorder boxes;
        CTestApp app(installedPlace(home, folder.path()));
        QVERIFY(app.PrepareWorkFolder());
        QCOMPARE(boxes.count(), 0);
        const auto after = snapshot(mine);
        for (const auto& [name, value] : before)
            QCOMPARE(after.at(name), value);
        // What was missing came from the samples.
        QCOMPARE(bytesOf(mine / "Parameter.INI"), bytesOf(fs::path(MOLVANE_SAMPLE_DIR) / "Parameter.INI"));
        QCOMPARE(bytesOf(mine / "256bitmap/000.bmp"), bytesOf(fs::path(MOLVANE_SAMPLE_DIR) / "256bitmap/000.bmp"));
        // No temporary file is left behind.
        for (const auto& [name, value] : after)
            QVERIFY2(name.find("/.") == std::string::npos && name[0] != '.', name.c_str());
    }

    void somethingElseInThePlaceOfTheFolderStopsTheStart()
    {
        TestFolder folder;
        folder.writeFile("home/Molvane", "a file, not a folder");
        MessageBoxRecorder boxes;
        CTestApp app(installedPlace(folder.file("home"), folder.path()));
        QVERIFY(!app.PrepareWorkFolder());
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.shown()[0].icon, MessageBox::Icon::Stop);
        QVERIFY(boxes.shown()[0].text.contains(QString::fromStdString(folder.file("home/Molvane").string())));
        QVERIFY(boxes.shown()[0].text.contains(QStringLiteral("フォルダではない")));
        QCOMPARE(folder.readFile("home/Molvane"), std::string("a file, not a folder"));
        QCOMPARE(fs::current_path(), folder.path());
    }

    void readOnlyPlacesAreReportedAndLeftAlone()
    {
        // Permissions do not hold for root, so the cases run in a child
        // process under another user.
        TestFolder folder;
        fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        // A home the user may not write, without the folder.
        const fs::path bareHome = folder.file("bare-home");
        fs::create_directory(bareHome);
        // A read-only folder holding a file of the user's, never filled.
        const fs::path fullHome = folder.file("full-home");
        folder.writeFile("full-home/Molvane/mine.txt", "mine");
        for (const fs::path& p : {bareHome, fullHome, fullHome / "Molvane"})
            fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
        if (geteuid() != 0) {
            fs::permissions(bareHome, fs::perms::owner_write, fs::perm_options::remove);
            fs::permissions(fullHome / "Molvane", fs::perms::owner_write, fs::perm_options::remove);
        }
        const auto before = snapshot(fullHome);

        auto runChild = [](const fs::path& home) {
            QProcess child;
            QStringList args = {QCoreApplication::applicationFilePath(), QStringLiteral("--prepare-as-child"),
                                QString::fromStdString(home.string())};
            QString program = args.takeFirst();
            if (geteuid() == 0) {
                args.prepend(program);
                args = QStringList({QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                    QStringLiteral("--clear-groups")}) + args;
                program = QStringLiteral("setpriv");
            }
            child.start(program, args);
            child.waitForFinished(60000);
            return QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        };

        const QStringList bare = runChild(bareHome);
        QCOMPARE(bare.value(0), QStringLiteral("refused"));
        QVERIFY2(bare.value(1).startsWith(QString::number(int(MessageBox::Icon::Stop)) + " ") &&
                     bare.value(1).contains(QStringLiteral("作れません")),
                 qPrintable(bare.join('|')));
        QVERIFY(!fs::exists(bareHome / "Molvane"));

        const QStringList full = runChild(fullHome);
        QCOMPARE(full.value(0), QStringLiteral("prepared"));
        QVERIFY2(full.value(1).startsWith(QString::number(int(MessageBox::Icon::Exclamation)) + " ") &&
                     full.join('\n').contains(QStringLiteral("sample0524.txt")),
                 qPrintable(full.join('|')));
        QCOMPARE(snapshot(fullHome), before);
    }

    void settingsDialogMakesThePerUserFolderCurrent()
    {
        TestFolder folder;
        const fs::path home = folder.file("home");
        fs::create_directory(home);
        CTestApp app(installedPlace(home, folder.path()));
        MessageBoxRecorder boxes;
        QVERIFY(app.PrepareWorkFolder());
        fs::current_path(folder.path());
        CSettingDlg dialog;
        QCOMPARE(fs::current_path(), home / "Molvane");
        // It found the copied question file there: 24 questions.
        QCOMPARE(dialog.ui()->countSlider->maximum(), 24);
        appProfile().setPath(folder.iniPath());
    }
};

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--prepare-as-child")
        return prepareAsChild(argv[2]);
    TestWorkFolder test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_work_folder.moc"
