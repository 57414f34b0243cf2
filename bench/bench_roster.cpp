// Times molvane-roster on a test centre's mailbox of 20 000 mails (10 000
// tests, each a start mail and a result mail of 10 questions, from 100 PCs):
// read from a Maildir, from an mbox file and from a real IMAP server on
// loopback (dovecot, started for the purpose), each set against the time
// `cat` takes to read the same files.
//
//   bench_roster [folder]   (default: a new folder under the system's temp)

#include "roster/MailSource.h"
#include "roster/Roster.h"
#include "roster/RosterOutput.h"
#include "support/ReportMails.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kTests = 10000;

double best(int runs, const std::function<double()>& fn)
{
    double b = 1e300;
    for (int i = 0; i < runs; ++i)
        b = std::min(b, fn());
    return b;
}

double timeCommand(const QString& program, const QStringList& args, const QProcessEnvironment& env = {},
                   QByteArray* output = nullptr)
{
    QProcess process;
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    if (!output)
        process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    process.waitForFinished(-1);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
    if (output)
        *output = process.readAllStandardOutput();
    return ms;
}

// cat of every file of a Maildir, as one command.
double timeCat(const QString& maildir)
{
    return timeCommand(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"), QStringLiteral("cat \"$1\"/new/* > /dev/null"), QStringLiteral("sh"), maildir});
}

std::vector<std::string> makeMails()
{
    std::vector<std::string> mails;
    mails.reserve(2 * kTests);
    const std::time_t day = 1796000000;
    const char* marks[] = {"**-*****-*", "*****-****", "***-*-****", "**********"};
    for (int t = 0; t < kTests; ++t) {
        const std::string pc = "pc" + std::to_string(t % 100) + "@centre.example";
        const std::string name = sjis::fromUtf8("受験者") + std::to_string(t);
        const std::time_t start = day + t * 6;
        mails.push_back(reportmails::start(pc, name, start));
        mails.push_back(reportmails::result(pc, name, marks[t % 4], start + 300));
    }
    return mails;
}

void writeMaildir(const QString& maildir, const std::vector<std::string>& mails, uid_t uid, gid_t gid)
{
    for (const char* sub : {"/cur", "/new", "/tmp"})
        QDir().mkpath(maildir + QLatin1String(sub));
    for (std::size_t i = 0; i < mails.size(); ++i) {
        const QString path = maildir + QStringLiteral("/new/%1.M%2.bench").arg(1700000000 + i).arg(i);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(mails[i].data(), static_cast<qint64>(mails[i].size()));
        file.close();
        if (::geteuid() == 0 && ::chown(QFile::encodeName(path).constData(), uid, gid) != 0)
            std::perror("chown");
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    const QString program = QStringLiteral(MOLVANE_ROSTER_PROGRAM);

    std::printf("making %d mails (%d tests)...\n", 2 * kTests, kTests);
    const std::vector<std::string> mails = makeMails();
    std::size_t bytes = 0;
    for (const std::string& m : mails)
        bytes += m.size();
    const QString maildir = folder + QStringLiteral("/Maildir");
    writeMaildir(maildir, mails, ::getuid(), ::getgid());
    const QString mbox = folder + QStringLiteral("/inbox.mbox");
    {
        QFile file(mbox);
        file.open(QIODevice::WriteOnly);
        for (const std::string& m : mails) {
            file.write("From MAILER-DAEMON Mon Nov 30 09:00:00 2026\n");
            file.write(m.data(), static_cast<qint64>(m.size()));
            file.write("\n");
        }
    }
    std::printf("%zu mails, %.1f MB\n\n", mails.size(), static_cast<double>(bytes) / 1e6);

    // In this process: reading, pairing and the CSV text, without start-up.
    const double library = best(3, [&] {
        QElapsedTimer timer;
        timer.start();
        roster::RosterBuilder builder;
        roster::SourceError error;
        roster::readMailFiles(QFile::encodeName(maildir).toStdString(),
                              [&builder](std::string_view origin, std::string_view raw) { builder.add(origin, raw); },
                              error);
        const roster::Roster r = builder.finish();
        const std::string csv = roster::rosterCsv(r, false);
        if (r.rows.size() != kTests)
            std::fprintf(stderr, "unexpected rows: %zu\n", r.rows.size());
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    });
    const double catMaildir = best(3, [&] { return timeCat(maildir); });
    const double rosterMaildir = best(3, [&] {
        return timeCommand(program, {maildir, QStringLiteral("-o"), folder + QStringLiteral("/maildir.csv")});
    });
    const double catMbox = best(3, [&] { return timeCommand(QStringLiteral("/bin/cat"), {mbox}); });
    const double rosterMbox = best(3, [&] {
        return timeCommand(program, {mbox, QStringLiteral("-o"), folder + QStringLiteral("/mbox.csv")});
    });
    const double rosterHtml = best(3, [&] {
        return timeCommand(program, {maildir, QStringLiteral("--html"), QStringLiteral("-o"), folder + QStringLiteral("/page.html")});
    });

    std::printf("%-52s %10s\n", "", "ms");
    std::printf("%-52s %10.0f\n", "cat of the Maildir's 20 000 files", catMaildir);
    std::printf("%-52s %10.0f\n", "molvane-roster Maildir -o roster.csv", rosterMaildir);
    std::printf("%-52s %10.0f\n", "  of which reading, pairing, CSV (in process)", library);
    std::printf("%-52s %10.0f\n", "molvane-roster Maildir --html", rosterHtml);
    std::printf("%-52s %10.0f\n", "cat of the mbox file", catMbox);
    std::printf("%-52s %10.0f\n", "molvane-roster inbox.mbox -o roster.csv", rosterMbox);

    // The same mails on a real IMAP server on loopback.
    QProcess server;
    server.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(MOLVANE_TEST_SUPPORT_DIR "/imap_server.py"), folder + QStringLiteral("/imap"),
                  QStringLiteral("--password"), QStringLiteral("bench")});
    int port = 0;
    QString serverMaildir;
    QString ca;
    while (server.waitForReadyRead(60000) || server.canReadLine()) {
        while (server.canReadLine()) {
            const QString line = QString::fromUtf8(server.readLine().trimmed());
            if (line.startsWith(QLatin1String("PORT ")))
                port = line.mid(5).toInt();
            else if (line.startsWith(QLatin1String("MAILDIR ")))
                serverMaildir = line.mid(8);
            else if (line.startsWith(QLatin1String("CA ")))
                ca = line.mid(3);
        }
        if (port && !serverMaildir.isEmpty() && !ca.isEmpty())
            break;
    }
    if (!port) {
        std::printf("\nno IMAP server (dovecot-imapd): %s\n", server.readAllStandardError().constData());
        return 0;
    }
    struct stat owner{};
    ::stat(QFile::encodeName(serverMaildir).constData(), &owner);
    writeMaildir(serverMaildir, mails, owner.st_uid, owner.st_gid);
    const double catServer = best(3, [&] { return timeCat(serverMaildir); });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MOLVANE_IMAP_PASSWORD"), QStringLiteral("bench"));
    const QStringList imapArgs = {QStringLiteral("imap://boss@127.0.0.1:%1/INBOX").arg(port), QStringLiteral("--cacert"),
                                  ca, QStringLiteral("-o"), folder + QStringLiteral("/imap.csv")};
    const double first = timeCommand(program, imapArgs, env);
    const double again = best(3, [&] { return timeCommand(program, imapArgs, env); });
    server.terminate();
    server.waitForFinished(15000);

    std::printf("%-52s %10.0f\n", "cat of the server's 20 000 files", catServer);
    std::printf("%-52s %10.0f\n", "molvane-roster imap://, first (server builds index)", first);
    std::printf("%-52s %10.0f\n", "molvane-roster imap://, again (STARTTLS, 40 FETCH)", again);
    return 0;
}
