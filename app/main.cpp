#include "CTestApp.h"
#include "CommandLine.h"
#include "core/ProgramPaths.h"

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

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
    // The toolkit took its own options (such as -display); nothing else is used.
    if (const auto status = commandline::refuseLeftovers(std::vector<std::string>(argv + 1, argv + argc), stderr))
        return *status;
    if (!app.PrepareWorkFolder())
        return 1;
    app.InitInstance();
    return 0;
}
