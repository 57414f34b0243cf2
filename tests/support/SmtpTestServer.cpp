#include "SmtpTestServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

SmtpTestServer::SmtpTestServer() : SmtpTestServer(Options()) {}

SmtpTestServer::SmtpTestServer(const Options& options) : m_options(options) {}

SmtpTestServer::~SmtpTestServer()
{
    stop();
}

bool SmtpTestServer::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    QStringList args{QStringLiteral(MOLVANE_TEST_SUPPORT_DIR "/smtp_server.py"), m_dir.path()};
    if (m_options.tls)
        args << QStringLiteral("--tls");
    if (!m_options.login.isEmpty())
        args << QStringLiteral("--auth") << m_options.login + QLatin1Char(':') + m_options.password;
    if (m_options.authWithoutTls)
        args << QStringLiteral("--auth-plain");
    if (m_options.silent)
        args << QStringLiteral("--silent");
    if (!m_options.stallAt.isEmpty())
        args << QStringLiteral("--stall") << m_options.stallAt;
    if (m_options.trickle)
        args << QStringLiteral("--trickle");
    if (m_options.holdMs > 0)
        args << QStringLiteral("--hold-ms") << QString::number(m_options.holdMs);
    if (!m_options.certificateName.isEmpty())
        args << QStringLiteral("--cert-name") << m_options.certificateName;

    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start /usr/bin/python3: ") + m_process.errorString();
        return false;
    }
    // The server prints "PORT <n>" once it listens.
    QDeadlineTimer deadline(30000);
    QByteArray output;
    while (!deadline.hasExpired()) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            if (m_process.state() != QProcess::Running)
                break;
            continue;
        }
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.startsWith("PORT ")) {
                m_port = line.mid(5).toInt();
                return m_port > 0;
            }
            output += line + '\n';
        }
    }
    m_error = QStringLiteral("SMTP test server did not start: ") + QString::fromUtf8(output) +
              QString::fromUtf8(m_process.readAllStandardError());
    stop();
    return false;
}

void SmtpTestServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

std::string SmtpTestServer::serverArgument() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string SmtpTestServer::caFile() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("ca.pem")).toStdString();
}

QList<ReceivedMail> SmtpTestServer::messages() const
{
    QList<ReceivedMail> out;
    const QDir dir(m_dir.path());
    for (int n = 1;; ++n) {
        QFile json(dir.filePath(QStringLiteral("message-%1.json").arg(n)));
        if (!json.open(QIODevice::ReadOnly))
            break;
        const QJsonObject info = QJsonDocument::fromJson(json.readAll()).object();
        ReceivedMail mail;
        mail.mailFrom = info.value(QStringLiteral("mail_from")).toString();
        for (const auto& r : info.value(QStringLiteral("rcpt_tos")).toArray())
            mail.recipients << r.toString();
        mail.authenticated = info.value(QStringLiteral("authenticated")).toBool();
        mail.tls = info.value(QStringLiteral("tls")).toBool();
        for (const auto& h : info.value(QStringLiteral("headers")).toArray()) {
            const QJsonArray pair = h.toArray();
            mail.headers.append({pair.at(0).toString(), pair.at(1).toString()});
        }
        mail.subject = info.value(QStringLiteral("subject")).toString();
        mail.body = info.value(QStringLiteral("body")).toString();
        for (const auto& d : info.value(QStringLiteral("parse_defects")).toArray())
            mail.parseDefects << d.toString();
        QFile raw(dir.filePath(QStringLiteral("message-%1.eml").arg(n)));
        if (raw.open(QIODevice::ReadOnly))
            mail.raw = raw.readAll();
        out << mail;
    }
    return out;
}

QStringList SmtpTestServer::authAttempts() const
{
    QFile file(QDir(m_dir.path()).filePath(QStringLiteral("auth-attempts.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int SmtpTestServer::unusedPort()
{
    // Bind to a free port, then let it go: nothing listens there afterwards.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 9; // discard, not served on a test machine
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int port = 9;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}
