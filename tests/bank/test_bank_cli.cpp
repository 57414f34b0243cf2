// molvane-bank as a user runs it: its help in the system's language, its exit
// statuses, its messages, nothing written and nothing lost when it refuses,
// and the catalogue as a browser shows it.

#include "BankSamples.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run run(const QStringList& args, const std::filesystem::path& cwd, const QStringList& env = {},
        const QByteArray& input = {}, const QString& program = QStringLiteral(MOLVANE_BANK_PROGRAM),
        const QStringList& prefix = {})
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.remove(QStringLiteral("LANGUAGE"));
    e.remove(QStringLiteral("LC_MESSAGES"));
    e.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    for (const QString& kv : env) {
        const qsizetype eq = kv.indexOf(QLatin1Char('='));
        if (eq < 0)
            e.remove(kv);
        else
            e.insert(kv.left(eq), kv.mid(eq + 1));
    }
    p.setProcessEnvironment(e);
    p.setWorkingDirectory(QString::fromStdString(cwd.string()));
    if (prefix.isEmpty()) {
        p.start(program, args);
    } else {
        p.start(prefix.first(), prefix.mid(1) + QStringList{program} + args);
    }
    if (!p.waitForStarted())
        return {};
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

const char* const kHeader = "番号,画像,問題,解答1,解答2,解答3,解答4,解答5,正解,前回\r\n";

std::filesystem::file_time_type stamp(const std::filesystem::path& p)
{
    return std::filesystem::last_write_time(p);
}

} // namespace

class TestBankCli : public QObject {
    Q_OBJECT
private slots:
    void helpFollowsTheSystemLanguage()
    {
        QTemporaryDir dir;
        const std::filesystem::path cwd = dir.path().toStdString();
        const Run ja = run({QStringLiteral("--help")}, cwd, {QStringLiteral("LC_ALL"), QStringLiteral("LANG=ja_JP.UTF-8")});
        QCOMPARE(ja.status, 0);
        QVERIFY(ja.out.startsWith(QStringLiteral("使い方: molvane-bank")));
        const Run de = run({QStringLiteral("--help")}, cwd, {QStringLiteral("LC_ALL=de_DE.UTF-8"), QStringLiteral("LANG=ja_JP.UTF-8")});
        QVERIFY(de.out.startsWith(QStringLiteral("Usage: molvane-bank")));
        const Run import = run({QStringLiteral("import"), QStringLiteral("--help")}, cwd);
        QVERIFY(import.out.startsWith(QStringLiteral("Usage: molvane-bank import")));
        // Messages too.
        const Run bad = run({QStringLiteral("check"), QStringLiteral("gone.txt")}, cwd,
                            {QStringLiteral("LC_ALL"), QStringLiteral("LANG=ja_JP.UTF-8")});
        QCOMPARE(bad.status, 2);
        QCOMPARE(bad.err, QStringLiteral("molvane-bank: 問題ファイル gone.txt を読めません\n"));
    }

    void exitStatuses()
    {
        TestFolder folder(false);
        copySample(folder.path());
        const auto cwd = folder.path();
        const Run clean = run({QStringLiteral("check"), QStringLiteral("sample0524.txt"), QStringLiteral("--settings"),
                               QStringLiteral("Parameter.INI")},
                              cwd);
        QCOMPARE(clean.status, 0);
        QCOMPARE(clean.out, QStringLiteral("sample0524.txt: 24 questions checked, 0 findings\n"));

        folder.writeFile("sample0524.txt", readBytes(folder.file("sample0524.txt")) + "xx");
        const Run found = run({QStringLiteral("check"), QStringLiteral("sample0524.txt"), QStringLiteral("--json")}, cwd);
        QCOMPARE(found.status, 1);
        const QJsonObject json = QJsonDocument::fromJson(found.out.toUtf8()).object();
        QCOMPARE(json.value(QStringLiteral("findings")).toInt(), 1);
        QCOMPARE(json.value(QStringLiteral("items")).toArray().at(0).toObject().value(QStringLiteral("code")).toString(),
                 QStringLiteral("trailing-bytes"));

        for (const QStringList& args : {QStringList{}, QStringList{QStringLiteral("frobnicate"), QStringLiteral("x")},
                                        QStringList{QStringLiteral("check"), QStringLiteral("--bogus"), QStringLiteral("x")},
                                        QStringList{QStringLiteral("check"), QStringLiteral("sample0524.txt"), QStringLiteral("--to"), QStringLiteral("csv")},
                                        QStringList{QStringLiteral("export"), QStringLiteral("sample0524.txt")},
                                        QStringList{QStringLiteral("export"), QStringLiteral("sample0524.txt"), QStringLiteral("--to"), QStringLiteral("pdf")},
                                        QStringList{QStringLiteral("import"), QStringLiteral("x.csv"), QStringLiteral("--from"), QStringLiteral("csv")}}) {
            const Run r = run(args, cwd);
            QVERIFY2(r.status == 2, qPrintable(args.join(QLatin1Char(' '))));
            QVERIFY(!r.err.isEmpty());
            QVERIFY(r.out.isEmpty());
        }
    }

    void importNeverLosesTheBank()
    {
        TestFolder folder(false);
        copySample(folder.path());
        const auto cwd = folder.path();
        const std::string bank = readBytes(folder.file("sample0524.txt"));
        const std::string ini = readBytes(folder.file("Parameter.INI"));
        const auto before = stamp(folder.file("sample0524.txt"));
        const QString csv = QStringLiteral("in.csv");
        folder.writeFile("in.csv", std::string(kHeader) + "1,,良い,a,b,c,d,e,1,\r\n2,,\"二行\nの問題\",a,b,c,d,e,6,\r\n"
                                                          "3,008,q3,a,b,c,d,e,1,\r\n");

        // --strict: every problem with its line, nothing written.
        const Run refused = run({QStringLiteral("import"), csv, QStringLiteral("--from"), QStringLiteral("csv"),
                                 QStringLiteral("-o"), QStringLiteral("sample0524.txt"), QStringLiteral("--append"),
                                 QStringLiteral("--strict")},
                                cwd);
        QCOMPARE(refused.status, 2);
        QVERIFY(refused.err.contains(QStringLiteral("in.csv:4: the right-answer cell \"6\" is not 1 to 5\n")));
        QVERIFY(refused.err.contains(QStringLiteral("in.csv:5: picture not found: ")));
        QVERIFY(refused.err.endsWith(
            QStringLiteral("molvane-bank: --strict: nothing written to sample0524.txt: 2 questions do not fit\n")));
        QCOMPARE(readBytes(folder.file("sample0524.txt")), bank);
        QCOMPARE(stamp(folder.file("sample0524.txt")), before);

        // By default what fits comes in, the rest is named, and the exit
        // status says so.
        const Run partial = run({QStringLiteral("import"), csv, QStringLiteral("--from"), QStringLiteral("csv"),
                                 QStringLiteral("-o"), QStringLiteral("partial.txt")},
                                cwd);
        QCOMPARE(partial.status, 1);
        QCOMPARE(partial.out, QStringLiteral("1 question written to partial.txt, 2 questions skipped\n"));
        QVERIFY(partial.err.contains(QStringLiteral("in.csv:4: the right-answer cell \"6\" is not 1 to 5\n")));
        QCOMPARE(readBytes(folder.file("partial.txt")).size(), std::size_t(500));
        // An export counts what it wrote, not what it read.
        const Run aiken = run({QStringLiteral("export"), QStringLiteral("partial.txt"), QStringLiteral("--to"),
                               QStringLiteral("aiken"), QStringLiteral("-o"), QStringLiteral("p.aiken")},
                              cwd);
        QCOMPARE(aiken.status, 0);
        QCOMPARE(aiken.out, QStringLiteral("1 question written to p.aiken (aiken)\n"));
        folder.writeFile("two.txt", bankBytes({bankRecord("q", {"a", "b", "c", "d", "e"}, 1),
                                               bankRecord("r", {"a", "b", "c", "d", "e"}, 0)}));
        const Run gift = run({QStringLiteral("export"), QStringLiteral("two.txt"), QStringLiteral("--to"),
                              QStringLiteral("gift"), QStringLiteral("-o"), QStringLiteral("two.gift")},
                             cwd);
        QCOMPARE(gift.out, QStringLiteral("1 question written to two.gift (gift), 1 question left out\n"));
        // Every question came in, but not all of one: that is no plain success either.
        folder.writeFile("audio.gift", "[html]聞いて <audio src\\=\"a.mp3\"></audio>{=a ~b ~c ~d ~e}\n");
        const Run audio = run({QStringLiteral("import"), QStringLiteral("audio.gift"), QStringLiteral("--from"),
                               QStringLiteral("gift"), QStringLiteral("-o"), QStringLiteral("audio.txt")},
                              cwd);
        QCOMPARE(audio.status, 1);
        QCOMPARE(audio.err, QStringLiteral("audio.gift:1: warning: the audio was left out: a record has no place for it\n"));
        QCOMPARE(audio.out, QStringLiteral("1 question written to audio.txt\n"));

        // Good questions, but the bank is there: --append or --force.
        folder.writeFile("in.csv", std::string(kHeader) + "1,,良い,a,b,c,d,e,1,\r\n");
        const QStringList importArgs{QStringLiteral("import"), csv, QStringLiteral("--from"), QStringLiteral("csv"),
                                     QStringLiteral("-o")};
        QCOMPARE(run(importArgs + QStringList{QStringLiteral("sample0524.txt")}, cwd).status, 2);
        QCOMPARE(stamp(folder.file("sample0524.txt")), before);
        QCOMPARE(run(importArgs + QStringList{QStringLiteral("sample0524.txt"), QStringLiteral("--append"), QStringLiteral("--force")}, cwd).status, 2);
        // Never the settings, whatever the options.
        QCOMPARE(run(importArgs + QStringList{QStringLiteral("PARAMETER.ini"), QStringLiteral("--force")}, cwd).status, 2);
        QCOMPARE(readBytes(folder.file("Parameter.INI")), ini);

        const Run appended = run(importArgs + QStringList{QStringLiteral("sample0524.txt"), QStringLiteral("--append")}, cwd);
        QCOMPARE(appended.status, 0);
        QCOMPARE(appended.out, QStringLiteral("1 question added to sample0524.txt (25 in all)\n"));
        QCOMPARE(readBytes(folder.file("sample0524.txt")).substr(0, bank.size()), bank);
        QCOMPARE(readBytes(folder.file("sample0524.txt")).size(), bank.size() + 500);
        QCOMPARE(run(importArgs + QStringList{QStringLiteral("sample0524.txt"), QStringLiteral("--force")}, cwd).status, 0);
        QCOMPARE(readBytes(folder.file("sample0524.txt")).size(), std::size_t(500));

        // An export never replaces a file without --force either.
        folder.writeFile("out.csv", "mine");
        const QStringList exportArgs{QStringLiteral("export"), QStringLiteral("sample0524.txt"), QStringLiteral("--to"),
                                     QStringLiteral("csv"), QStringLiteral("-o"), QStringLiteral("out.csv")};
        QCOMPARE(run(exportArgs, cwd).status, 2);
        QCOMPARE(readBytes(folder.file("out.csv")), std::string("mine"));
        QCOMPARE(run(exportArgs + QStringList{QStringLiteral("--force")}, cwd).status, 0);
        QVERIFY(readBytes(folder.file("out.csv")).rfind("\xEF\xBB\xBF", 0) == 0);
    }

    void aFolderItMayNotWrite()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to run as another user");
        QTemporaryDir dir;
        const std::filesystem::path cwd = dir.path().toStdString();
        copySample(cwd / "data");
        std::filesystem::permissions(cwd, std::filesystem::perms(0755));
        const std::string bank = readBytes(cwd / "data/sample0524.txt");
        const QStringList nobody{QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                 QStringLiteral("--clear-groups")};
        // The CSV goes out to standard output, comes back in, and the bank
        // cannot be replaced by this user.
        const Run exported = run({QStringLiteral("export"), QStringLiteral("data/sample0524.txt"), QStringLiteral("--to"),
                                  QStringLiteral("csv")},
                                 cwd, {}, {}, QStringLiteral(MOLVANE_BANK_PROGRAM), nobody);
        QCOMPARE(exported.status, 0);
        const Run refused = run({QStringLiteral("import"), QStringLiteral("-"), QStringLiteral("--from"), QStringLiteral("csv"),
                                 QStringLiteral("-o"), QStringLiteral("data/sample0524.txt"), QStringLiteral("--force")},
                                cwd, {}, exported.out.toUtf8(), QStringLiteral(MOLVANE_BANK_PROGRAM), nobody);
        QCOMPARE(refused.status, 2);
        QVERIFY(refused.err.contains(QStringLiteral("cannot write data/sample0524.txt")));
        QCOMPARE(readBytes(cwd / "data/sample0524.txt"), bank);
        QCOMPARE(std::distance(std::filesystem::directory_iterator(cwd / "data"), {}), 4);
        // A picture it may write, a bank it may not: the picture goes again.
        std::filesystem::permissions(cwd / "data/256bitmap", std::filesystem::perms(0777));
        writeBitmap(cwd / "new.bmp", 50, 50, 0x0000ff);
        std::ofstream(cwd / "pic.csv") << kHeader << "1,new.bmp,q,a,b,c,d,e,1,\r\n";
        const Run picture = run({QStringLiteral("import"), QStringLiteral("pic.csv"), QStringLiteral("--from"),
                                 QStringLiteral("csv"), QStringLiteral("-o"), QStringLiteral("data/new.txt")},
                                cwd, {}, {}, QStringLiteral(MOLVANE_BANK_PROGRAM), nobody);
        QCOMPARE(picture.status, 2);
        QCOMPARE(std::distance(std::filesystem::directory_iterator(cwd / "data/256bitmap"), {}), 6);
        // As its owner it goes through, byte for byte.
        const Run back = run({QStringLiteral("import"), QStringLiteral("-"), QStringLiteral("--from"), QStringLiteral("csv"),
                              QStringLiteral("-o"), QStringLiteral("data/back.txt")},
                             cwd, {}, exported.out.toUtf8());
        QCOMPARE(back.status, 0);
        QCOMPARE(readBytes(cwd / "data/back.txt"), bank);
    }

    void catalogueInABrowser()
    {
        TestFolder folder(false);
        copySample(folder.path());
        const Run html = run({QStringLiteral("export"), QStringLiteral("sample0524.txt"), QStringLiteral("--to"),
                              QStringLiteral("html"), QStringLiteral("--answers"), QStringLiteral("-o"),
                              QStringLiteral("catalogue.html")},
                             folder.path());
        QCOMPARE(html.status, 0);
        QTemporaryDir profile;
        const QString shot = QString::fromStdString(folder.file("shot.png").string());
        QProcess chromium;
        chromium.start(chromiumProgram(),
                       headlessChromium(profile.path())
                           << QStringLiteral("--window-size=1000,700") << QStringLiteral("--screenshot=") + shot
                           << QStringLiteral("file://") + QString::fromStdString(folder.file("catalogue.html").string()));
        QVERIFY2(chromium.waitForStarted(), "chromium is needed");
        QVERIFY(chromium.waitForFinished(60000));
        const QImage image(shot);
        QVERIFY(!image.isNull());
        // The first question's picture, a red disc on white, is on screen:
        // the embedded bitmap was decoded and shown at its size.
        int red = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = image.width() / 2; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                red += c.red() > 150 && c.green() < 60 && c.blue() < 80;
            }
        QVERIFY2(red > 2000, qPrintable(QString::number(red)));
    }
};

QTEST_MAIN(TestBankCli)
#include "test_bank_cli.moc"
