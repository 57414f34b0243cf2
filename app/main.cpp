#include "CTestApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // The settings file is fixed before anything else runs.
    CTestApp app;
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Molvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.4.0.0"));
    app.InitInstance();
    return 0;
}
