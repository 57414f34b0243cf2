// molvane-bank: checks a question file and moves it to and from other
// formats. A thin layer over the bank formats of questions/: the command
// line, the messages, and where the output goes.
//
// Exit status: 0 done (check: clean), 1 check found something or import
// left something out (the bank is written), 2 the command could not run,
// with nothing written.

#include "BankHelp.h"
#include "core/ShiftJis.h"
#include "core/TerminalText.h"
#include "core/FileSystem.h"
#include "bank/BankCheck.h"
#include "bank/BankMessages.h"
#include "bank/BankText.h"
#include "bank/BankTransfer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

using bank::Language;
using bankcli::tr;

namespace {

constexpr int kDone = 0;
constexpr int kFindings = 1;
constexpr int kFailed = 2;

Language g_lang = Language::English;

void out(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void err(const std::string& text)
{
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// "molvane-bank: <message>" on standard error; returns the failure status.
int fail(const std::string& message)
{
    err("molvane-bank: " + message + "\n");
    return kFailed;
}

std::string fill(const char* ja, const char* en, std::initializer_list<std::string_view> args)
{
    return bank::fill(tr(g_lang, ja, en), args);
}

// "24 問", "1 question", "24 questions".
std::string questionCount(long long n)
{
    const std::string number = std::to_string(n);
    if (g_lang == Language::Japanese)
        return number + " 問";
    return number + (n == 1 ? " question" : " questions");
}

std::string questionLabel(int number)
{
    return fill("問 %1", "question %1", {std::to_string(number)});
}

QString qs(const std::string& utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::filesystem::path pathOf(const QString& arg)
{
    return std::filesystem::path(arg.toStdString());
}

// Qt's own warnings (an image plugin's complaint, say) are not for users of
// a command-line program; what matters is reported by the program itself.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

struct Options {
    QCommandLineOption help{{"h", "help"}};
    QCommandLineOption version{"version"};
    QCommandLineOption settings{"settings", {}, "file"};
    QCommandLineOption json{"json"};
    QCommandLineOption to{"to", {}, "format"};
    QCommandLineOption from{"from", {}, "format"};
    QCommandLineOption output{{"o", "output"}, {}, "file"};
    QCommandLineOption force{"force"};
    QCommandLineOption append{"append"};
    QCommandLineOption cut{"cut"};
    QCommandLineOption strict{"strict"};
    QCommandLineOption fillSlots{"fill", {}, "text"};
    QCommandLineOption pictures{"pictures", {}, "dir"};
    QCommandLineOption encoding{"encoding", {}, "encoding"};
    QCommandLineOption answers{"answers"};
    QCommandLineOption title{"title", {}, "text"};
};

// The options each command takes, by their long names.
const std::map<std::string, std::set<std::string>> kCommandOptions = {
    {"check", {"settings", "json"}},
    {"export", {"to", "output", "force", "encoding", "answers", "title"}},
    {"import", {"from", "output", "append", "force", "cut", "strict", "fill", "pictures", "encoding"}},
};

// ---------------------------------------------------------------- check

int runCheck(const QCommandLineParser& parser, const Options& o, const QString& bankArg)
{
    const std::filesystem::path bankPath = pathOf(bankArg);
    const std::string bankName = bankArg.toStdString();
    std::vector<bank::Finding> findings;
    const bank::FindingSink collect = [&](const bank::Finding& f) { findings.push_back(f); };

    int questions = 0;
    if (!bank::checkBank(bankPath, collect, questions))
        return fail(fill("問題ファイル %1 を読めません", "cannot read the bank %1", {bankName}));
    const std::size_t bankFindings = findings.size();
    std::string iniName;
    if (parser.isSet(o.settings)) {
        iniName = parser.value(o.settings).toStdString();
        if (!bank::checkSettings(pathOf(parser.value(o.settings)), bankPath, questions, collect))
            return fail(fill("設定ファイル %1 を読めません", "cannot read the settings file %1", {iniName}));
    }

    int counted = 0, notes = 0;
    for (const bank::Finding& f : findings)
        (f.note ? notes : counted) += 1;

    if (parser.isSet(o.json)) {
        QJsonArray list;
        for (std::size_t i = 0; i < findings.size(); ++i) {
            const bank::Finding& f = findings[i];
            QJsonObject item;
            item[QStringLiteral("file")] = qs(i < bankFindings ? bankName : iniName);
            item[QStringLiteral("code")] = QString::fromLatin1(bank::findingCode(f.kind));
            item[QStringLiteral("question")] = f.question > 0 ? QJsonValue(f.question) : QJsonValue();
            item[QStringLiteral("note")] = f.note;
            item[QStringLiteral("message")] = qs(bank::findingText(f, g_lang));
            list.append(item);
        }
        QJsonObject root;
        root[QStringLiteral("bank")] = qs(bankName);
        root[QStringLiteral("settings")] = iniName.empty() ? QJsonValue() : QJsonValue(qs(iniName));
        root[QStringLiteral("questions")] = questions;
        root[QStringLiteral("findings")] = counted;
        root[QStringLiteral("notes")] = notes;
        root[QStringLiteral("items")] = list;
        const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Indented);
        out(std::string(json.constData(), static_cast<std::size_t>(json.size())));
    } else {
        std::string text;
        for (std::size_t i = 0; i < findings.size(); ++i) {
            const bank::Finding& f = findings[i];
            text += i < bankFindings ? bankName : iniName;
            text += ": ";
            if (f.question > 0)
                text += questionLabel(f.question) + ": ";
            if (f.note)
                text += tr(g_lang, "注意: ", "note: ");
            text += termtext::visible(bank::findingText(f, g_lang)) + "\n";
        }
        text += fill("%1: %2を検査しました。指摘 %3 件", counted == 1 ? "%1: %2 checked, %3 finding"
                                                                        : "%1: %2 checked, %3 findings",
                     {bankName, questionCount(questions), std::to_string(counted)});
        if (notes > 0)
            text += fill("、注意 %1 件", notes == 1 ? ", %1 note" : ", %1 notes", {std::to_string(notes)});
        text += "\n";
        out(text);
    }
    return counted > 0 ? kFindings : kDone;
}

// --------------------------------------------------------------- export

int runExport(const QCommandLineParser& parser, const Options& o, const QString& bankArg)
{
    const std::string bankName = bankArg.toStdString();
    if (!parser.isSet(o.to))
        return fail(tr(g_lang, "--to で書き出す形式を指定して下さい（csv, aiken, gift, moodle-xml, html）",
                       "say the format with --to (csv, aiken, gift, moodle-xml, html)"));
    const auto format = bank::formatFromName(parser.value(o.to).toStdString());
    if (!format)
        return fail(fill("書き出せない形式です: %1（csv, aiken, gift, moodle-xml, html）",
                         "no such format: %1 (csv, aiken, gift, moodle-xml, html)",
                         {parser.value(o.to).toStdString()}));
    bank::WriterOptions options;
    if (parser.isSet(o.encoding)) {
        const QString e = parser.value(o.encoding);
        if (*format != bank::Format::Csv)
            return fail(tr(g_lang, "--encoding は CSV だけのオプションです", "--encoding is for CSV only"));
        if (e == QLatin1String("cp932") || e.compare(QLatin1String("shift-jis"), Qt::CaseInsensitive) == 0)
            options.cp932 = true;
        else if (e.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) != 0)
            return fail(fill("文字コード %1 では書けません（utf-8, cp932）", "cannot write the encoding %1 (utf-8, cp932)",
                             {e.toStdString()}));
    }
    if ((parser.isSet(o.answers) || parser.isSet(o.title)) && *format != bank::Format::Html)
        return fail(tr(g_lang, "--answers と --title は HTML だけのオプションです", "--answers and --title are for HTML only"));
    options.answers = parser.isSet(o.answers);
    options.title = parser.isSet(o.title) ? parser.value(o.title).toStdString()
                                          : pathOf(bankArg).filename().string();

    const std::filesystem::path bankPath = pathOf(bankArg);
    std::filesystem::path target;
    std::error_code ec;
    if (parser.isSet(o.output)) {
        target = pathOf(parser.value(o.output));
        const std::string targetName = parser.value(o.output).toStdString();
        if (bank::isSettingsFileName(target))
            return fail(fill("%1 には書きません（設定ファイルです）", "will not write %1: it is the settings file", {targetName}));
        if (std::filesystem::exists(target, ec) && std::filesystem::equivalent(target, bankPath, ec))
            return fail(fill("%1 は読み込む問題ファイルそのものです", "%1 is the bank being exported", {targetName}));
        if (std::filesystem::exists(target, ec) && !parser.isSet(o.force))
            return fail(fill("%1 は既にあります。置き換えるには --force を付けて下さい",
                             "%1 exists; add --force to replace it", {targetName}));
    }

    std::string collected;
    if (!target.empty()) { // the text formats come out at most about as large as the bank
        const std::uintmax_t size = std::filesystem::file_size(bankPath, ec);
        if (!ec)
            collected.reserve(static_cast<std::size_t>(size));
    }
    bool writeFailed = false;
    const bank::ChunkSink write = [&](std::string_view chunk) {
        if (!target.empty()) {
            collected += chunk;
            return true;
        }
        if (std::fwrite(chunk.data(), 1, chunk.size(), stdout) != chunk.size()) {
            writeFailed = true;
            return false;
        }
        return true;
    };
    const bank::NoteSink note = [&](const bank::Note& n) {
        err(bankName + ": " + questionLabel(n.number) + ": " + tr(g_lang, "警告: ", "warning: ") +
            bank::noteText(n, g_lang) + "\n");
    };
    bank::ExportCounts counts;
    const bank::ExportResult result = bank::exportBank(bankPath, *format, options, write, note, counts);
    if (result == bank::ExportResult::CannotRead)
        return fail(fill("問題ファイル %1 を読めません", "cannot read the bank %1", {bankName}));
    if (target.empty()) {
        if (writeFailed || std::fflush(stdout) != 0 || std::ferror(stdout))
            return fail(tr(g_lang, "標準出力に書けませんでした", "cannot write to standard output"));
        return kDone;
    }
    if (!fsutil::writeFileAtomically(target, collected))
        return fail(fill("%1 を書けませんでした（元のファイルはそのままです）", "cannot write %1 (an old file is left as it was)",
                         {parser.value(o.output).toStdString()}));
    std::string summary = fill("%1 に %2を書き出しました（%3）", "%2 written to %1 (%3)",
                               {parser.value(o.output).toStdString(), questionCount(counts.written),
                                bank::formatName(*format)});
    if (counts.written < counts.read)
        summary += fill("。%1は書き出せませんでした", ", %1 left out", {questionCount(counts.read - counts.written)});
    out(summary + "\n");
    return kDone;
}

// --------------------------------------------------------------- import

int runImport(const QCommandLineParser& parser, const Options& o, const QString& fileArg)
{
    bank::ImportOptions options;
    if (!parser.isSet(o.from))
        return fail(tr(g_lang, "--from で読み込む形式を指定して下さい（csv, aiken, gift, moodle-xml）",
                       "say the format with --from (csv, aiken, gift, moodle-xml)"));
    const auto format = bank::formatFromName(parser.value(o.from).toStdString());
    if (!format || *format == bank::Format::Html)
        return fail(fill("読み込めない形式です: %1（csv, aiken, gift, moodle-xml）",
                         "cannot import the format %1 (csv, aiken, gift, moodle-xml)",
                         {parser.value(o.from).toStdString()}));
    options.format = *format;
    if (!parser.isSet(o.output))
        return fail(tr(g_lang, "-o で書き込む問題ファイルを指定して下さい", "name the bank to write with -o"));
    if (parser.isSet(o.append) && parser.isSet(o.force))
        return fail(tr(g_lang, "--append と --force は一緒には使えません", "--append and --force exclude each other"));
    options.append = parser.isSet(o.append);
    options.force = parser.isSet(o.force);
    options.cut = parser.isSet(o.cut);
    options.strict = parser.isSet(o.strict);
    if (parser.isSet(o.fillSlots)) {
        // The filler must itself fit an answer slot.
        const std::string text = parser.value(o.fillSlots).toStdString();
        std::vector<std::vector<std::string>> unmappable;
        const std::vector<std::string> cp932 = bank::fieldsFromUtf8({text}, unmappable);
        if (text.empty() || bank::isBlankCp932(cp932.front()))
            return fail(tr(g_lang, "--fill に空でない文字列を指定して下さい", "--fill needs a text that is not empty"));
        if (!unmappable.front().empty())
            return fail(fill("--fill の文字列に Shift-JIS で書けない文字があります: %1",
                             "the --fill text holds characters Shift-JIS cannot hold: %1",
                             {termtext::visible(unmappable.front().front())}));
        if (cp932.front().size() > static_cast<std::size_t>(question::kAnswerTextKept))
            return fail(fill("--fill の文字列が %1 バイトあります。解答に入るのは 78 バイトまでです",
                             "the --fill text is %1 bytes; an answer holds 78", {std::to_string(cp932.front().size())}));
        options.fill = text;
    }
    if (parser.isSet(o.encoding)) {
        const QString e = parser.value(o.encoding);
        if (*format == bank::Format::MoodleXml)
            return fail(tr(g_lang, "Moodle XML の文字コードはファイル自身が示します（--encoding は使えません）",
                           "Moodle XML names its own encoding (--encoding does not apply)"));
        if (e == QLatin1String("cp932") || e.compare(QLatin1String("shift-jis"), Qt::CaseInsensitive) == 0)
            options.encoding = bank::Encoding::Cp932;
        else if (e.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0)
            options.encoding = bank::Encoding::Utf8;
        else if (e != QLatin1String("auto"))
            return fail(fill("文字コード %1 は読めません（auto, utf-8, cp932）", "cannot read the encoding %1 (auto, utf-8, cp932)",
                             {e.toStdString()}));
    }
    std::error_code ec;
    if (parser.isSet(o.pictures)) {
        options.pictures = pathOf(parser.value(o.pictures));
        if (!std::filesystem::is_directory(*options.pictures, ec))
            return fail(fill("画像のフォルダー %1 がありません", "the picture folder %1 does not exist",
                             {parser.value(o.pictures).toStdString()}));
    }

    const std::string fileName = fileArg.toStdString();
    const std::filesystem::path bankPath = pathOf(parser.value(o.output));
    const std::string bankName = parser.value(o.output).toStdString();
    std::ifstream file;
    std::istringstream piped;
    std::istream* in = &file;
    std::filesystem::path input;
    if (fileArg == QLatin1String("-")) {
        // Standard input is read whole: the encoding is found out first.
        std::ostringstream all;
        all << std::cin.rdbuf();
        piped.str(all.str());
        in = &piped;
    } else {
        input = pathOf(fileArg);
        if (!std::filesystem::is_regular_file(input, ec))
            return fail(fill("%1 を読めません", "cannot read %1", {fileName}));
        file.open(input, std::ios::binary);
        if (!file)
            return fail(fill("%1 を読めません", "cannot read %1", {fileName}));
    }

    const bank::ImportReport report = bank::importBank(*in, input, bankPath, options);
    using Outcome = bank::ImportReport::Outcome;
    const auto where = [&](int line) { return fileName + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": "; };
    // Why questions were skipped (or the file refused), each with its line.
    const auto problems = [&] {
        std::string text;
        for (const bank::Problem& p : report.problems)
            text += where(p.line) + termtext::visible(bank::problemText(p, g_lang)) + "\n";
        if (report.problemCount > static_cast<int>(report.problems.size()))
            text += fill("ほかに %1 件あります\n", "and %1 more\n",
                         {std::to_string(report.problemCount - static_cast<int>(report.problems.size()))});
        err(text);
    };
    switch (report.outcome) {
    case Outcome::Written:
        break;
    case Outcome::Refused:
        problems();
        if (options.strict && report.skipped > 0)
            return fail(fill("--strict: 入らない問題が %1 問あるため、%2 には何も書きませんでした",
                             report.skipped == 1 ? "--strict: nothing written to %2: %1 question does not fit"
                                                 : "--strict: nothing written to %2: %1 questions do not fit",
                             {std::to_string(report.skipped), bankName}));
        return fail(fill("%1 を読めないため、%2 には何も書きませんでした", "nothing written to %2: %1 cannot be read",
                         {fileName, bankName}));
    case Outcome::NoneFits:
        problems();
        return fail(fill("%1 の %2 問はどれも問題ファイルに入らないため、何も書きませんでした",
                         "none of the %2 questions of %1 fits a record; nothing written",
                         {fileName, std::to_string(report.skipped)}));
    case Outcome::NoQuestions:
        return fail(fill("%1 に問題が 1 問もありません。何も書きませんでした", "%1 holds no question; nothing written", {fileName}));
    case Outcome::Exists:
        return fail(fill("%1 は既にあります。追加するには --append、置き換えるには --force を付けて下さい",
                         "%1 exists; add --append to add to it or --force to replace it", {bankName}));
    case Outcome::SettingsFile:
        return fail(fill("%1 には書きません（設定ファイルです）", "will not write %1: it is the settings file", {bankName}));
    case Outcome::SameFile:
        return fail(fill("%1 は読み込むファイルそのものです", "%1 is the file being imported", {bankName}));
    case Outcome::NotAFile:
        return fail(fill("%1 はファイルではありません", "%1 is not a file", {bankName}));
    case Outcome::CannotReadBank:
        return fail(fill("問題ファイル %1 を読めません", "cannot read the bank %1", {bankName}));
    case Outcome::CannotWriteBank:
        return fail(fill("%1 を書けませんでした。何も書いていません（元の問題ファイルはそのままです）",
                         "cannot write %1; nothing written (the bank is as it was)", {report.detail}));
    }

    // Written: what was skipped and what was left out of questions taken.
    problems();
    std::string warnings;
    for (const bank::Problem& w : report.warnings)
        warnings += where(w.line) + tr(g_lang, "警告: ", "warning: ") + termtext::visible(bank::problemText(w, g_lang)) + "\n";
    if (report.warningCount > static_cast<int>(report.warnings.size()))
        warnings += fill("ほかに警告が %1 件あります\n", "and %1 more warnings\n",
                         {std::to_string(report.warningCount - static_cast<int>(report.warnings.size()))});
    err(warnings);

    std::string text;
    for (const bank::Cut& c : report.cuts)
        text += where(c.line) + bank::cutText(c, g_lang) + "\n";
    for (const auto& [number, source] : report.pictures)
        text += fill("画像 %1.bmp を追加しました: %2\n", "picture %1.bmp added: %2\n", {number, source});
    if (report.kept > 0 || options.append)
        text += fill("%1 に %2を追加しました（全 %3 問）", "%2 added to %1 (%3 in all)",
                     {bankName, questionCount(report.imported), std::to_string(report.kept + report.imported)});
    else
        text += fill("%1 に %2を書きました", "%2 written to %1", {bankName, questionCount(report.imported)});
    if (report.skipped > 0)
        text += fill("。%1は入らないので読み込みませんでした", ", %1 skipped", {questionCount(report.skipped)});
    out(text + "\n");
    if (report.droppedTail > 0)
        err(fill("molvane-bank: 警告: %1 の最後の %2 バイト（500 バイトに満たない端数）は読まれないので残していません\n",
                 "molvane-bank: warning: the last %2 bytes of %1 (less than a record, never read) were not kept\n",
                 {bankName, std::to_string(report.droppedTail)}));
    return report.skipped > 0 || report.warningCount > 0 ? kFindings : kDone;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietMessages);
    g_lang = bankcli::systemLanguage();

    Options o;
    QCommandLineParser parser;
    parser.addOptions({o.help, o.version, o.settings, o.json, o.to, o.from, o.output, o.force, o.append, o.cut,
                       o.strict, o.fillSlots, o.pictures, o.encoding, o.answers, o.title});
    const bool parsed = parser.parse(QCoreApplication::arguments());
    const QStringList args = parser.positionalArguments();
    const std::string command = args.isEmpty() ? std::string() : args.first().toStdString();
    const bool known = kCommandOptions.count(command) > 0;

    if (parser.isSet(o.help)) {
        out(bankcli::helpText(g_lang, known ? command : std::string()));
        return kDone;
    }
    if (parser.isSet(o.version)) {
        out("molvane-bank " MOLVANE_VERSION "\n");
        return kDone;
    }
    const std::string more = tr(g_lang, "（詳しくは molvane-bank --help）", " (see molvane-bank --help)");
    if (!parsed) {
        if (!parser.unknownOptionNames().isEmpty())
            return fail(fill("知らないオプションです: %1", "unknown option: %1",
                             {parser.unknownOptionNames().first().toStdString()}) + more);
        return fail(parser.errorText().toStdString() + more);
    }
    if (args.isEmpty()) {
        err(bankcli::helpText(g_lang));
        return kFailed;
    }
    if (!known)
        return fail(fill("知らないコマンドです: %1", "unknown command: %1", {command}) + more);
    for (const QString& name : parser.optionNames()) {
        const std::string option = name == QLatin1String("o") ? "output" : name.toStdString();
        if (!kCommandOptions.at(command).count(option))
            return fail(fill("%1 に --%2 は使えません", "%1 takes no --%2", {command, option}) + more);
    }
    if (args.size() < 2)
        return fail(fill("%1 にはファイルを 1 つ指定して下さい", "%1 needs a file", {command}) + more);
    if (args.size() > 2)
        return fail(fill("ファイルが多すぎます: %1", "too many files: %1", {args.at(2).toStdString()}) + more);

    if (command == "check")
        return runCheck(parser, o, args.at(1));
    if (command == "export")
        return runExport(parser, o, args.at(1));
    return runImport(parser, o, args.at(1));
}
