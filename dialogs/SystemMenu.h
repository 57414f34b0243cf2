#pragma once
// The About item of the window's system menu. Only Windows lets a program
// add items to the system menu of its window frame; elsewhere these do
// nothing and the menu bar's バージョン情報 is the way to the About box.

#include <QString>

class QWidget;

namespace SystemMenu {

constexpr unsigned int kAboutCommand = 0x0010; // IDM_ABOUTBOX

// Appends a separator and the item to the window's system menu, unless the
// text is empty.
void addAboutItem(QWidget* window, const QString& text);

// True when a native message is the system menu's About command.
bool isAboutCommand(const void* nativeMessage);

} // namespace SystemMenu
