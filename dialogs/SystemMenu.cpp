#include "SystemMenu.h"

#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace SystemMenu {

void addAboutItem(QWidget* window, const QString& text)
{
#ifdef Q_OS_WIN
    if (text.isEmpty())
        return;
    HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window->winId()), FALSE);
    if (!menu)
        return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutCommand, reinterpret_cast<const wchar_t*>(text.utf16()));
#else
    (void)window;
    (void)text;
#endif
}

bool isAboutCommand(const void* nativeMessage)
{
#ifdef Q_OS_WIN
    const MSG* msg = static_cast<const MSG*>(nativeMessage);
    return msg && msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == kAboutCommand;
#else
    (void)nativeMessage;
    return false;
#endif
}

} // namespace SystemMenu
