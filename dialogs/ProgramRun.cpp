// The run's seams as the program has them, and the mail step: a mail is
// sent on a worker thread while the window keeps painting and its timers
// run, and clicks and keys are thrown away.

#include "ProgramRun.h"

#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "reportmail/BSendMail.h"
#include "reportmail/ResultLog.h"
#include "settings/AppProfile.h"

#include <QApplication>
#include <QWidget>
#include <QEvent>
#include <QEventLoop>
#include <memory>
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

// Throws away mouse, key and touch input while a mail is on its way. An
// event loop that merely excludes user input holds it back and delivers it
// once the mail is done: a click on a grayed answer button during the start
// mail would judge the first question the moment it appears.
class InputDiscarder : public QObject {
public:
    InputDiscarder() { QCoreApplication::instance()->installEventFilter(this); }
    ~InputDiscarder() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            event->accept(); // no shortcut takes the key either
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::NonClientAreaMouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::NativeGesture:
        case QEvent::Gesture:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }
};

// Runs BSendMail on a worker thread and waits for it in a local event loop
// that keeps painting and timers going and discards user input.
void sendWhileKeepingWindowAlive(Sending& mail)
{
    const WaitCursor busy;
    auto discarder = std::make_unique<InputDiscarder>();
    auto send = [&mail] {
        BSendMail(mail.server.c_str(), mail.recipient.c_str(), mail.sender.c_str(), mail.subject.c_str(),
                  mail.body.c_str(), nullptr, mail.failureText);
    };
    QEventLoop loop;
    std::thread worker;
    try {
        worker = std::thread([&send, &loop, &discarder] {
            send();
            // Input is taken again as soon as the mail is done, also by a
            // message box that a timer opened meanwhile on a nested loop.
            QMetaObject::invokeMethod(
                &loop,
                [&loop, &discarder] {
                    discarder.reset();
                    loop.quit();
                },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread to be had: send in place, the window just waits.
        send();
        return;
    }
    loop.exec();
    worker.join();
}

} // namespace

namespace programrun {

bool sendMail(const mail::ComposedMail& composed)
{
    Sending sending;
    sending.server = composed.arguments.server;
    sending.recipient = composed.arguments.recipient;
    sending.sender = composed.arguments.sender;
    sending.subject = composed.subject;
    sending.body = composed.body;
    sending.failureText[0] = '\0';
    sendWhileKeepingWindowAlive(sending);
    return sending.failureText[0] == '\0';
}

QWidget* messageParent(QWidget* window)
{
    if (window && window->isVisible())
        return window;
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return window;
}

void showMessage(QWidget* over, const std::string& utf8, testrun::MessageIcon icon)
{
    MessageBox::show(over, QString::fromStdString(utf8),
                     icon == testrun::MessageIcon::Stop ? MessageBox::Icon::Stop : MessageBox::Icon::Information);
}

testrun::RunSeams seams()
{
    testrun::RunSeams seams;
    seams.profile = &appProfile();
    seams.log = &resultLog();
    seams.questions = testrun::questionFiles();
    seams.clock = [] { return Clock::now(); };
    seams.sendMail = sendMail;
    return seams;
}

} // namespace programrun
