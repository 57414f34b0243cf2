#include "CEditDlg.h"

#include "questionfile/QuestionFile.h"
#include "questionfile/QuestionFileOps.h"
#include "QuestionNumberModel.h"
#include "questionfile/QuestionRecord.h"
#include "platform/DataExchange.h"
#include "platform/DialogLook.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/SjisText.h"
#include "settings/AppProfile.h"
#include "settings/EditAccessCode.h"
#include "ui_CEditDlg.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QShowEvent>
#include <QTimer>

#include <limits>
#include <optional>

std::string g_strQuestionFile;

namespace {

const char* const kQuestionSection = "QUESTION";
const char* const kQuestionCountSection = "QUESTION_CNT";
const char* const kDefaultQuestionFile = "sample0524.txt";

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

const QString kWrongCode = QStringLiteral("パスワードが間違っています");
const QString kAskAdd = QStringLiteral("問題を追加します");
const QString kFillEverything = QStringLiteral("全てに値を入力して下さい。");
const QString kAskUpdate = QStringLiteral("更新しても宜しいですか?");
const QString kSelectNumber = QStringLiteral("問題番号を選択して下さい。");
const QString kWriteError = QStringLiteral("ファイル書き込みエラー");
const QString kAskDeleteQuestion = QStringLiteral("問題を削除します");
const QString kLastQuestion = QStringLiteral("最後の問題は削除できません");
const QString kTempOpenError = QStringLiteral("ファイル2オープンエラー");
const QString kNumberGone = QStringLiteral("選択した問題は問題ファイルにありません。問題番号を読み直しました。");
const QString kDeleteFailed = QStringLiteral("問題を削除できませんでした。問題ファイルは元のままです。");
const QString kAskNewFile = QStringLiteral("問題ファイルを新規作成します");
const QString kAskDeleteFile = QStringLiteral("問題ファイルを削除します");
const QString kProtectedFile = QStringLiteral("設定問題につき削除出来ません");
const QString kRemoveFailed = QStringLiteral("問題ファイルを削除できませんでした。");
const QString kTextFilter = QStringLiteral("TXTファイル(*.txt)|*.txt||");
const QString kBitmapFilter = QStringLiteral("BMPファイル(*.bmp)|*.bmp||");

// A path chosen in a file dialog, as this machine names it. It does not go
// through Shift-JIS, so a name that code page 932 cannot hold still names
// the file chosen and no other.
std::filesystem::path nativeOf(const QString& chosen)
{
    return std::filesystem::path(QFile::encodeName(chosen).toStdString());
}

// The open number list takes Enter to choose the highlighted number, and
// does so before the key reaches the dialog's filter. Enter does nothing in
// the editor, in the open list too: a number is chosen by the mouse or by
// the arrow keys.
class PopupEnterFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                event->accept();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

using DataExchange::exchangeText;

CEditDlg::CEditDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CEditDlg>())
{
    m_ui->setupUi(this);
    DialogLook::removeCloseBox(this);
    DialogLook::applyFont(this);
    setFixedSize(size());

    m_correctGroup = new QButtonGroup(this);
    m_correctGroup->addButton(m_ui->correctRadio1, 0);
    m_correctGroup->addButton(m_ui->correctRadio2, 1);
    m_correctGroup->addButton(m_ui->correctRadio3, 2);
    m_correctGroup->addButton(m_ui->correctRadio4, 3);
    m_correctGroup->addButton(m_ui->correctRadio5, 4);

    // The edits take texts of any length; the record's limits apply only
    // when a question is written.
    for (QLineEdit* edit : {m_ui->questionEdit, m_ui->answerEdit1, m_ui->answerEdit2, m_ui->answerEdit3,
                            m_ui->answerEdit4, m_ui->answerEdit5, m_ui->accessCodeEdit})
        edit->setMaxLength(std::numeric_limits<int>::max());

    m_numbers = new QuestionNumberModel(this);
    m_ui->numberList->setModel(m_numbers);
    auto* popup = new QListView(m_ui->numberList);
    popup->setUniformItemSizes(true);
    m_ui->numberList->setView(popup);
    // Installed after the list's own handling of its popup, so it comes first.
    auto* enterFilter = new PopupEnterFilter(popup);
    popup->installEventFilter(enterFilter);
    popup->viewport()->installEventFilter(enterFilter);

    connect(m_ui->authButton, &QPushButton::clicked, this, &CEditDlg::OnAuth);
    connect(m_ui->numberList, QOverload<int>::of(&QComboBox::activated), this, &CEditDlg::OnSelectNumber);
    connect(m_ui->addButton, &QPushButton::clicked, this, &CEditDlg::OnAdd);
    connect(m_ui->updateButton, &QPushButton::clicked, this, &CEditDlg::OnUpdateQuestion);
    connect(m_ui->clearButton, &QPushButton::clicked, this, &CEditDlg::OnClear);
    connect(m_ui->backButton, &QPushButton::clicked, this, &CEditDlg::OnOK);
    connect(m_ui->deleteQuestionButton, &QPushButton::clicked, this, &CEditDlg::OnDeleteQuestion);
    connect(m_ui->newFileButton, &QPushButton::clicked, this, &CEditDlg::OnNewFile);
    connect(m_ui->deleteFileButton, &QPushButton::clicked, this, &CEditDlg::OnDeleteFile);

    DialogLook::installEnterEscFilter(this);
    OnInitDialog();
}

CEditDlg::~CEditDlg() = default;

void CEditDlg::OnInitDialog()
{
    g_strQuestionFile = appProfile().GetProfileStringA(kQuestionSection, "1", kDefaultQuestionFile);
    m_strFileName = g_strQuestionFile;

    question::QuestionFile file;
    int count = 0;
    if (file.open(g_strQuestionFile))
        count = file.recordCount();
    else
        m_openErrorPending = true; // shown over the editor (showEvent)
    RefillNumbers(count);

    UpdateData(false);
    file.close();
    m_ui->updateButton->setEnabled(false);
    m_ui->deleteQuestionButton->setEnabled(false);

    m_ui->lastResultList->addItem(QStringLiteral("-"));
    m_ui->lastResultList->addItem(QStringLiteral("正解"));
    m_ui->lastResultList->addItem(QStringLiteral("不正解"));
    m_ui->lastResultList->setCurrentIndex(-1);
}

std::string* CEditDlg::answerMember(int i)
{
    switch (i) {
    case 1:
        return &m_strAnswer1;
    case 2:
        return &m_strAnswer2;
    case 3:
        return &m_strAnswer3;
    case 4:
        return &m_strAnswer4;
    default:
        return &m_strAnswer5;
    }
}

void CEditDlg::UpdateData(bool save)
{
    // Question number: the text of the selected item.
    if (save) {
        const int index = m_ui->numberList->currentIndex();
        m_strNumber = index >= 0 ? toSjis(m_ui->numberList->itemText(index)) : std::string();
    } else {
        m_ui->numberList->setCurrentIndex(m_numbers->indexOfText(fromSjis(m_strNumber)));
    }
    exchangeText(save, m_ui->answerEdit1, m_strAnswer1);
    exchangeText(save, m_ui->answerEdit2, m_strAnswer2);
    exchangeText(save, m_ui->answerEdit3, m_strAnswer3);
    exchangeText(save, m_ui->answerEdit4, m_strAnswer4);
    exchangeText(save, m_ui->questionEdit, m_strQuestion);
    exchangeText(save, m_ui->fileNameLabel, m_strFileName);
    if (!save)
        m_ui->fileNameLabel->setAccessibleName(m_ui->fileNameLabel->text());
    // Correct answer: index of the checked radio button, -1 for none.
    if (save) {
        m_nCorrectAnswer = m_correctGroup->checkedId();
    } else {
        QAbstractButton* button = m_correctGroup->button(m_nCorrectAnswer);
        if (button) {
            button->setChecked(true);
        } else if (m_correctGroup->checkedButton()) {
            m_correctGroup->setExclusive(false);
            m_correctGroup->checkedButton()->setChecked(false);
            m_correctGroup->setExclusive(true);
        }
    }
    exchangeText(save, m_ui->answerEdit5, m_strAnswer5);
    if (save)
        m_nPicture = m_ui->pictureCheck->isChecked() ? 1 : 0;
    else
        m_ui->pictureCheck->setChecked(m_nPicture == 1);
    if (save) {
        m_nLastResult = m_ui->lastResultList->currentIndex();
    } else {
        const bool valid = m_nLastResult >= 0 && m_nLastResult < m_ui->lastResultList->count();
        m_ui->lastResultList->setCurrentIndex(valid ? m_nLastResult : -1);
    }
    exchangeText(save, m_ui->accessCodeEdit, m_strAccessCode);
}

void CEditDlg::RefillNumbers(int count)
{
    m_numbers->setCount(count);
    m_ui->numberList->setCurrentIndex(-1);
}

void CEditDlg::EmptyTexts()
{
    UpdateData(true);
    m_strQuestion.clear();
    for (int i = 1; i <= question::kAnswerCount; ++i)
        answerMember(i)->clear();
    UpdateData(false);
}

void CEditDlg::showWarning(const char* warning)
{
    MessageBox::show(this, text(warning), MessageBox::Icon::Exclamation);
}

std::string CEditDlg::choosePictureNumber()
{
    if (m_nPicture != 1)
        return "000";
    const QString chosen = FileDialog::getOpenFileName(this, kBitmapFilter, QStringLiteral("bmp"));
    if (chosen.isEmpty())
        return "000";
    // Only the name counts, not its folder; its first three bytes are stored.
    return toSjis(QFileInfo(chosen).fileName()).substr(0, 3);
}

void CEditDlg::OnAuth()
{
    UpdateData(true);
    if (!settings::isEditAccessCode(m_strAccessCode)) {
        MessageBox::show(this, kWrongCode, MessageBox::Icon::Information);
        return;
    }
    m_ui->fileNameLabel->setVisible(true);
    m_ui->numberList->setEnabled(true);
    m_ui->addButton->setEnabled(true);
    m_ui->newFileButton->setEnabled(true);
    m_ui->deleteFileButton->setEnabled(true);
    m_ui->clearButton->setEnabled(true);
}

void CEditDlg::NumberGone(int count)
{
    MessageBox::show(this, kNumberGone, MessageBox::Icon::Stop);
    RefillNumbers(count);
    m_ui->updateButton->setEnabled(false);
    m_ui->deleteQuestionButton->setEnabled(false);
}

void CEditDlg::OnSelectNumber()
{
    const int index = m_ui->numberList->currentIndex();
    if (index < 0)
        return;
    const int n = index + 1;

    question::QuestionFile file;
    if (!file.open(g_strQuestionFile)) {
        MessageBox::show(this, text(question::kOpenErrorMessage), MessageBox::Icon::Stop);
        return;
    }
    if (n > file.recordCount()) {
        // The file shrank since the list was filled.
        NumberGone(file.recordCount());
        return;
    }
    question::QuestionRecord record;
    file.readQuestion(n, record);

    const int resultIndex = question::resultIndexForMark(record.mark);
    if (resultIndex >= 0)
        m_ui->lastResultList->setCurrentIndex(resultIndex);
    UpdateData(true);

    m_nPicture = record.picture == "000" ? 0 : 1;
    m_strQuestion = record.question;
    for (int i = 1; i <= question::kAnswerCount; ++i)
        *answerMember(i) = record.answers[static_cast<std::size_t>(i - 1)];
    if (record.correct >= 1)
        m_nCorrectAnswer = record.correct - 1;

    UpdateData(false);
    file.close();
    m_ui->addButton->setEnabled(false);
    m_ui->updateButton->setEnabled(true);
    m_ui->deleteQuestionButton->setEnabled(true);
}

void CEditDlg::OnAdd()
{
    UpdateData(true);
    const bool yes = MessageBox::ask(this, kAskAdd);
    bool complete = !m_strQuestion.empty() && m_nCorrectAnswer >= 0 && m_nCorrectAnswer < question::kAnswerCount;
    for (int i = 1; i <= question::kAnswerCount; ++i)
        complete = complete && !answerMember(i)->empty();

    if (!complete) {
        MessageBox::show(this, kFillEverything, MessageBox::Icon::Stop);
        return;
    }
    if (!yes)
        return;

    question::QuestionFile file;
    if (!file.open(g_strQuestionFile)) {
        MessageBox::show(this, text(question::kOpenErrorMessage), MessageBox::Icon::Stop);
        return;
    }
    question::QuestionRecord record;
    record.picture = choosePictureNumber();
    record.mark = question::markForResultIndex(m_nLastResult);
    record.question = m_strQuestion;
    for (int i = 1; i <= question::kAnswerCount; ++i)
        record.answers[static_cast<std::size_t>(i - 1)] = *answerMember(i);
    record.correct = m_nCorrectAnswer + 1;

    if (!file.appendQuestion(record, [this](const char* w) { showWarning(w); })) {
        file.close();
        MessageBox::show(this, kWriteError, MessageBox::Icon::Stop);
        return;
    }
    RefillNumbers(file.recordCount());
    file.close();
    EmptyTexts();
}

void CEditDlg::OnUpdateQuestion()
{
    if (!MessageBox::ask(this, kAskUpdate))
        return;
    const int index = m_ui->numberList->currentIndex();
    if (index < 0) {
        // Nothing to write to: the fields stay as they are.
        MessageBox::show(this, kSelectNumber, MessageBox::Icon::Stop);
        return;
    }
    const int n = index + 1;

    question::QuestionFile file;
    if (!file.open(g_strQuestionFile)) {
        MessageBox::show(this, text(question::kOpenErrorMessage), MessageBox::Icon::Stop);
        return;
    }
    if (n > file.recordCount()) {
        NumberGone(file.recordCount());
        return;
    }
    UpdateData(true);

    question::QuestionRecord record;
    record.picture = choosePictureNumber();
    record.mark = question::markForResultIndex(m_nLastResult);
    record.question = m_strQuestion;
    for (int i = 1; i <= question::kAnswerCount; ++i)
        record.answers[static_cast<std::size_t>(i - 1)] = *answerMember(i);
    record.correct = m_nCorrectAnswer >= 0 ? m_nCorrectAnswer + 1 : 0;

    if (!file.rewriteQuestion(n, record, [this](const char* w) { showWarning(w); })) {
        // The old record is back in place; the fields keep what was typed.
        file.close();
        MessageBox::show(this, kWriteError, MessageBox::Icon::Stop);
        return;
    }

    // The answer fields show their texts as they now stand in the file; the
    // question field keeps what was typed.
    const question::QuestionRecord stored = question::decodeRecord(question::encodeRecord(record, nullptr));
    for (int i = 1; i <= question::kAnswerCount; ++i)
        *answerMember(i) = stored.answers[static_cast<std::size_t>(i - 1)];
    UpdateData(false);
    file.close();
}

void CEditDlg::OnClear()
{
    m_ui->numberList->setCurrentIndex(-1);
    m_ui->lastResultList->setCurrentIndex(-1);
    UpdateData(true);
    m_strQuestion.clear();
    for (int i = 1; i <= question::kAnswerCount; ++i)
        answerMember(i)->clear();
    m_nPicture = 0;
    UpdateData(false);
    m_ui->addButton->setEnabled(true);
    m_ui->updateButton->setEnabled(false);
    m_ui->deleteQuestionButton->setEnabled(false);
}

void CEditDlg::OnOK()
{
    UpdateData(true);
    accept();
}

void CEditDlg::OnDeleteQuestion()
{
    const int k = m_ui->numberList->currentIndex();
    if (k < 0)
        return;
    const bool yes = MessageBox::ask(this, kAskDeleteQuestion);
    // The file as it is now counts, not the list: it may have changed since
    // the list was filled. When it cannot be examined the list decides, and
    // the deletion below reports the file.
    const int count = question::recordCountOf(g_strQuestionFile).value_or(m_numbers->count());
    if (k >= count) {
        NumberGone(count);
        return;
    }
    if (count <= 1) {
        MessageBox::show(this, kLastQuestion, MessageBox::Icon::Stop);
        if (m_numbers->count() != count) {
            // The list is brought up to date; the question shown is still there.
            RefillNumbers(count);
            m_ui->numberList->setCurrentIndex(k);
        }
        return;
    }
    if (!yes)
        return;

    UpdateData(true);
    switch (question::deleteRecord(g_strQuestionFile, k)) {
    case question::DeleteResult::Done:
        break;
    case question::DeleteResult::NoSuchRecord:
        NumberGone(question::recordCountOf(g_strQuestionFile).value_or(0));
        return;
    case question::DeleteResult::LastRecord:
        MessageBox::show(this, kLastQuestion, MessageBox::Icon::Stop);
        return;
    case question::DeleteResult::OpenFailed:
        MessageBox::show(this, text(question::kOpenErrorMessage), MessageBox::Icon::Stop);
        return;
    case question::DeleteResult::TempFailed:
        MessageBox::show(this, kTempOpenError, MessageBox::Icon::Stop);
        return;
    case question::DeleteResult::CopyFailed:
    case question::DeleteResult::ReplaceFailed:
        // The bank is as it was; the editor keeps showing the question, so
        // the deletion can be tried again.
        MessageBox::show(this, kDeleteFailed, MessageBox::Icon::Stop);
        return;
    }

    question::QuestionFile file;
    int left = 0;
    if (file.open(g_strQuestionFile)) {
        left = file.recordCount();
    } else {
        MessageBox::show(this, text(question::kOpenErrorMessage), MessageBox::Icon::Stop);
        left = question::recordCountOf(g_strQuestionFile).value_or(0);
    }
    RefillNumbers(left);
    EmptyTexts();
    file.close();

    const int asked = appProfile().GetProfileIntA(kQuestionCountSection, "1", 1);
    if (left < asked)
        appProfile().WriteProfileInt(kQuestionCountSection, "1", left);
    m_ui->deleteQuestionButton->setEnabled(false);
}

std::optional<std::filesystem::path> CEditDlg::ChooseTextFile(FileDialog::Kind kind, const QString& question)
{
    const QString chosen = kind == FileDialog::Kind::Save
                               ? FileDialog::getSaveFileName(this, kTextFilter, QStringLiteral("txt"))
                               : FileDialog::getOpenFileName(this, kTextFilter, QStringLiteral("txt"));
    UpdateData(true);
    if (chosen.isEmpty() || !MessageBox::ask(this, question))
        return std::nullopt;
    return nativeOf(chosen);
}

void CEditDlg::OnNewFile()
{
    const std::optional<std::filesystem::path> chosen = ChooseTextFile(FileDialog::Kind::Save, kAskNewFile);
    if (!chosen)
        return;
    const std::filesystem::path& path = *chosen;
    switch (question::appendTemplateRecords(path)) {
    case question::NewFileResult::Done:
        break;
    case question::NewFileResult::OpenFailed:
        MessageBox::show(this, text(question::kOpenErrorMessage), MessageBox::Icon::Stop);
        return;
    case question::NewFileResult::WriteFailed:
        MessageBox::show(this, kWriteError, MessageBox::Icon::Stop);
        return;
    }

    // Records added to the file being edited show up in its list at once;
    // the selected question keeps its number.
    if (question::isConfiguredFile(path, g_strQuestionFile)) {
        const int selected = m_ui->numberList->currentIndex();
        if (const auto count = question::recordCountOf(g_strQuestionFile)) {
            RefillNumbers(*count);
            if (selected >= 0 && selected < *count)
                m_ui->numberList->setCurrentIndex(selected);
        }
    }
}

void CEditDlg::OnDeleteFile()
{
    const std::optional<std::filesystem::path> chosen = ChooseTextFile(FileDialog::Kind::Open, kAskDeleteFile);
    if (!chosen)
        return;
    const std::filesystem::path& path = *chosen;
    if (question::isConfiguredFile(path, m_strFileName) || question::isConfiguredFile(path, g_strQuestionFile) ||
        question::isReadMeFile(path)) {
        MessageBox::show(this, kProtectedFile, MessageBox::Icon::Stop);
        return;
    }
    if (!question::removeQuestionFile(path))
        MessageBox::show(this, kRemoveFailed, MessageBox::Icon::Stop);
}

void CEditDlg::reject()
{
    // Only 戻る closes the editor.
}

void CEditDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_openErrorPending)
        return;
    m_openErrorPending = false;
    // After the window system has placed the editor, not before it exists
    // on screen (a box over a window not yet shown lands in a corner).
    QTimer::singleShot(0, this, [this] {
        MessageBox::show(this, text(question::kOpenErrorMessage), MessageBox::Icon::Stop);
    });
}

void CEditDlg::closeEvent(QCloseEvent* event)
{
    // The title bar has no close box; a close request from the window
    // manager is dropped.
    event->ignore();
}
