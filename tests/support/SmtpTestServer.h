#pragma once
// A real SMTP server for the mail tests (tests/support/smtp_server.py run by
// /usr/bin/python3). It listens on 127.0.0.1 on a free port and keeps every
// message it receives in a temporary folder.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QList>
#include <string>

struct ReceivedMail {
    QString mailFrom;
    QStringList recipients;
    QByteArray raw;           // the message as it arrived
    bool authenticated = false;
    bool tls = false;
    QList<QPair<QString, QString>> headers; // as the Python mail parser reads them
    QString subject;          // decoded by the Python mail parser
    QString body;             // decoded by the Python mail parser
    QStringList parseDefects;
};

class SmtpTestServer {
public:
    struct Options {
        bool tls = false;           // offer STARTTLS with a throwaway CA (caFile())
        QString login;              // with a login: AUTH "login:password" accepted only
        QString password;
        bool authWithoutTls = false; // offer AUTH on an unencrypted connection
        bool silent = false;        // accept connections, never answer
        QString stallAt;            // fall silent at "greeting", "ehlo", "data", "body" or "quit"
        bool trickle = false;       // answer one byte a second
        int holdMs = 0;             // wait this long before accepting a message
        QString certificateName;    // with tls: a certificate for this name instead of localhost
    };

    SmtpTestServer();
    explicit SmtpTestServer(const Options& options);
    ~SmtpTestServer();

    // Starts the server and waits until it accepts connections. False on failure
    // (the reason is in error()).
    bool start();
    void stop();

    int port() const { return m_port; }
    // "127.0.0.1:<port>", the server argument of BSendMail.
    std::string serverArgument() const;
    std::string caFile() const;
    QString error() const { return m_error; }

    // The messages received so far, in order.
    QList<ReceivedMail> messages() const;
    // The logins tried with AUTH, in order.
    QStringList authAttempts() const;

    // A local port on which nothing listens.
    static int unusedPort();

private:
    Options m_options;
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};
