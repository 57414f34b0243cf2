#include "DesktopOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace DesktopOpener {
namespace {
Handler& handler()
{
    static Handler h;
    return h;
}
} // namespace

bool openFile(const QString& path)
{
    if (handler())
        return handler()(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void setHandler(Handler h)
{
    handler() = std::move(h);
}

} // namespace DesktopOpener
