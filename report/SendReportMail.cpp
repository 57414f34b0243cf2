// Composing and sending the start, result and test mails.

#include "app/CTestDlg.h"
#include "gui/MessageBox.h"
#include "gui/SjisText.h"
#include "report/BSendMail.h"
#include "report/ReportMail.h"
#include "run/ResultLog.h"
#include "settings/AppProfile.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <system_error>
#include <thread>

namespace {

// Everything the sending thread touches; it owns copies of the texts so that
// nothing of the window is used off the user-interface thread.
struct Sending {
    std::string server;
    std::string recipient;
    std::string sender;
    std::string subject;
    std::string body;
    char failureText[kFailureTextSize] = {};
};

// The busy cursor while a mail is on its way.
struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Runs BSendMail on a worker thread and waits for it in a local event loop
// that keeps painting and timers going but takes no user input.
void sendWhileKeepingWindowAlive(Sending& mail)
{
    const WaitCursor busy;
    auto send = [&mail] {
        BSendMail(mail.server.c_str(), mail.recipient.c_str(), mail.sender.c_str(), mail.subject.c_str(),
                  mail.body.c_str(), nullptr, mail.failureText);
    };
    QEventLoop loop;
    std::thread worker;
    try {
        worker = std::thread([&send, &loop] {
            send();
            QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread to be had: send in place, the window just waits.
        send();
        return;
    }
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
}

} // namespace

void CTestDlg::SendReportMail(int kind)
{
    const mail::ComposedMail composed =
        mail::composeMail(kind, m_strName, m_nCorrect, m_nAsked, resultLog(), appProfile());

    Sending sending;
    sending.server = composed.arguments.server;
    sending.recipient = composed.arguments.recipient;
    sending.sender = composed.arguments.sender;
    sending.subject = composed.subject;
    sending.body = composed.body;
    sending.failureText[0] = '\0';

    QPointer<CTestDlg> self(this);
    sendWhileKeepingWindowAlive(sending);

    const bool sent = sending.failureText[0] == '\0';
    const std::string message = mail::outcomeMessage(kind, sent);
    if (message.empty())
        return;
    MessageBox::show(self.data(), fromSjis(message), MessageBox::Icon::Information, MessageBox::Buttons::Ok);
}
