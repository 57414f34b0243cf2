// The main window as it opens: controls, menu, blank picture, key filter,
// quitting, and where the settings file is.

#include "TestSupport.h"
#include "dialogs/CLampStatic.h"
#include "app/CTestApp.h"
#include "dialogs/CTestDlg.h"
#include "platform/DialogLook.h"
#include "settings/AppProfile.h"
#include "ui_CTestDlg.h"

#include <QApplication>
#include <QAbstractFileIconProvider>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QSignalSpy>
#include <QTest>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void opensIdle()
    {
        TestFolder folder;
        CTestDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Ui::CTestDlg* ui = dlg.ui();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Molvane Ver 1.0.0"));
        QVERIFY(ui->startButton->isEnabled());
        QVERIFY(ui->editButton->isEnabled());
        QVERIFY(ui->quitButton->isEnabled());
        QVERIFY(ui->nameEdit->isEnabled());
        QVERIFY(!ui->stopButton->isEnabled());
        for (QPushButton* b : {ui->answerButton1, ui->answerButton2, ui->answerButton3, ui->answerButton4,
                               ui->answerButton5})
            QVERIFY(!b->isEnabled());
        for (QLineEdit* e : {ui->questionEdit, ui->answerEdit1, ui->answerEdit5, ui->nameEdit})
            QVERIFY(e->text().isEmpty());
        QVERIFY(ui->progressLabel->text().isEmpty());
        for (QWidget* w : {static_cast<QWidget*>(ui->lamp1), static_cast<QWidget*>(ui->lamp2),
                           static_cast<QWidget*>(ui->lamp3), static_cast<QWidget*>(ui->lampHeading),
                           static_cast<QWidget*>(ui->lampFrame)})
            QVERIFY(!w->isVisible());
        QCOMPARE(ui->lampHeading->text(), QStringLiteral("*誤答残数"));
        QCOMPARE(ui->nameFrame->title(), QStringLiteral("●氏名（必須 例：試験太郎）"));
        QCOMPARE(ui->answerEdit3->accessibleName(), QStringLiteral("解答3"));
        QCOMPARE(ui->nameEdit->accessibleName(), QStringLiteral("氏名"));
        QCOMPARE(ui->picture->accessibleName(), QStringLiteral("画像"));
        QCOMPARE(ui->progressLabel->accessibleDescription(), QStringLiteral("進行度"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(ui->startButton));
        QCOMPARE(dlg.run().m_strQuestionFile, std::string("sample0524.txt"));
    }

    void blankPictureFollowsTheQuestionFilesFolder()
    {
        TestFolder folder;
        writeBitmap(folder.file("256bitmap/000.bmp"), 40, 30, 0x00FF00);
        writeBitmap(folder.file("bank/256bitmap/000.bmp"), 40, 30, 0x0000FF);
        {
            CTestDlg dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            QTRY_VERIFY(!dlg.ui()->picture->pixmap().isNull());
            const QImage shown = dlg.ui()->picture->pixmap().toImage();
            QCOMPARE(shown.size(), QSize(212, 150));
            QCOMPARE(QColor(shown.pixel(100, 70)), QColor(0, 255, 0));
        }
        folder.writeIni(("[QUESTION]\n1=" + folder.file("bank/q.txt").string() + "\n").c_str());
        CTestDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTRY_VERIFY(!dlg.ui()->picture->pixmap().isNull());
        QCOMPARE(QColor(dlg.ui()->picture->pixmap().toImage().pixel(100, 70)), QColor(0, 0, 255));
    }

    void brokenBlankPictureLeavesTheAreaEmpty_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("not a bitmap") << QByteArray("GIF89a not really");
        // A bitmap header claiming 100000 x 100000 pixels.
        QByteArray huge("BM");
        huge += QByteArray::fromHex("36000000000000003600000028000000a0860100a08601000100180000000000");
        huge += QByteArray(64, '\0');
        QTest::newRow("enormous") << huge;
    }
    void brokenBlankPictureLeavesTheAreaEmpty()
    {
        QFETCH(QByteArray, content);
        TestFolder folder;
        if (!content.isEmpty())
            folder.writeFile("256bitmap/000.bmp", content.toStdString());
        CTestDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::qWait(20);
        QVERIFY(dlg.ui()->picture->pixmap().isNull());
    }

    void enterAndEscDoNothing()
    {
        TestFolder folder;
        MessageBoxRecorder boxes;
        CTestDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        for (QWidget* target : {static_cast<QWidget*>(&dlg), static_cast<QWidget*>(dlg.ui()->startButton),
                                static_cast<QWidget*>(dlg.ui()->quitButton),
                                static_cast<QWidget*>(dlg.ui()->nameEdit)}) {
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Return);
            QTest::keyClick(target, Qt::Key_Enter);
            QTest::keyClick(target, Qt::Key_Escape);
        }
        QVERIFY(dlg.isVisible());
        QCOMPARE(finished.count(), 0);
        QCOMPARE(boxes.count(), 0);
        QVERIFY(dlg.ui()->startButton->isEnabled());
        // Other keys still reach the controls.
        QTest::keyClicks(dlg.ui()->nameEdit, "abc");
        QCOMPARE(dlg.ui()->nameEdit->text(), QStringLiteral("abc"));
    }

    void quitAsksFirst()
    {
        TestFolder folder;
        MessageBoxRecorder boxes;
        CTestDlg dlg;
        dlg.show();
        QSignalSpy finished(&dlg, &QDialog::finished);

        boxes.queue(MessageBox::Answer::No);
        QTest::mouseClick(dlg.ui()->quitButton, Qt::LeftButton);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.shown()[0].text, QStringLiteral("終了しても宜しいですか?"));
        QCOMPARE(boxes.shown()[0].icon, MessageBox::Icon::Question);
        QCOMPARE(boxes.shown()[0].buttons, MessageBox::Buttons::YesNo);
        QVERIFY(dlg.isVisible());
        QCOMPARE(finished.count(), 0);

        boxes.queue(MessageBox::Answer::Yes);
        QTest::mouseClick(dlg.ui()->quitButton, Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
    }

    void shortMessagesLeaveTheTitleRoom()
    {
        // The real box: a title bar holds the window's icon, the title and
        // three buttons, so the box is wider than its title by their room.
        int width = 0;
        int titleWidth = 0;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                width = box->width();
                titleWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
                box->accept();
            }
        });
        watch.start(10);
        MessageBox::show(nullptr, QStringLiteral("終了!!"), MessageBox::Icon::Information);
        QVERIFY(titleWidth > 0);
        QVERIFY2(width >= titleWidth + 100, qPrintable(QStringLiteral("%1 for a title of %2").arg(width).arg(titleWidth)));
    }

    void fileDialogsInTheDialogsFontAndInJapanese()
    {
        TestFolder folder;
        folder.writeFile("bank.txt", "");
        QStringList families;
        QString folderType;
        QString fileType;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                families = dialog->font().families();
                folderType = dialog->iconProvider()->type(QFileInfo(QString::fromStdString(folder.path().string())));
                fileType = dialog->iconProvider()->type(QFileInfo(QString::fromStdString(folder.file("bank.txt").string())));
                dialog->reject();
            }
        });
        watch.start(10);
        QCOMPARE(FileDialog::getOpenFileName(nullptr, QStringLiteral("TXTファイル(*.txt)|*.txt||"), QStringLiteral("txt")),
                 QString());
        QCOMPARE(families, DialogLook::fontFamilies());
        QCOMPARE(folderType, QStringLiteral("フォルダ"));
        QCOMPARE(fileType, QStringLiteral("TXTファイル"));
    }

    void resourcesAreBuiltIn()
    {
        for (const char* name : {":/icons/molvane.png", ":/sounds/right.wav", ":/sounds/wrong.wav"})
            QVERIFY2(QFile::exists(QString::fromLatin1(name)), name);
        // The toolkit's standard buttons read in Japanese.
        QVERIFY(installToolkitTranslations());
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("はい(&Y)"));
        // The sounds' format and lengths: test_modules.
        QImage icon(QStringLiteral(":/icons/molvane.png"));
        QCOMPARE(icon.size(), QSize(32, 32));
    }

    void lampsTakeTheirColourAtOnce()
    {
        TestFolder folder;
        CTestDlg dlg;
        CLampStatic& lamp = dlg.m_lamp1->SetColor(0x0000FF);
        QCOMPARE(&lamp, dlg.m_lamp1);
        QCOMPARE(dlg.m_lamp1->color(), QColor(255, 0, 0));
        dlg.m_lamp1->SetColor(0xFF8000);
        QCOMPARE(dlg.m_lamp1->color(), QColor(0, 0x80, 0xFF));
    }

    void settingsFileIsFixedInTheStartingDirectory()
    {
        TestFolder folder;
        const std::filesystem::path old = appProfile().path();
        CTestApp app;
        QCOMPARE(app.profilePath(), std::filesystem::path(folder.path().string() + "/Parameter.INI"));
        QCOMPARE(appProfile().path(), app.profilePath());
        // At the root the separator is doubled, which still names the file.
        QCOMPARE(profilePathFor("/").string(), std::string("//Parameter.INI"));
        // Changing directory later does not move it.
        std::filesystem::current_path("/");
        QCOMPARE(appProfile().path(), app.profilePath());
        appProfile().setPath(old);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
