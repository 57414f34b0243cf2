#pragma once
// Opens a document with the program the desktop chooses for it (the help
// file, the manual), in one place that tests can answer.

#include <QString>
#include <functional>
#include <string>

namespace DesktopOpener {

// Hands the local file to the desktop's opener and returns at once; false
// when no opener could be started. Needs the application object.
bool openFile(const QString& path);

// Replaces the desktop's opener (tests). An empty handler restores it.
using Handler = std::function<bool(const QString& path)>;
void setHandler(Handler handler);

// For the command line, where there may be no window system and no
// application object: runs the desktop's opener (xdg-open) on the local file
// and waits up to patienceMs for its verdict. True when it reported success,
// or was still busy when the patience ran out (an opener that stays with the
// browser it started); false, with the reason in `failure`, when it could not
// be started or reported a failure (a browser that would not start, for
// instance one that refuses to run as root).
bool openFileAndWait(const std::string& path, int patienceMs, std::string& failure);

} // namespace DesktopOpener
