// The question editor driven as a user drives it: unlocking, browsing,
// adding, updating, deleting questions and question files.

#include "support/TestSupport.h"

#include "dialogs/CEditDlg.h"
#include "questionfile/QuestionFileOps.h"
#include "questionfile/QuestionRecord.h"
#include "settings/AppProfile.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace question;
using MessageBox::Answer;
using MessageBox::Icon;

namespace {

const QString kOpenError = QStringLiteral("ファイルオープンエラー");

template <typename T>
T* child(CEditDlg& dlg, const char* name)
{
    T* w = dlg.findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

QPushButton* button(CEditDlg& dlg, const char* name)
{
    return child<QPushButton>(dlg, name);
}

void click(CEditDlg& dlg, const char* name)
{
    QTest::mouseClick(button(dlg, name), Qt::LeftButton);
}

QComboBox* numbers(CEditDlg& dlg)
{
    return child<QComboBox>(dlg, "numberList");
}

// Picks a question number as the user does.
void select(CEditDlg& dlg, int index)
{
    numbers(dlg)->setCurrentIndex(index);
    emit numbers(dlg)->activated(index);
}

QLineEdit* answerEdit(CEditDlg& dlg, int i)
{
    return child<QLineEdit>(dlg, QByteArray("answerEdit" + QByteArray::number(i)).constData());
}

void fill(CEditDlg& dlg, const QString& question, const QString& stem, int correct)
{
    child<QLineEdit>(dlg, "questionEdit")->setText(question);
    for (int i = 1; i <= 5; ++i)
        answerEdit(dlg, i)->setText(stem + QString::number(i));
    if (correct > 0)
        dlg.correctGroup()->button(correct - 1)->setChecked(true);
}

std::unique_ptr<CEditDlg> openEditor(bool unlocked = true)
{
    auto dlg = std::make_unique<CEditDlg>();
    dlg->show();
    if (unlocked)
        click(*dlg, "authButton");
    return dlg;
}

std::string bankOf(std::initializer_list<question::QuestionRecord> list)
{
    std::string out;
    for (const auto& r : list)
        out += encodeRecord(r, nullptr);
    return out;
}

// Makes q.txt, holding the questions 一, 二 and 三, the editor's file, with
// QUESTION_CNT set to count; returns the bank's bytes.
std::string writeBankOfThree(const TestFolder& folder, int count)
{
    folder.writeIni(QStringLiteral("[QUESTION]\n1=q.txt\n[QUESTION_CNT]\n1=%1\n").arg(count).toUtf8().constData());
    const std::string bank = bankOf({makeQuestion("一", 1), makeQuestion("二", 2), makeQuestion("三", 3)});
    folder.writeFile("q.txt", bank);
    return bank;
}

QuestionRecord marked(QuestionRecord r, char mark)
{
    r.mark = mark;
    return r;
}

} // namespace

class TestEditDialog : public QObject {
    Q_OBJECT
private slots:
    void opensLockedAndUnlocksOnlyWithTheEmptyCode();
    void unreadableQuestionFiles();
    void openErrorStandsOverTheEditor();
    void addsQuestions();
    void refusesIncompleteQuestions();
    void loadsAndUpdatesQuestions();
    void deletesAQuestion_data();
    void deletesAQuestion();
    void neverDeletesTheLastQuestion();
    void failedDeletionKeepsBankAndEditor();
    void bankChangedOnDiskIsTakenAsItIs_data();
    void bankChangedOnDiskIsTakenAsItIs();
    void failedWritesKeepTheBank();
    void createsQuestionFiles();
    void deletesOnlyUnprotectedFiles();
    void enterEscAndCloseRequestsDoNothing();
};

void TestEditDialog::opensLockedAndUnlocksOnlyWithTheEmptyCode()
{
    TestFolder folder;
    folder.writeIni("[QUESTION]\n1=q.txt\n");
    folder.writeQuestions("q.txt", {makeQuestion("一", 1), makeQuestion("二", 2), makeQuestion("三", 3)});
    MessageBoxRecorder boxes;
    auto dlg = openEditor(false);
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(dlg->windowTitle(), QStringLiteral("編集画面"));
    QVERIFY(!(dlg->windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(g_strQuestionFile, std::string("q.txt"));

    QComboBox* list = numbers(*dlg);
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->itemText(0), QStringLiteral("1"));
    QCOMPARE(list->itemText(2), QStringLiteral("3"));
    QCOMPARE(list->currentIndex(), -1);
    QVERIFY(!list->isEnabled());
    for (const char* name : {"addButton", "newFileButton", "updateButton", "deleteFileButton", "deleteQuestionButton",
                             "clearButton"})
        QVERIFY2(!button(*dlg, name)->isEnabled(), name);
    QVERIFY(button(*dlg, "backButton")->isEnabled());
    QVERIFY(!child<QLabel>(*dlg, "fileNameLabel")->isVisible());
    QComboBox* results = child<QComboBox>(*dlg, "lastResultList");
    QVERIFY(!results->isVisible() && !results->isEnabled());
    QCOMPARE(results->count(), 3);
    QCOMPARE(results->itemText(2), QStringLiteral("不正解"));
    QCOMPARE(results->currentIndex(), -1);
    QCOMPARE(child<QLineEdit>(*dlg, "accessCodeEdit")->echoMode(), QLineEdit::Password);
    QVERIFY(!dlg->correctGroup()->checkedButton());
    const int order[] = {1024, 1025, 1026, 1033, 1032};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(dlg->correctGroup()->button(i)->property("controlId").toInt(), order[i]);

    // Any entry but an empty one is the wrong code.
    QTest::keyClicks(child<QLineEdit>(*dlg, "accessCodeEdit"), QStringLiteral("abc"));
    click(*dlg, "authButton");
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.shown()[0].text, QStringLiteral("パスワードが間違っています"));
    QCOMPARE(boxes.shown()[0].icon, Icon::Information);
    QVERIFY(!list->isEnabled() && !button(*dlg, "addButton")->isEnabled());

    child<QLineEdit>(*dlg, "accessCodeEdit")->clear();
    click(*dlg, "authButton");
    QCOMPARE(boxes.count(), 1);
    QVERIFY(list->isEnabled());
    for (const char* name : {"addButton", "newFileButton", "deleteFileButton", "clearButton"})
        QVERIFY2(button(*dlg, name)->isEnabled(), name);
    QVERIFY(!button(*dlg, "updateButton")->isEnabled() && !button(*dlg, "deleteQuestionButton")->isEnabled());
    QVERIFY(child<QLabel>(*dlg, "fileNameLabel")->isVisible());
    QCOMPARE(child<QLabel>(*dlg, "fileNameLabel")->text(), QStringLiteral("q.txt"));
}

void TestEditDialog::unreadableQuestionFiles()
{
    TestFolder folder; // no Parameter.INI: the default file name, which is missing
    {
        MessageBoxRecorder boxes;
        auto dlg = openEditor();
        QCOMPARE(g_strQuestionFile, std::string("sample0524.txt"));
        QTRY_COMPARE(boxes.texts(), QStringList{kOpenError});
        QCOMPARE(boxes.shown()[0].icon, Icon::Stop);
        QCOMPARE(boxes.shown()[0].parent, dlg.get());
        QCOMPARE(numbers(*dlg)->count(), 0);
        // Adding to a missing file creates nothing.
        fill(*dlg, QStringLiteral("問"), QStringLiteral("答"), 1);
        click(*dlg, "addButton");
        QCOMPARE(boxes.texts().last(), kOpenError);
        QVERIFY(!folder.exists("sample0524.txt"));
    }
    // Only whole records count; a torn tail is never offered.
    const std::string bank = bankOf({makeQuestion("一", 1), makeQuestion("二", 2)});
    folder.writeFile("sample0524.txt", bank + std::string(250, '\xff'));
    {
        MessageBoxRecorder boxes;
        auto dlg = openEditor();
        QCOMPARE(numbers(*dlg)->count(), 2);
        select(*dlg, 1);
        QCOMPARE(child<QLineEdit>(*dlg, "questionEdit")->text(), QStringLiteral("二"));
        QCOMPARE(boxes.count(), 0);
    }
    folder.writeFile("sample0524.txt", bank.substr(0, 499));
    MessageBoxRecorder boxes;
    auto dlg = openEditor();
    QCOMPARE(numbers(*dlg)->count(), 0);
    QCOMPARE(boxes.count(), 0);
}

void TestEditDialog::openErrorStandsOverTheEditor()
{
    TestFolder folder; // the default question file is missing
    // The real box this time: where does it stand when it comes up?
    CEditDlg* editor = nullptr;
    QRect box;
    bool editorShown = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!shown || !box.isNull())
            return;
        box = shown->frameGeometry();
        editorShown = editor && editor->isVisible();
        shown->accept();
    });
    watch.start(10);
    CEditDlg dlg;
    editor = &dlg;
    dlg.show();
    QTRY_VERIFY(!box.isNull());
    QVERIFY(editorShown);
    QVERIFY2(dlg.frameGeometry().contains(box.center()), qPrintable(QStringLiteral("box %1,%2 editor %3,%4 %5x%6")
                                                                       .arg(box.center().x()).arg(box.center().y())
                                                                       .arg(dlg.x()).arg(dlg.y())
                                                                       .arg(dlg.width()).arg(dlg.height())));
}

void TestEditDialog::addsQuestions()
{
    TestFolder folder;
    const std::string bank = writeBankOfThree(folder, 3);
    MessageBoxRecorder boxes;
    FileDialogStub files;
    auto dlg = openEditor();

    fill(*dlg, QStringLiteral("新しい問題"), QStringLiteral("案"), 3);
    click(*dlg, "addButton");
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("問題を追加します")});
    QCOMPARE(boxes.shown()[0].icon, Icon::Question);
    QVERIFY(files.requests().isEmpty());
    std::string expected = bank + "000N" + sj("新しい問題") + std::string(86, ' ');
    for (int i = 1; i <= 5; ++i) {
        const std::string slot = (i == 3 ? "*" : " ") + sj("案") + std::to_string(i);
        expected += slot + std::string(80 - slot.size(), ' ');
    }
    QCOMPARE(folder.readFile("q.txt"), expected);
    QCOMPARE(numbers(*dlg)->count(), 4);
    QCOMPARE(numbers(*dlg)->currentIndex(), -1);
    QVERIFY(child<QLineEdit>(*dlg, "questionEdit")->text().isEmpty());
    for (int i = 1; i <= 5; ++i)
        QVERIFY(answerEdit(*dlg, i)->text().isEmpty());
    QCOMPARE(dlg->correctGroup()->checkedId(), 2); // the correct answer stays selected

    // With a picture: only the first three bytes of the chosen name count.
    files.queue(QStringLiteral("/elsewhere/256bitmap/123.bmp"));
    fill(*dlg, QStringLiteral("絵"), QStringLiteral("a"), 0);
    child<QCheckBox>(*dlg, "pictureCheck")->setChecked(true);
    click(*dlg, "addButton");
    QCOMPARE(files.requests().size(), 1);
    QCOMPARE(files.requests()[0].kind, FileDialog::Kind::Open);
    QCOMPARE(files.requests()[0].filter, QStringLiteral("BMPファイル(*.bmp)|*.bmp||"));
    QCOMPARE(files.requests()[0].defaultSuffix, QStringLiteral("bmp"));
    QCOMPARE(folder.readFile("q.txt").substr(2000, 4), std::string("123N"));
    QVERIFY(child<QCheckBox>(*dlg, "pictureCheck")->isChecked());

    // The picture dialog cancelled: no picture.
    fill(*dlg, QStringLiteral("絵"), QStringLiteral("b"), 0);
    click(*dlg, "addButton");
    QCOMPARE(files.requests().size(), 2);
    QCOMPARE(folder.readFile("q.txt").substr(2500, 4), std::string("000N"));

    // Over-long texts are cut after a warning for each.
    fill(*dlg, QString(50, QChar(0x554F)), QStringLiteral("c"), 1); // 100 bytes
    answerEdit(*dlg, 4)->setText(QString(40000, QLatin1Char('x'))); // the edits take any length
    QCOMPARE(answerEdit(*dlg, 4)->text().size(), 40000);
    child<QCheckBox>(*dlg, "pictureCheck")->setChecked(false);
    boxes.clear();
    click(*dlg, "addButton");
    QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("問題を追加します"),
                                         QString::fromUtf8(kQuestionCutWarning), QString::fromUtf8(kAnswerCutWarning)}));
    QCOMPARE(boxes.shown()[1].icon, Icon::Exclamation);
    const QuestionRecord added = decodeRecord(folder.readFile("q.txt").substr(3000));
    QCOMPARE(added.question, sjis::fromUtf8(QString(48, QChar(0x554F)).toStdString()));
    QCOMPARE(added.answers[3], std::string(78, 'x'));
    QCOMPARE(folder.readFile("q.txt").size(), std::size_t(3500));
}

void TestEditDialog::refusesIncompleteQuestions()
{
    TestFolder folder;
    folder.writeIni("[QUESTION]\n1=q.txt\n");
    const std::string bank = bankOf({makeQuestion("一", 1)});
    folder.writeFile("q.txt", bank);
    MessageBoxRecorder boxes;
    auto dlg = openEditor();

    fill(*dlg, QStringLiteral("問"), QStringLiteral("答"), 2);
    answerEdit(*dlg, 4)->clear();
    boxes.queue(Answer::No);
    click(*dlg, "addButton");
    QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("問題を追加します"), QStringLiteral("全てに値を入力して下さい。")}));
    QCOMPARE(boxes.shown()[1].icon, Icon::Stop);

    // Everything typed but no correct answer chosen.
    fill(*dlg, QStringLiteral("問"), QStringLiteral("答"), 0);
    dlg->OnClear();
    fill(*dlg, QStringLiteral("問"), QStringLiteral("答"), 0);
    dlg->correctGroup()->setExclusive(false);
    dlg->correctGroup()->button(1)->setChecked(false);
    dlg->correctGroup()->setExclusive(true);
    boxes.clear();
    click(*dlg, "addButton");
    QCOMPARE(boxes.texts().last(), QStringLiteral("全てに値を入力して下さい。"));

    // Complete, but No: nothing happens.
    fill(*dlg, QStringLiteral("問"), QStringLiteral("答"), 1);
    boxes.clear();
    boxes.queue(Answer::No);
    click(*dlg, "addButton");
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(folder.readFile("q.txt"), bank);
    QCOMPARE(answerEdit(*dlg, 1)->text(), QStringLiteral("答1"));
}

void TestEditDialog::loadsAndUpdatesQuestions()
{
    TestFolder folder;
    folder.writeIni("[QUESTION]\n1=q.txt\n");
    QuestionRecord broken = makeQuestion("x", 4);
    broken.question = "bad\x82\x20\xff text"; // not valid Shift-JIS
    QuestionRecord unmarked = makeQuestion("印なし", 0);
    const std::string bank = bankOf({makeQuestion("一", 1), marked(makeQuestion("正解済み", 2), 'C'),
                                     makeQuestion("絵", 5, "答", "012"), unmarked, broken});
    folder.writeFile("q.txt", bank);
    MessageBoxRecorder boxes;
    FileDialogStub files;
    auto dlg = openEditor();

    select(*dlg, 1);
    QCOMPARE(child<QLineEdit>(*dlg, "questionEdit")->text(), QStringLiteral("正解済み"));
    QCOMPARE(answerEdit(*dlg, 5)->text(), QStringLiteral("答5"));
    QCOMPARE(dlg->correctGroup()->checkedId(), 1);
    QCOMPARE(child<QComboBox>(*dlg, "lastResultList")->currentIndex(), 1);
    QVERIFY(!child<QCheckBox>(*dlg, "pictureCheck")->isChecked());
    QVERIFY(!button(*dlg, "addButton")->isEnabled());
    QVERIFY(button(*dlg, "updateButton")->isEnabled() && button(*dlg, "deleteQuestionButton")->isEnabled());
    // 認証 again leaves 更新 and 問削除 as they are.
    click(*dlg, "authButton");
    QVERIFY(button(*dlg, "updateButton")->isEnabled() && button(*dlg, "deleteQuestionButton")->isEnabled());

    // Updating unchanged rewrites the same bytes, mark "C" included.
    click(*dlg, "updateButton");
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("更新しても宜しいですか?")});
    QCOMPARE(folder.readFile("q.txt"), bank);

    // A question with no "*" leaves the previous correct answer selected.
    select(*dlg, 3);
    QCOMPARE(child<QLineEdit>(*dlg, "questionEdit")->text(), QStringLiteral("印なし"));
    QCOMPARE(dlg->correctGroup()->checkedId(), 1);

    // A picture is kept only when it is chosen again.
    select(*dlg, 2);
    QVERIFY(child<QCheckBox>(*dlg, "pictureCheck")->isChecked());
    answerEdit(*dlg, 2)->setText(QString(90, QLatin1Char('y')));
    answerEdit(*dlg, 3)->setText(QStringLiteral("  x  "));
    child<QLineEdit>(*dlg, "questionEdit")->setText(QString(98, QLatin1Char('q')));
    click(*dlg, "updateButton");
    QCOMPARE(files.requests().size(), 1);
    const std::string after = folder.readFile("q.txt");
    QCOMPARE(after.substr(1000, 4), std::string("000N"));
    QCOMPARE(decodeRecord(after.substr(1000, 500)).question, std::string(96, 'q'));
    QCOMPARE(decodeRecord(after.substr(1000, 500)).answers[1], std::string(78, 'y'));
    // The answers show what was stored; the question keeps what was typed.
    QCOMPARE(answerEdit(*dlg, 2)->text(), QString(78, QLatin1Char('y')));
    QCOMPARE(answerEdit(*dlg, 3)->text(), QStringLiteral("  x"));
    QCOMPARE(child<QLineEdit>(*dlg, "questionEdit")->text(), QString(98, QLatin1Char('q')));
    QCOMPARE(after.substr(0, 1000), bank.substr(0, 1000));
    QCOMPARE(after.substr(1500), bank.substr(1500));

    // Bytes that are not valid Shift-JIS survive an unchanged update.
    select(*dlg, 4);
    click(*dlg, "updateButton");
    QCOMPARE(folder.readFile("q.txt").substr(2000), bank.substr(2000));

    // Update answered No writes nothing; with no number selected it refuses.
    child<QLineEdit>(*dlg, "questionEdit")->setText(QStringLiteral("変更"));
    boxes.clear();
    boxes.queue(Answer::No);
    click(*dlg, "updateButton");
    QCOMPARE(boxes.count(), 1);
    numbers(*dlg)->setCurrentIndex(-1);
    click(*dlg, "updateButton");
    QCOMPARE(boxes.texts().last(), QStringLiteral("問題番号を選択して下さい。"));
    QCOMPARE(folder.readFile("q.txt").substr(2000), bank.substr(2000));

    // Clear empties the fields and returns to adding.
    dlg->OnClear();
    QVERIFY(child<QLineEdit>(*dlg, "questionEdit")->text().isEmpty());
    QCOMPARE(child<QComboBox>(*dlg, "lastResultList")->currentIndex(), -1);
    QVERIFY(button(*dlg, "addButton")->isEnabled() && !button(*dlg, "updateButton")->isEnabled());
    QVERIFY(!button(*dlg, "deleteQuestionButton")->isEnabled());
    click(*dlg, "authButton");
    QVERIFY(!button(*dlg, "updateButton")->isEnabled() && !button(*dlg, "deleteQuestionButton")->isEnabled());
}

void TestEditDialog::deletesAQuestion_data()
{
    QTest::addColumn<int>("countBefore");
    QTest::addColumn<int>("countAfter");
    QTest::newRow("lowered") << 3 << 2;
    QTest::newRow("lowered to what is left") << 10 << 2;
    QTest::newRow("kept") << 1 << 1;
}

void TestEditDialog::deletesAQuestion()
{
    QFETCH(int, countBefore);
    QFETCH(int, countAfter);
    TestFolder folder;
    const std::string bank = writeBankOfThree(folder, countBefore);
    MessageBoxRecorder boxes;
    auto dlg = openEditor();
    select(*dlg, 1);
    click(*dlg, "deleteQuestionButton");
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("問題を削除します")});
    QCOMPARE(folder.readFile("q.txt"), bank.substr(0, 500) + bank.substr(1000));
    QVERIFY(!folder.exists("q.txt_new"));
    QCOMPARE(numbers(*dlg)->count(), 2);
    QCOMPARE(numbers(*dlg)->currentIndex(), -1);
    QVERIFY(child<QLineEdit>(*dlg, "questionEdit")->text().isEmpty());
    QVERIFY(answerEdit(*dlg, 3)->text().isEmpty());
    QVERIFY(!button(*dlg, "deleteQuestionButton")->isEnabled());
    QVERIFY(button(*dlg, "updateButton")->isEnabled());
    QCOMPARE(appProfile().GetProfileIntA("QUESTION_CNT", "1", -1), countAfter);

    // With no question selected the command does nothing at all.
    boxes.clear();
    dlg->OnDeleteQuestion();
    QCOMPARE(boxes.count(), 0);
}

void TestEditDialog::neverDeletesTheLastQuestion()
{
    TestFolder folder;
    folder.writeIni("[QUESTION]\n1=q.txt\n");
    const std::string bank = bankOf({makeQuestion("一", 1)});
    folder.writeFile("q.txt", bank);
    MessageBoxRecorder boxes;
    auto dlg = openEditor();
    select(*dlg, 0);
    for (Answer answer : {Answer::Yes, Answer::No}) {
        boxes.clear();
        boxes.queue(answer);
        click(*dlg, "deleteQuestionButton");
        QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("問題を削除します"), QStringLiteral("最後の問題は削除できません")}));
        QCOMPARE(boxes.shown()[1].icon, Icon::Stop);
    }
    QCOMPARE(folder.readFile("q.txt"), bank);
}

void TestEditDialog::failedDeletionKeepsBankAndEditor()
{
    TestFolder folder;
    const std::string bank = writeBankOfThree(folder, 3);
    MessageBoxRecorder boxes;
    auto dlg = openEditor();
    select(*dlg, 1);

    setFaultInjector([](FaultPoint p) { return p == FaultPoint::Rename; });
    click(*dlg, "deleteQuestionButton");
    setFaultInjector(nullptr);
    QCOMPARE(boxes.texts().size(), 2);
    QCOMPARE(boxes.shown()[1].icon, Icon::Stop);
    QCOMPARE(folder.readFile("q.txt"), bank);
    QVERIFY(!folder.exists("q.txt_new"));
    QCOMPARE(numbers(*dlg)->count(), 3);
    QCOMPARE(numbers(*dlg)->currentIndex(), 1);
    QCOMPARE(child<QLineEdit>(*dlg, "questionEdit")->text(), QStringLiteral("二"));
    QVERIFY(button(*dlg, "deleteQuestionButton")->isEnabled());
    QCOMPARE(appProfile().GetProfileIntA("QUESTION_CNT", "1", -1), 3);

    // The temporary file cannot be made.
    setFaultInjector([](FaultPoint p) { return p == FaultPoint::CreateTemp; });
    boxes.clear();
    click(*dlg, "deleteQuestionButton");
    setFaultInjector(nullptr);
    QCOMPARE(boxes.texts().last(), QStringLiteral("ファイル2オープンエラー"));
    QCOMPARE(folder.readFile("q.txt"), bank);

    // The question file went away meanwhile.
    std::filesystem::remove(folder.file("q.txt"));
    boxes.clear();
    click(*dlg, "deleteQuestionButton");
    QCOMPARE(boxes.texts().last(), kOpenError);
    QVERIFY(!folder.exists("q.txt") && !folder.exists("q.txt_new"));
}

void TestEditDialog::bankChangedOnDiskIsTakenAsItIs_data()
{
    // Another editor shrank the bank after the list was filled.
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("shown");
    const QString gone = QStringLiteral("選択した問題は問題ファイルにありません。問題番号を読み直しました。");
    const QString one = QStringLiteral("一");
    const QString three = QStringLiteral("三");
    QTest::newRow("delete the last one left")
        << 0 << 1 << "deleteQuestionButton" << QStringLiteral("最後の問題は削除できません") << one;
    QTest::newRow("delete one gone") << 1 << 1 << "deleteQuestionButton" << gone << QStringLiteral("二");
    QTest::newRow("update one gone") << 2 << 2 << "updateButton" << gone << three;
    QTest::newRow("load one gone") << 2 << 1 << "" << gone << one; // question 1 was on screen
}

void TestEditDialog::bankChangedOnDiskIsTakenAsItIs()
{
    QFETCH(int, selected);
    QFETCH(int, left);
    QFETCH(QString, command);
    QFETCH(QString, refusal);
    QFETCH(QString, shown);
    TestFolder folder;
    const std::string bank = writeBankOfThree(folder, 3);
    MessageBoxRecorder boxes;
    auto dlg = openEditor();
    select(*dlg, command.isEmpty() ? 0 : selected);
    folder.writeFile("q.txt", bank.substr(0, static_cast<std::size_t>(left) * 500));
    if (command.isEmpty())
        select(*dlg, selected);
    else
        click(*dlg, command.toLatin1().constData());

    // Nothing is written, nothing gone is shown, and the list is up to date.
    QCOMPARE(boxes.texts().last(), refusal);
    QCOMPARE(boxes.shown().last().icon, Icon::Stop);
    QCOMPARE(folder.readFile("q.txt"), bank.substr(0, static_cast<std::size_t>(left) * 500));
    QCOMPARE(appProfile().GetProfileIntA("QUESTION_CNT", "1", -1), 3);
    QCOMPARE(numbers(*dlg)->count(), left);
    QCOMPARE(child<QLineEdit>(*dlg, "questionEdit")->text(), shown);
    if (selected >= left)
        QVERIFY(!button(*dlg, "updateButton")->isEnabled() && !button(*dlg, "deleteQuestionButton")->isEnabled());
}

void TestEditDialog::failedWritesKeepTheBank()
{
    TestFolder folder;
    folder.writeIni("[QUESTION]\n1=q.txt\n");
    const std::string bank = bankOf({makeQuestion("一", 1), makeQuestion("二", 2)}) + "torn";
    folder.writeFile("q.txt", bank);
    MessageBoxRecorder boxes;
    auto dlg = openEditor();
    // The third piece of the record (its second answer slot) cannot be written.
    int pieces = 0;
    setFaultInjector([&pieces](FaultPoint p) { return p == FaultPoint::WritePiece && ++pieces == 3; });

    fill(*dlg, QStringLiteral("新"), QStringLiteral("案"), 1);
    click(*dlg, "addButton");
    QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("問題を追加します"), QStringLiteral("ファイル書き込みエラー")}));
    QCOMPARE(folder.readFile("q.txt"), bank);
    QCOMPARE(numbers(*dlg)->count(), 2);
    QCOMPARE(child<QLineEdit>(*dlg, "questionEdit")->text(), QStringLiteral("新"));

    select(*dlg, 1);
    answerEdit(*dlg, 1)->setText(QStringLiteral("変更  "));
    pieces = 0;
    boxes.clear();
    click(*dlg, "updateButton");
    setFaultInjector(nullptr);
    QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("更新しても宜しいですか?"), QStringLiteral("ファイル書き込みエラー")}));
    QCOMPARE(folder.readFile("q.txt"), bank);
    QCOMPARE(answerEdit(*dlg, 1)->text(), QStringLiteral("変更  "));
}

void TestEditDialog::createsQuestionFiles()
{
    TestFolder folder;
    folder.writeIni("[QUESTION]\n1=q.txt\n");
    const std::string bank = bankOf({makeQuestion("一", 1), makeQuestion("二", 2)});
    folder.writeFile("q.txt", bank);
    folder.writeFile("two.txt", bank);
    MessageBoxRecorder boxes;
    FileDialogStub files;
    auto dlg = openEditor();
    const std::string t = templateRecordBytes();

    files.queue(QString::fromStdString(folder.file("fresh.txt").string()));
    click(*dlg, "newFileButton");
    QCOMPARE(files.requests()[0].kind, FileDialog::Kind::Save);
    QCOMPARE(files.requests()[0].filter, QStringLiteral("TXTファイル(*.txt)|*.txt||"));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("問題ファイルを新規作成します")});
    QCOMPARE(folder.readFile("fresh.txt"), t + t + t);

    files.queue(QString::fromStdString(folder.file("two.txt").string()));
    click(*dlg, "newFileButton");
    QCOMPARE(folder.readFile("two.txt"), bank + t + t + t);
    QCOMPARE(numbers(*dlg)->count(), 2); // another file: the editor's list is unchanged

    // Cancelled dialog or No: nothing.
    boxes.clear();
    click(*dlg, "newFileButton");
    QCOMPARE(boxes.count(), 0);
    files.queue(QString::fromStdString(folder.file("never.txt").string()));
    boxes.queue(Answer::No);
    click(*dlg, "newFileButton");
    QVERIFY(!folder.exists("never.txt"));

    files.queue(QString::fromStdString(folder.file("no/such/folder.txt").string()));
    click(*dlg, "newFileButton");
    QCOMPARE(boxes.texts().last(), kOpenError);

    // Template records added to the file being edited can be picked at once.
    files.queue(QString::fromStdString(folder.file("q.txt").string()));
    click(*dlg, "newFileButton");
    QCOMPARE(numbers(*dlg)->count(), 5);
    select(*dlg, 4);
    QCOMPARE(child<QLineEdit>(*dlg, "questionEdit")->text(), QStringLiteral("テスト問題"));
    QCOMPARE(answerEdit(*dlg, 5)->text(), QStringLiteral("解答5"));
    QCOMPARE(dlg->correctGroup()->checkedId(), 0);
    QVERIFY(!child<QCheckBox>(*dlg, "pictureCheck")->isChecked());
}

void TestEditDialog::deletesOnlyUnprotectedFiles()
{
    TestFolder folder;
    const QString configured = QString::fromStdString(folder.file("q.txt").string());
    folder.writeIni(("[QUESTION]\n1=" + configured.toStdString() + "\n").c_str());
    const std::string bank = bankOf({makeQuestion("一", 1)});
    for (const char* name : {"q.txt", "other/ReadMe.txt", "other/readme.txt", "bare.txt"})
        folder.writeFile(name, bank);
    MessageBoxRecorder boxes;
    FileDialogStub files;
    const QString refused = QStringLiteral("設定問題につき削除出来ません");
    {
        auto dlg = openEditor();
        files.queue(configured);
        click(*dlg, "deleteFileButton");
        QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("問題ファイルを削除します"), refused}));
        QCOMPARE(files.requests()[0].kind, FileDialog::Kind::Open);
        QVERIFY(folder.exists("q.txt"));

        files.queue(QString::fromStdString(folder.file("other/ReadMe.txt").string()));
        click(*dlg, "deleteFileButton");
        QCOMPARE(boxes.texts().last(), refused);
        QVERIFY(folder.exists("other/ReadMe.txt"));

        files.queue(QString::fromStdString(folder.file("other/readme.txt").string()));
        boxes.clear();
        click(*dlg, "deleteFileButton");
        QCOMPARE(boxes.count(), 1);
        QVERIFY(!folder.exists("other/readme.txt"));

        boxes.clear();
        click(*dlg, "deleteFileButton"); // cancelled
        QCOMPARE(boxes.count(), 0);
    }
    // A configured bare name protects the file it names in the current folder.
    folder.writeIni("[QUESTION]\n1=bare.txt\n");
    auto dlg = openEditor();
    files.queue(QString::fromStdString(folder.file("bare.txt").string()));
    boxes.clear();
    click(*dlg, "deleteFileButton");
    QCOMPARE(boxes.texts().last(), refused);
    QVERIFY(folder.exists("bare.txt"));
}

void TestEditDialog::enterEscAndCloseRequestsDoNothing()
{
    TestFolder folder;
    folder.writeIni("[QUESTION]\n1=q.txt\n");
    folder.writeQuestions("q.txt", {makeQuestion("一", 1), makeQuestion("二", 2)});
    MessageBoxRecorder boxes;
    auto dlg = openEditor();
    select(*dlg, 0);
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    for (QWidget* target : std::initializer_list<QWidget*>{dlg.get(), child<QLineEdit>(*dlg, "questionEdit"),
                                                           button(*dlg, "deleteQuestionButton"),
                                                           child<QLineEdit>(*dlg, "accessCodeEdit")}) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter);
        QTest::keyClick(target, Qt::Key_Escape);
    }
    // Enter in the open number list chooses nothing either.
    QComboBox* list = numbers(*dlg);
    list->showPopup();
    list->view()->setCurrentIndex(list->model()->index(1, 0));
    for (QWidget* target : {static_cast<QWidget*>(list->view()), list->view()->viewport()}) {
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter);
    }
    list->hidePopup();
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(child<QLineEdit>(*dlg, "questionEdit")->text(), QStringLiteral("一"));
    QVERIFY(!dlg->close());
    dlg->reject();
    QVERIFY(dlg->isVisible());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(numbers(*dlg)->count(), 2);

    click(*dlg, "backButton");
    QCOMPARE(finished.count(), 1);
    QCOMPARE(dlg->result(), int(QDialog::Accepted));
}

QTEST_MAIN(TestEditDialog)
#include "test_edit_dialog.moc"
