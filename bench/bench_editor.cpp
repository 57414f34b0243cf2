// Times the question editor on a bank of 3 questions and on one of 100 000
// (50 MB): opening, loading a question, adding one, deleting one. Deleting is
// set against copying the same file with cp.
//
//   bench_editor [folder]   (default: a new folder under the system's temp)

#include "core/ShiftJis.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "dialogs/CEditDlg.h"
#include "questionfile/QuestionFile.h"
#include "questionfile/QuestionFileOps.h"
#include "questionfile/QuestionRecord.h"
#include "settings/AppProfile.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millis(const std::function<void()>& fn)
{
    const auto start = Clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The best of a few runs: the figure least disturbed by other work.
double best(int runs, const std::function<double()>& fn)
{
    double b = 1e300;
    for (int i = 0; i < runs; ++i)
        b = std::min(b, fn());
    return b;
}

void writeBank(const std::filesystem::path& path, int count)
{
    question::QuestionRecord r;
    r.question = sjis::fromUtf8("ベンチマーク用の問題文です");
    for (int i = 0; i < question::kAnswerCount; ++i)
        r.answers[static_cast<std::size_t>(i)] = sjis::fromUtf8("解答") + std::to_string(i + 1);
    r.correct = 2;
    const std::string record = question::encodeRecord(r, nullptr);
    std::string block;
    for (int i = 0; i < 1000; ++i)
        block += record;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    int left = count;
    while (left >= 1000) {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        left -= 1000;
    }
    out.write(block.data(), static_cast<std::streamsize>(left) * question::kRecordSize);
}

void useQuestionFile(const std::string& name)
{
    appProfile().WriteProfileStringA("QUESTION", "1", name);
}

struct Figures {
    double open = 0;
    double load = 0;
    double add = 0;
};

Figures timeEditor(const std::string& name)
{
    useQuestionFile(name);
    Figures f;
    f.open = best(5, [] {
        return millis([] {
            CEditDlg dlg;
            dlg.show();
            QApplication::processEvents();
        });
    });
    CEditDlg dlg;
    dlg.show();
    dlg.OnAuth();
    QComboBox* list = dlg.findChild<QComboBox*>(QStringLiteral("numberList"));
    const int middle = list->count() / 2;
    f.load = best(20, [&] {
        return millis([&] {
            list->setCurrentIndex(middle);
            dlg.OnSelectNumber();
        });
    });
    f.add = best(5, [&] {
        dlg.OnClear();
        dlg.findChild<QLineEdit*>(QStringLiteral("questionEdit"))->setText(QStringLiteral("追加問題"));
        for (int i = 1; i <= 5; ++i)
            dlg.findChild<QLineEdit*>(QStringLiteral("answerEdit%1").arg(i))->setText(QStringLiteral("答%1").arg(i));
        dlg.correctGroup()->button(0)->setChecked(true);
        return millis([&] { dlg.OnAdd(); });
    });
    return f;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Qt took the user's locale; the figures print with a decimal point.
    std::setlocale(LC_NUMERIC, "C");

    QTemporaryDir temp;
    const std::filesystem::path folder = argc > 1 ? std::filesystem::path(argv[1])
                                                  : std::filesystem::path(temp.path().toStdString());
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    appProfile().setPath(folder / "Parameter.INI");
    MessageBox::setHandler([](const MessageBox::Shown&) { return MessageBox::Answer::Yes; });
    FileDialog::setHandler([](const FileDialog::Request&) { return QString(); });

    constexpr int kBig = 100000;
    writeBank(folder / "small.txt", 3);
    writeBank(folder / "big.txt", kBig);

    const Figures small = timeEditor("small.txt");
    const Figures big = timeEditor("big.txt");
    std::printf("                      3 questions   %d questions (%.0f MB)\n", kBig,
                kBig * double(question::kRecordSize) / 1e6);
    std::printf("open the editor     %10.2f ms   %10.2f ms\n", small.open, big.open);
    std::printf("load a question     %10.3f ms   %10.3f ms\n", small.load, big.load);
    std::printf("add a question      %10.3f ms   %10.3f ms\n", small.add, big.add);

    const std::string cpCommand = "cp big.txt big_copy.txt";
    const double cp = best(7, [&] {
        std::filesystem::remove(folder / "big_copy.txt");
        return millis([&] {
            if (std::system(cpCommand.c_str()) != 0)
                std::fprintf(stderr, "cp failed\n");
        });
    });
    // cp leaves its copy in the page cache; the deletion puts its copy on
    // the disk before it replaces the bank. cp followed by a flush of the
    // copy is the like-for-like figure.
    const std::string cpSyncCommand = "cp big.txt big_copy.txt && sync big_copy.txt";
    const double cpSync = best(7, [&] {
        std::filesystem::remove(folder / "big_copy.txt");
        return millis([&] {
            if (std::system(cpSyncCommand.c_str()) != 0)
                std::fprintf(stderr, "cp failed\n");
        });
    });
    const double del = best(7, [&] {
        return millis([] {
            if (question::deleteRecord("big.txt", kBig / 2) != question::DeleteResult::Done)
                std::fprintf(stderr, "deletion failed\n");
        });
    });
    // The whole command as the user runs it: the dialog's handler.
    useQuestionFile("big.txt");
    double viaDialog = 0;
    {
        CEditDlg dlg;
        dlg.show();
        dlg.OnAuth();
        QComboBox* list = dlg.findChild<QComboBox*>(QStringLiteral("numberList"));
        viaDialog = best(3, [&] {
            list->setCurrentIndex(list->count() / 2);
            dlg.OnSelectNumber();
            return millis([&] { dlg.OnDeleteQuestion(); });
        });
    }
    std::printf("cp of the 50 MB file       %10.2f ms\n", cp);
    std::printf("cp, then sync of the copy  %10.2f ms\n", cpSync);
    std::printf("delete a question (file)   %10.2f ms  (%.2f x cp, %.2f x cp+sync)\n", del, del / cp, del / cpSync);
    std::printf("delete a question (dialog) %10.2f ms  (%.2f x cp, %.2f x cp+sync)\n", viaDialog, viaDialog / cp,
                viaDialog / cpSync);
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    return 0;
}
