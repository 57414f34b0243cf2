// The About box on its own.

#include "dialogs/CAboutDlg.h"
#include "support/TestSupport.h"
#include "ui_CAboutDlg.h"

#include <QtTest>

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void showsIconWithoutCloseBox()
    {
        CAboutDlg about;
        QVERIFY(!about.ui()->iconLabel->pixmap().isNull());
        QVERIFY(!(about.windowFlags() & Qt::WindowCloseButtonHint));
    }

    void closedByButtonEnterAndEscOnly()
    {
        for (int way = 0; way < 3; ++way) {
            CAboutDlg about;
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            // The window manager's close request is refused.
            QVERIFY(!about.close());
            QVERIFY(about.isVisible());
            if (way == 0)
                QTest::mouseClick(about.ui()->closeButton, Qt::LeftButton);
            else
                QTest::keyClick(&about, way == 1 ? Qt::Key_Return : Qt::Key_Escape);
            QVERIFY(!about.isVisible());
            QCOMPARE(about.result(), int(way == 2 ? QDialog::Rejected : QDialog::Accepted));
        }
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
