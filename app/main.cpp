#include "CTestApp.h"
#include "CommandLine.h"
#include "core/ProgramPaths.h"
#include "platform/DesktopOpener.h"

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// How long the desktop's opener may take to say whether it showed the
// manual; one still busy after that stays with the browser it started.
constexpr int kOpenerPatienceMs = 5000;

// The manual bundled beside the program or installed, opened with the
// desktop's opener; false (with a message) when there is none or the opener
// could not show it. Needs no display of its own.
bool openManual()
{
    const auto manual = programpaths::htmlManual(programpaths::executableFolder());
    if (!manual) {
        std::fputs("molvane: 説明書が見つかりません\n", stderr);
        return false;
    }
    std::string failure;
    if (!DesktopOpener::openFileAndWait(manual->string(), kOpenerPatienceMs, failure)) {
        std::fprintf(stderr, "molvane: 説明書 %s を開けませんでした: %s\n", manual->string().c_str(), failure.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // Every argument is checked, and --help, --version and --manual are
    // answered, before anything needs a display.
    const std::vector<std::string> given(argv, argv + argc);
    if (const auto status = commandline::answerBeforeWindow(given, stdout, stderr))
        return *status;
    if (commandline::wantsManual(given))
        return openManual() ? 0 : 1;

    // The settings file is fixed before anything else runs.
    CTestApp app;
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Molvane"));
    QApplication::setApplicationVersion(QString::fromLatin1(programpaths::version()));
    // The toolkit has taken its own options (such as -display) out of argv;
    // whatever it left is refused, as the check above should have done.
    const std::vector<std::string> args(argv, argv + argc);
    if (const auto status = commandline::refuseLeftovers({args.begin() + 1, args.end()}, stderr))
        return *status;
    if (!app.PrepareWorkFolder())
        return 1;
    app.InitInstance();
    return 0;
}
