// The modules the program loads on first use: the mail module sends a real
// mail, the sound module offers its entry point, and a program without its
// modules finds nothing and goes on.

#include "core/ProgramPaths.h"
#include "gui/LazyModule.h"
#include "report/BSendMail.h"
#include "support/SmtpTestServer.h"
#include "support/TestSupport.h"

#include <QtTest>

class TestModules : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        programpaths::setExecutableFolder({});
    }

    void mailGoesOutThroughTheMailModule()
    {
        programpaths::setExecutableFolder(MOLVANE_MODULE_DIR);
        using Entry = int (*)(const char*, const char*, const char*, const char*, const char*, const void*, char*);
        const auto send = reinterpret_cast<Entry>(LazyModule::resolve("molvane-mail", "molvane_bsendmail"));
        QVERIFY(send);
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        char failure[kFailureTextSize] = "x";
        const int result = send(server.serverArgument().c_str(), "<supervisor@example.org>", "<test@example.org>",
                                sj("受験開始").c_str(), sj("山田 太郎").c_str(), nullptr, failure);
        QCOMPARE(result, 0);
        QCOMPARE(failure[0], '\0');
        QCOMPARE(server.messages().size(), 1);
        QCOMPARE(server.messages()[0].subject, QStringLiteral("受験開始"));

        QVERIFY(LazyModule::resolve("molvane-sound", "molvane_play_sound"));
        QVERIFY(!LazyModule::resolve("molvane-sound", "no_such_entry"));
    }

    void withoutModulesNothingIsFound()
    {
        TestFolder folder;
        programpaths::setExecutableFolder(folder.path());
        QVERIFY(!LazyModule::resolve("molvane-mail", "molvane_bsendmail"));
        QVERIFY(!LazyModule::resolve("molvane-sound", "molvane_play_sound"));
    }
};

QTEST_MAIN(TestModules)
#include "test_modules.moc"
