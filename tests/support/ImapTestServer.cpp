#include "ImapTestServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

ImapTestServer::ImapTestServer(Tls tls, const QString& hostileMode) : m_tls(tls), m_hostileMode(hostileMode) {}

ImapTestServer::~ImapTestServer()
{
    stop();
}

bool ImapTestServer::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const char* tls = m_tls == Tls::StartTls ? "starttls" : m_tls == Tls::Implicit ? "implicit" : "none";
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    if (!m_hostileMode.isEmpty())
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(MOLVANE_TEST_SUPPORT_DIR "/hostile_imap_server.py"), m_dir.path(),
                         QStringLiteral("--mode"), m_hostileMode, QStringLiteral("--tls"), QString::fromLatin1(tls)});
    else
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(MOLVANE_TEST_SUPPORT_DIR "/imap_server.py"), m_dir.path(), QStringLiteral("--tls"),
                         QString::fromLatin1(tls), QStringLiteral("--user"), QString::fromLatin1(kUser),
                         QStringLiteral("--password"), QString::fromLatin1(kPassword)});
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start /usr/bin/python3: ") + m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            if (m_process.state() != QProcess::Running)
                break;
            continue;
        }
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine().trimmed());
            const QString value = line.section(QLatin1Char(' '), 1);
            if (line.startsWith(QLatin1String("PORT ")))
                m_port = value.toInt();
            else if (line.startsWith(QLatin1String("PID ")))
                m_group = value.toLongLong();
            else if (line.startsWith(QLatin1String("MAILDIR ")))
                m_maildir = value;
            else if (line.startsWith(QLatin1String("CA ")))
                m_caFile = value;
            if (m_port > 0 && (m_group > 0 || !m_hostileMode.isEmpty()) &&
                (!m_maildir.isEmpty() || !m_hostileMode.isEmpty()) && (m_tls == Tls::None || !m_caFile.isEmpty()))
                return true;
        }
    }
    m_error = QStringLiteral("IMAP test server did not start: ") + QString::fromUtf8(m_process.readAllStandardError());
    stop();
    return false;
}

void ImapTestServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    resume();
    m_process.terminate();
    if (!m_process.waitForFinished(15000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString ImapTestServer::url(const QString& mailbox) const
{
    return QStringLiteral("%1://%2@127.0.0.1:%3/%4")
        .arg(m_tls == Tls::Implicit ? QStringLiteral("imaps") : QStringLiteral("imap"), QString::fromLatin1(kUser))
        .arg(m_port)
        .arg(mailbox);
}

void ImapTestServer::deliver(const QByteArray& raw)
{
    struct stat owner{};
    ::stat(QFile::encodeName(m_maildir).constData(), &owner);
    // Names in the order of delivery, as a delivery agent's are.
    ++m_delivered;
    const QString name = QStringLiteral("%1.M%2P%3.test").arg(1700000000 + m_delivered).arg(m_delivered).arg(::getpid());
    const QString tmp = m_maildir + QStringLiteral("/tmp/") + name;
    QFile file(tmp);
    if (!file.open(QIODevice::WriteOnly) || file.write(raw) != raw.size())
        qFatal("cannot deliver to %s", qPrintable(tmp));
    file.close();
    if (::chown(QFile::encodeName(tmp).constData(), owner.st_uid, owner.st_gid) != 0 && ::geteuid() == 0)
        qFatal("cannot hand %s to the mail user", qPrintable(tmp));
    QFile::rename(tmp, m_maildir + QStringLiteral("/new/") + name);
}

void ImapTestServer::addMailbox(const QString& name)
{
    struct stat owner{};
    ::stat(QFile::encodeName(m_maildir).constData(), &owner);
    const QString folder = m_maildir + QStringLiteral("/.") + name;
    for (const char* sub : {"", "/cur", "/new", "/tmp"}) {
        QDir().mkpath(folder + QLatin1String(sub));
        if (::chown(QFile::encodeName(folder + QLatin1String(sub)).constData(), owner.st_uid, owner.st_gid) != 0 &&
            ::geteuid() == 0)
            qFatal("cannot hand %s to the mail user", qPrintable(folder));
    }
}

QStringList ImapTestServer::mailFiles() const
{
    QStringList out;
    for (const char* sub : {"/cur", "/new"}) {
        QDirIterator it(m_maildir + QLatin1String(sub), QDir::Files);
        while (it.hasNext()) {
            it.next();
            out << QLatin1String(sub) + QLatin1Char('/') + it.fileName() + QLatin1Char(' ') +
                       QString::number(it.fileInfo().size());
        }
    }
    out.sort();
    return out;
}

QByteArray ImapTestServer::log() const
{
    QFile file(m_dir.filePath(m_hostileMode.isEmpty() ? QStringLiteral("dovecot.log") : QStringLiteral("commands.txt")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void ImapTestServer::pause()
{
    if (m_group > 0)
        ::kill(-static_cast<pid_t>(m_group), SIGSTOP);
}

void ImapTestServer::resume()
{
    if (m_group > 0)
        ::kill(-static_cast<pid_t>(m_group), SIGCONT);
}
