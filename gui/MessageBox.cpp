#include "MessageBox.h"

#include "gui/DialogLook.h"

#include <QMessageBox>

namespace MessageBox {
namespace {
Handler& handler()
{
    static Handler h;
    return h;
}
} // namespace

Answer show(QWidget* parent, const QString& text, Icon icon, Buttons buttons)
{
    const Shown shown{text, icon, buttons, parent};
    if (handler())
        return handler()(shown);

    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("Molvane"));
    box.setText(text);
    switch (icon) {
    case Icon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    DialogLook::applyFont(&box);
    const int result = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

bool ask(QWidget* parent, const QString& text)
{
    return show(parent, text, Icon::Question, Buttons::YesNo) == Answer::Yes;
}

void setHandler(Handler h)
{
    handler() = std::move(h);
}

} // namespace MessageBox
