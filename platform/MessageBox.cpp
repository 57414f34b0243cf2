#include "MessageBox.h"

#include "platform/DialogLook.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace MessageBox {
namespace {
Handler& handler()
{
    static Handler h;
    return h;
}

// A box sizes itself to its text, so a short one ("終了!!") is narrower
// than its own title bar needs, and the window system cuts the title. Its
// width makes room for the title, the window's icon and three title-bar
// buttons.
void keepTitleVisible(QMessageBox& box)
{
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int needed = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + 8 * QFontMetrics(titleFont).height();
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(needed, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                      grid->columnCount());
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
    keepTitleVisible(box);
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
