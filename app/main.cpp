#include "CTestApp.h"
#include "CommandLine.h"
#include "core/ProgramPaths.h"
#include "gui/DesktopOpener.h"

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The manual bundled beside the program or installed, opened with the
// desktop's opener; false (with a message) when there is none.
bool openManual()
{
    const auto manual = programpaths::htmlManual(programpaths::executableFolder());
    if (!manual) {
        std::fputs("molvane: 説明書が見つかりません\n", stderr);
        return false;
    }
    if (!DesktopOpener::openFile(QString::fromStdString(manual->string()))) {
        std::fprintf(stderr, "molvane: 説明書を開けませんでした: %s\n", manual->string().c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // --help and --version need no display.
    if (const auto status = commandline::answerInfoOptions(std::vector<std::string>(argv, argv + argc), stdout))
        return *status;

    // The settings file is fixed before anything else runs.
    CTestApp app;
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Molvane"));
    QApplication::setApplicationVersion(QString::fromLatin1(programpaths::version()));
    // The toolkit has taken its own options (such as -display) out of argv.
    const std::vector<std::string> args(argv, argv + argc);
    if (commandline::wantsManual(args))
        return openManual() ? 0 : 1;
    if (const auto status = commandline::refuseLeftovers({args.begin() + 1, args.end()}, stderr))
        return *status;
    if (!app.PrepareWorkFolder())
        return 1;
    app.InitInstance();
    return 0;
}
