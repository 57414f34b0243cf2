#pragma once
// A real IMAP server for the roster tests: dovecot with its own configuration
// in a temporary folder (tests/support/imap_server.py), on a free port of
// 127.0.0.1, with one user whose Maildir the test fills directly.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class ImapTestServer {
public:
    enum class Tls { StartTls, Implicit, None };
    static constexpr const char* kUser = "boss";
    static constexpr const char* kPassword = "s3cret-Pa55";

    // With a hostile mode, tests/support/hostile_imap_server.py in that mode
    // (TLS: Implicit or StartTls) instead of dovecot: no mails, no log.
    explicit ImapTestServer(Tls tls = Tls::StartTls, const QString& hostileMode = QString());
    ~ImapTestServer();
    ImapTestServer(const ImapTestServer&) = delete;
    ImapTestServer& operator=(const ImapTestServer&) = delete;

    // Starts dovecot and waits until it answers. False on failure (see error()).
    bool start();
    void stop();
    QString error() const { return m_error; }

    int port() const { return m_port; }
    QString caFile() const { return m_caFile; }
    // imap://boss@127.0.0.1:<port>/<mailbox> (imaps:// with implicit TLS).
    QString url(const QString& mailbox = QStringLiteral("INBOX")) const;

    // Puts a mail into the user's inbox as a delivery agent would; mails
    // delivered one after another keep that order on the server.
    void deliver(const QByteArray& raw);
    // Makes another mailbox (a Maildir++ folder) for the user.
    void addMailbox(const QString& name);

    // Every mail file of the user with its flags (cur/ and new/, names and
    // sizes), to see that reading changed nothing.
    QStringList mailFiles() const;
    // What the server logged (a hostile one: the commands it received).
    QByteArray log() const;

    // Stops and resumes every process of the server (it stops answering).
    void pause();
    void resume();

private:
    Tls m_tls;
    QString m_hostileMode;
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    qint64 m_group = 0;
    QString m_maildir;
    QString m_caFile;
    QString m_error;
    int m_delivered = 0;
};
