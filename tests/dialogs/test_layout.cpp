// Every window as it is laid out on screen, in the dialogs' own font:
// controls sit inside their group frames below the titles, texts fit the
// controls that show them, and drop-down menus and lists use the dialog font.

#include "TestSupport.h"
#include "dialogs/CAboutDlg.h"
#include "dialogs/CTestDlg.h"
#include "platform/DialogLook.h"
#include "dialogs/CEditDlg.h"
#include "dialogs/CJudgeDlg.h"
#include "dialogs/CSettingDlg.h"
#include "ui_CAboutDlg.h"
#include "ui_CEditDlg.h"
#include "ui_CJudgeDlg.h"
#include "ui_CSettingDlg.h"
#include "ui_CTestDlg.h"

#include <QAbstractItemView>
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QtTest>

namespace {

QString nameOf(const QWidget* w)
{
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

QString rectText(const QRect& r)
{
    return QStringLiteral("(%1,%2 %3x%4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// A control that a later, opaque sibling hides completely (the order group
// lies beneath the 認証 group) is not seen and not looked at.
bool covered(const QWidget* w)
{
    const QObjectList& siblings = w->parentWidget()->children();
    for (qsizetype i = siblings.indexOf(const_cast<QWidget*>(w)) + 1; i < siblings.size(); ++i) {
        const auto* above = qobject_cast<const QWidget*>(siblings[i]);
        if (above && !above->isHidden() && above->autoFillBackground() && above->geometry().contains(w->geometry()))
            return true;
    }
    return false;
}

bool seen(const QWidget* w, const QWidget* window)
{
    return w->isVisibleTo(window) && !covered(w);
}

// Controls that reach into a group lie inside its contents rectangle: below
// its title and frame line, inside its left, right and bottom edges.
void checkFrames(const QWidget* window, QStringList& faults)
{
    const auto groups = window->findChildren<QGroupBox*>();
    for (const QGroupBox* group : groups) {
        if (!seen(group, window))
            continue;
        const QRect inside = group->contentsRect().translated(group->pos());
        const QFontMetrics fm(group->font());
        if (fm.horizontalAdvance(group->title()) > group->width())
            faults << QStringLiteral("%1: title wider than the group").arg(nameOf(group));
        const auto siblings = group->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (const QWidget* control : siblings) {
            if (qobject_cast<const QGroupBox*>(control) || !seen(control, window)
                || !control->geometry().intersects(group->geometry()))
                continue;
            if (!inside.contains(control->geometry()))
                faults << QStringLiteral("%1 %2 outside the contents %3 of %4")
                              .arg(nameOf(control), rectText(control->geometry()), rectText(inside), nameOf(group));
        }
    }
}

// Every text shown in a label, button, check box or radio button fits it.
void checkTexts(const QWidget* window, QStringList& faults)
{
    const auto widgets = window->findChildren<QWidget*>();
    for (const QWidget* w : widgets) {
        if (!seen(w, window) || w->isWindow())
            continue;
        const QFontMetrics fm(w->font());
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            if (label->text().isEmpty())
                continue;
            const QRect room = label->contentsRect().marginsRemoved(QMargins(label->margin(), label->margin(),
                                                                             label->margin(), label->margin()));
            if (fm.horizontalAdvance(label->text()) > room.width() || fm.height() > room.height())
                faults << QStringLiteral("%1 cannot show \"%2\"").arg(nameOf(w), label->text());
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            const QStyle::SubElement contents = qobject_cast<const QPushButton*>(w) ? QStyle::SE_PushButtonContents
                                                : qobject_cast<const QCheckBox*>(w) ? QStyle::SE_CheckBoxContents
                                                                                    : QStyle::SE_RadioButtonContents;
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect room = button->style()->subElementRect(contents, &option, button);
            const QString text = QString(button->text()).remove(QLatin1Char('&'));
            if (fm.horizontalAdvance(text) > room.width() || fm.height() > room.height())
                faults << QStringLiteral("%1 cannot show \"%2\" in %3").arg(nameOf(w), text, rectText(room));
        }
    }
}

QStringList layoutFaults(const QWidget* window)
{
    QStringList faults;
    checkFrames(window, faults);
    checkTexts(window, faults);
    return faults;
}

#define CHECK_LAYOUT(window)                                                                                         \
    do {                                                                                                             \
        const QStringList faults = layoutFaults(window);                                                             \
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));                                      \
    } while (false)

bool dialogFont(const QFont& font)
{
    return font.families() == DialogLook::fontFamilies();
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void mainWindowIdleAndWithCountsOfThreeDigits()
    {
        TestFolder folder;
        CTestDlg dlg;
        dlg.show();
        CHECK_LAYOUT(&dlg);
        // The progress text of the longest test the window shows whole.
        dlg.ui()->progressLabel->setText(QStringLiteral("999/999"));
        CHECK_LAYOUT(&dlg);
    }

    void menusAndListsUseTheDialogFont()
    {
        TestFolder folder;
        MessageBoxRecorder boxes;
        CTestDlg dlg;
        const auto menus = dlg.findChildren<QMenu*>();
        QCOMPARE(menus.size(), 3);
        QVERIFY(dialogFont(dlg.findChild<QMenuBar*>()->font()));
        for (QMenu* menu : menus) {
            menu->ensurePolished(); // as when it opens
            QVERIFY2(dialogFont(menu->font()), qPrintable(menu->title()));
        }
        CEditDlg editor;
        QVERIFY(dialogFont(editor.ui()->numberList->view()->font()));
    }

    void editorLockedAndUnlockedWithAQuestion()
    {
        TestFolder folder;
        folder.writeQuestions("q.txt", {makeQuestion("問題文", 2)});
        folder.writeIni("[QUESTION]\n1=q.txt\n");
        MessageBoxRecorder boxes;
        CEditDlg dlg;
        dlg.show();
        CHECK_LAYOUT(&dlg);
        QTest::mouseClick(dlg.ui()->authButton, Qt::LeftButton);
        dlg.ui()->numberList->setCurrentIndex(0);
        emit dlg.ui()->numberList->activated(0);
        QCOMPARE(dlg.ui()->questionEdit->text(), QStringLiteral("問題文"));
        QVERIFY(dlg.ui()->fileNameLabel->isVisible());
        CHECK_LAYOUT(&dlg);
        QCOMPARE(boxes.count(), 0);
    }

    void settingsLockedAndUnlockedWithTheLongestValues()
    {
        TestFolder folder;
        // No question file: the count slider reaches the stored count, here
        // that of a bank of 999 999 questions.
        folder.writeIni("[TIME_LIMIT]\n1=60\n[LIFE]\n1=99\n[QUESTION]\n1=none.txt\n[QUESTION_CNT]\n1=999999\n");
        CSettingDlg dlg;
        dlg.show();
        QCOMPARE(dlg.ui()->countSlider->maximum(), 999999);
        QCOMPARE(dlg.ui()->countLabel->text(), QStringLiteral("999999問"));
        QCOMPARE(dlg.ui()->timeLabel->text(), QStringLiteral("60秒"));
        QCOMPARE(dlg.ui()->lifeLabel->text(), QStringLiteral("99回"));
        CHECK_LAYOUT(&dlg);
        dlg.ui()->accessCodeEdit->clear();
        QTest::mouseClick(dlg.ui()->authButton, Qt::LeftButton);
        QVERIFY(dlg.ui()->questionFileEdit->isVisible());
        CHECK_LAYOUT(&dlg);
    }

    void aboutBoxShowsTheWholeIcon()
    {
        CAboutDlg about;
        about.show();
        CHECK_LAYOUT(&about);
        const QLabel* icon = about.ui()->iconLabel;
        QCOMPARE(icon->pixmap().deviceIndependentSize().toSize(), QSize(32, 32));
        QVERIFY(icon->contentsRect().width() >= 32 && icon->contentsRect().height() >= 32);
    }

    void judgePopup()
    {
        CJudgeDlg popup;
        popup.ui()->noticeLabel->setText(QStringLiteral("次の処理に移ります..."));
        popup.show();
        CHECK_LAYOUT(&popup);
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
