#pragma once
// The question editor "編集画面": browses the questions of the current
// question file, adds and updates questions, deletes a question, creates and
// deletes question files. Its commands stay locked until 認証.

#include "platform/FileDialog.h"

#include <QDialog>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

class QButtonGroup;
class QComboBox;
class QPushButton;
class QuestionNumberModel;
namespace Ui {
class CEditDlg;
}

// The question file the editor works on, as stored in QUESTION (Shift-JIS);
// read afresh every time the editor opens.
extern std::string g_strQuestionFile;

class CEditDlg : public QDialog {
    Q_OBJECT
public:
    explicit CEditDlg(QWidget* parent = nullptr);
    ~CEditDlg() override;

    // Data exchange: true moves the controls into the members, false the
    // members into the controls.
    void UpdateData(bool saveAndValidate);

    // Commands.
    void OnAuth();
    void OnSelectNumber();
    void OnAdd();
    void OnUpdateQuestion();
    void OnClear();
    void OnOK();
    void OnDeleteQuestion();
    void OnNewFile();
    void OnDeleteFile();

    // Removes every item of the question-number list and adds "1" up to
    // count, with no item selected.
    void RefillNumbers(int count);
    // Reads the controls, empties the question text and the five answer
    // texts and shows the members.
    void EmptyTexts();

    // Members (texts are Shift-JIS).
    std::string m_strNumber;
    std::string m_strAnswer1;
    std::string m_strAnswer2;
    std::string m_strAnswer3;
    std::string m_strAnswer4;
    std::string m_strQuestion;
    std::string m_strFileName;
    int m_nCorrectAnswer = -1;
    std::string m_strAnswer5;
    int m_nPicture = 0;
    int m_nLastResult = -1;
    std::string m_strAccessCode;

    Ui::CEditDlg* ui() const { return m_ui.get(); }
    // The five correct-answer radio buttons in the order 1024, 1025, 1026,
    // 1033, 1032 (ids 0 to 4).
    QButtonGroup* correctGroup() const { return m_correctGroup; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The file dialog of 新規 and 削除, then (unless cancelled) the question;
    // the chosen path when both went through.
    std::optional<std::filesystem::path> ChooseTextFile(FileDialog::Kind kind, const QString& question);

    void OnInitDialog();
    std::string* answerMember(int i);
    // Picture number for a question being written: the first three bytes of
    // the chosen bitmap's name when the picture box is ticked, else "000".
    std::string choosePictureNumber();
    void showWarning(const char* warning);
    // The selected number lies past the end of the file, which shrank since
    // the list was filled: tells the user and refills the list for count.
    void NumberGone(int count);

    std::unique_ptr<Ui::CEditDlg> m_ui;
    // The question file could not be opened while the editor opened: said
    // once the editor is on screen, so that the box stands over it.
    bool m_openErrorPending = false;
    QButtonGroup* m_correctGroup = nullptr;
    QuestionNumberModel* m_numbers = nullptr;
};
