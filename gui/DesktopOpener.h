#pragma once
// Opens a document with the program the desktop chooses for it (the help
// file, the manual), in one place that tests can answer.

#include <QString>
#include <functional>

namespace DesktopOpener {

// Hands the local file to the desktop's opener and returns at once; false
// when no opener could be started.
bool openFile(const QString& path);

// Replaces the desktop's opener (tests). An empty handler restores it.
using Handler = std::function<bool(const QString& path)>;
void setHandler(Handler handler);

} // namespace DesktopOpener
