#include "CTestApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // The settings file is fixed before anything else runs.
    CTestApp app;
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Molvane"));
    app.InitInstance();
    return 0;
}
