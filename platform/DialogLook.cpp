#include "DialogLook.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QWidget>
#include <cmath>

namespace DialogLook {

int dluX(int units)
{
    return static_cast<int>(std::lround(units * 6.5 / 4.0));
}

int dluY(int units)
{
    return static_cast<int>(std::lround(units * 12.0 / 8.0));
}

QStringList fontFamilies()
{
    return {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"), QStringLiteral("TakaoPGothic")};
}

void applyFont(QWidget* widget)
{
    QFont font = widget->font();
    font.setFamilies(fontFamilies());
    font.setPointSize(9);
    widget->setFont(font);
    // Drop-down menus are windows of their own and take the application's
    // font for their class, not their parent's.
    QApplication::setFont(font, "QMenu");
}

bool EnterEscFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            if (event->type() == QEvent::ShortcutOverride)
                event->accept(); // keep shortcuts from taking the key
            return event->type() == QEvent::KeyPress;
        }
    }
    return QObject::eventFilter(watched, event);
}

void installEnterEscFilter(QWidget* root)
{
    auto* filter = new EnterEscFilter(root);
    root->installEventFilter(filter);
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* child : children) {
        // An open menu keeps its own keys: Enter chooses, Esc closes it.
        if (qobject_cast<QMenu*>(child))
            continue;
        child->installEventFilter(filter);
        // No button becomes the default button by taking the focus.
        if (auto* button = qobject_cast<QPushButton*>(child)) {
            button->setAutoDefault(false);
            button->setDefault(false);
        }
    }
}

void removeCloseBox(QWidget* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}

} // namespace DialogLook
