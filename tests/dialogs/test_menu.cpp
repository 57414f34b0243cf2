// The main window's menu: switches, help, 終了, 出題設定 and the About box.

#include "dialogs/CAboutDlg.h"
#include "dialogs/CTestDlg.h"
#include "core/ProgramPaths.h"
#include "platform/DesktopOpener.h"
#include "settings/AppProfile.h"
#include "dialogs/CSettingDlg.h"
#include "support/TestSupport.h"
#include "ui_CAboutDlg.h"

#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QtTest>
#include <sys/stat.h>

namespace {

std::string stored(const char* section, const char* entry)
{
    return appProfile().GetProfileStringA(section, entry, "<missing>");
}

bool checked(const CTestDlg& dlg, int id)
{
    return dlg.menuAction(id)->isChecked();
}

} // namespace

class TestMenu : public QObject {
    Q_OBJECT
private slots:
    void itemsAsDefinedWithSwitchesFromTheSettings_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<bool>("soundChecked");
        QTest::addColumn<bool>("mailChecked");
        QTest::newRow("no settings file") << QString() << false << true;
        QTest::newRow("both on") << "[SOUND]\nSW=1\n[MAIL]\n1=1\n" << true << true;
        QTest::newRow("2 is off") << "[SOUND]\nSW=2\n[MAIL]\n1=2\n" << false << false;
        QTest::newRow("garbage is off") << "[SOUND]\nSW=on\n[MAIL]\n1=yes\n" << false << false;
    }
    void itemsAsDefinedWithSwitchesFromTheSettings()
    {
        QFETCH(QString, ini);
        QFETCH(bool, soundChecked);
        QFETCH(bool, mailChecked);
        TestFolder folder;
        if (!ini.isEmpty())
            folder.writeIni(ini.toUtf8().constData());
        CTestDlg dlg;
        QCOMPARE(checked(dlg, CTestDlg::ID_SOUND_SWITCH), soundChecked);
        QCOMPARE(checked(dlg, CTestDlg::ID_MAIL_SWITCH), mailChecked);
        for (int id : {CTestDlg::ID_SOUND_SWITCH, CTestDlg::ID_MAIL_SWITCH, CTestDlg::ID_HELP_TOPICS})
            QVERIFY(!dlg.menuAction(id)->isEnabled());
        for (int id : {CTestDlg::ID_APP_EXIT, CTestDlg::ID_SETTINGS, CTestDlg::ID_APP_ABOUT})
            QVERIFY(dlg.menuAction(id)->isEnabled());
        QCOMPARE(dlg.menuAction(CTestDlg::ID_APP_EXIT)->text(), QStringLiteral("終了(&E)"));
        QCOMPARE(dlg.menuAction(CTestDlg::ID_MAIL_SWITCH)->text(), QStringLiteral("メール送信(&M)"));
    }

    void switchesFlipFromNoSettings()
    {
        TestFolder folder;
        CTestDlg dlg;
        dlg.OnSoundSwitch();
        QCOMPARE(stored("SOUND", "SW"), std::string("1"));
        QCOMPARE(dlg.run().m_nSound, 1);
        QVERIFY(checked(dlg, CTestDlg::ID_SOUND_SWITCH));
        dlg.OnMailSwitch();
        QCOMPARE(stored("MAIL", "1"), std::string("0"));
        QCOMPARE(dlg.run().m_nMail, 0);
        QVERIFY(!checked(dlg, CTestDlg::ID_MAIL_SWITCH));

        dlg.OnSoundSwitch();
        dlg.OnMailSwitch();
        QCOMPARE(stored("SOUND", "SW"), std::string("0"));
        QCOMPARE(stored("MAIL", "1"), std::string("1"));
        QVERIFY(!checked(dlg, CTestDlg::ID_SOUND_SWITCH));
        QVERIFY(checked(dlg, CTestDlg::ID_MAIL_SWITCH));

        // Any value but 1 is off, and the next flip turns the switch on.
        folder.writeIni("[SOUND]\nSW=2\n[MAIL]\n1=2\n");
        CTestDlg fromTwo;
        fromTwo.OnSoundSwitch();
        fromTwo.OnMailSwitch();
        QCOMPARE(stored("SOUND", "SW"), std::string("1"));
        QCOMPARE(stored("MAIL", "1"), std::string("1"));
        QVERIFY(checked(fromTwo, CTestDlg::ID_SOUND_SWITCH));
        QVERIFY(checked(fromTwo, CTestDlg::ID_MAIL_SWITCH));
    }

    void switchesFollowWhatIsReadBack()
    {
        // A settings file made read-only (for root too) cannot be switched
        // over: nothing changes.
        TestFolder folder;
        folder.writeIni("[SOUND]\nSW=0\n[MAIL]\n1=1\n");
        ::chmod(folder.iniPath().c_str(), 0444);
        const std::string before = folder.ini();
        CTestDlg dlg;
        dlg.OnSoundSwitch();
        dlg.OnMailSwitch();
        QCOMPARE(dlg.run().m_nSound, 0);
        QCOMPARE(dlg.run().m_nMail, 1);
        QVERIFY(!checked(dlg, CTestDlg::ID_SOUND_SWITCH));
        QVERIFY(checked(dlg, CTestDlg::ID_MAIL_SWITCH));
        QCOMPARE(folder.ini(), before);
    }

    void exitClosesAtOnce()
    {
        TestFolder folder;
        MessageBoxRecorder boxes;
        CTestDlg dlg;
        dlg.show();
        dlg.menuAction(CTestDlg::ID_APP_EXIT)->trigger();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(boxes.count(), 0);
    }

    void helpOpensTheManualThroughTheOpener()
    {
        TestFolder folder;
        CTestDlg dlg;
        QStringList opened;
        DesktopOpener::setHandler([&opened](const QString& path) {
            opened << path;
            return true;
        });
        const std::filesystem::path bin = folder.file("usr/bin");
        programpaths::setExecutableFolder(bin);
        const std::filesystem::path installed = programpaths::dataFolderOf(bin) / "manual" / "index.html";
        const std::filesystem::path bundled = bin / "manual" / "index.html";

        // No manual anywhere: nothing happens.
        dlg.OnHelpTopics();
        QVERIFY(opened.isEmpty());
        // The installed manual, then the one bundled beside the program,
        // which comes first.
        folder.writeFile(installed.lexically_relative(folder.path()).string(), "<html></html>");
        dlg.OnHelpTopics();
        folder.writeFile(bundled.lexically_relative(folder.path()).string(), "<html></html>");
        dlg.OnHelpTopics();

        DesktopOpener::setHandler(nullptr);
        programpaths::setExecutableFolder({});
        QCOMPARE(opened, QStringList({QString::fromStdString(installed.string()),
                                      QString::fromStdString(bundled.string())}));
    }

    void settingsCommandOpensSettingsDialog()
    {
        TestFolder folder;
        CTestDlg dlg;
        dlg.show();
        QString title;
        QTimer::singleShot(0, [&title] {
            if (auto* settings = qobject_cast<CSettingDlg*>(QApplication::activeModalWidget())) {
                title = settings->windowTitle();
                settings->accept();
            }
        });
        dlg.menuAction(CTestDlg::ID_SETTINGS)->trigger();
        QCOMPARE(title, QStringLiteral("出題設定画面"));
    }

    void aboutIsNewEachTimeAndEscCloses()
    {
        TestFolder folder;
        CTestDlg dlg;
        dlg.show();
        for (int round = 0; round < 2; ++round) {
            QPointer<CAboutDlg> shown;
            QString version;
            QTimer::singleShot(0, [&shown, &version] {
                shown = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
                if (shown) {
                    version = shown->ui()->versionLabel->text();
                    QTest::keyClick(shown->ui()->closeButton, Qt::Key_Escape);
                }
            });
            dlg.menuAction(CTestDlg::ID_APP_ABOUT)->trigger();
            // It was shown, closed by Esc and is gone again.
            QCOMPARE(version, QStringLiteral("Molvane Version 1.0.0"));
            QVERIFY(shown.isNull());
            QVERIFY(dlg.isVisible());
        }
    }
};

QTEST_MAIN(TestMenu)
#include "test_menu.moc"
