// The program started from a terminal with no display, as from a text
// console or over ssh: bad arguments are refused with exit status 2 before
// the toolkit looks for a display, and --manual says whether the desktop's
// opener showed the manual.

#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Runs the program without a display; `path` replaces PATH when given.
Run runProgram(const QStringList& args, const QString& path = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    if (!path.isNull())
        env.insert(QStringLiteral("PATH"), path);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(MOLVANE_PROGRAM), args);
    Run run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : 128 + process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// A folder holding a stand-in for the desktop's opener that notes what it
// was given and ends with the given status.
void writeOpener(const QTemporaryDir& dir, int status)
{
    QFile opener(dir.filePath(QStringLiteral("xdg-open")));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write(QStringLiteral("#!/bin/sh\necho \"$1\" > '%1'\nexit %2\n")
                     .arg(dir.filePath(QStringLiteral("opened")))
                     .arg(status)
                     .toUtf8());
    opener.close();
    QVERIFY(opener.setPermissions(opener.permissions() | QFileDevice::ExeOwner));
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void badArgumentsExitWithTwoWithoutADisplay_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("named");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--no-such-option")}
                                        << QStringLiteral("--no-such-option");
        QTest::newRow("after toolkit options")
            << QStringList{QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("-reverse"),
                           QStringLiteral("--bogus")}
            << QStringLiteral("--bogus");
        QTest::newRow("a file") << QStringList{QStringLiteral("sample0524.txt")} << QStringLiteral("sample0524.txt");
        QTest::newRow("toolkit option without its value") << QStringList{QStringLiteral("-display")}
                                                          << QStringLiteral("-display");
        QTest::newRow("before --help") << QStringList{QStringLiteral("-x"), QStringLiteral("--help")}
                                       << QStringLiteral("-x");
        QTest::newRow("control characters shown")
            << QStringList{QStringLiteral("--a\x1b]0;x\x07")} << QStringLiteral("--a␛]0;x␇");
    }

    void badArgumentsExitWithTwoWithoutADisplay()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, named);
        const Run run = runProgram(args);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(named), qPrintable(run.err));
        QVERIFY(!run.err.contains(QStringLiteral("\x1b")));
        QVERIFY(run.out.isEmpty());
    }

    void toolkitOptionsAreLeftToTheToolkit()
    {
        const Run run = runProgram({QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("--display"),
                                    QStringLiteral(":5"), QStringLiteral("-style=fusion"), QStringLiteral("-reverse"),
                                    QStringLiteral("--version")});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QStringLiteral("molvane 1.4.0\n"));
        QVERIFY(run.err.isEmpty());
    }

    void manualSaysWhetherTheOpenerShowedIt()
    {
        const QString manual = QStringLiteral("file://") + QFileInfo(QStringLiteral(MOLVANE_PROGRAM)).absolutePath() +
                               QStringLiteral("/manual/index.html");
        QTemporaryDir good;
        writeOpener(good, 0);
        Run run = runProgram({QStringLiteral("--manual")}, good.path() + QStringLiteral(":/usr/bin:/bin"));
        QCOMPARE(run.status, 0);
        QFile opened(good.filePath(QStringLiteral("opened")));
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(opened.readAll()).trimmed(), manual);

        // A browser that refuses to start (as one run as root does).
        QTemporaryDir refusing;
        writeOpener(refusing, 4);
        run = runProgram({QStringLiteral("--manual")}, refusing.path() + QStringLiteral(":/usr/bin:/bin"));
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("説明書")) && run.err.contains(QStringLiteral("4")), qPrintable(run.err));

        // No opener at all.
        QTemporaryDir empty;
        run = runProgram({QStringLiteral("--manual")}, empty.path());
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("xdg-open")), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
