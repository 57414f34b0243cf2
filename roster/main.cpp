// molvane-roster: one table of every test taken at a test centre, read from
// the start and result mails in the supervisor's mailbox.

#include "core/FileSystem.h"
#include "core/TerminalText.h"
#include "roster/ImapMailbox.h"
#include "roster/MailSource.h"
#include "roster/Roster.h"
#include "roster/RosterOutput.h"
#include "roster/RosterText.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Exit statuses.
enum Exit {
    kOk = 0,          // the table was written (mails that could not be read are listed)
    kNothingRead = 1, // there were mails, and not one of them could be read
    kUsage = 2,       // the command line is wrong
    kSource = 3,      // the mailbox could not be read: missing, unreachable, refused, cut off
    kLogin = 4,       // the server refused the user name or password
    kOutput = 5,      // the table could not be written
};

using roster::say;

// Every message may hold text from a mail or a server (a subject, a
// Message-ID, a server's answer): its control characters are shown, never
// sent to the terminal.
void message(const std::string& text)
{
    std::fprintf(stderr, "molvane-roster: %s\n", termtext::visible(text).c_str());
}

int usageError(const std::string& text)
{
    message(text);
    std::fprintf(stderr, "%s\n", say("Try 'molvane-roster --help'.", "'molvane-roster --help' で使い方を表示します。").c_str());
    return kUsage;
}

const char kHelpEnglish[] = R"(Usage: molvane-roster SOURCE [-o FILE] [--html] [--encoding cp932] [--since DATE]

Reads the start and result mails that Molvane sends to the supervisor and
prints one table of every test taken: when it started, the sending PC, the
name, the question file, the question count, the miss allowance, the time
limit, the right answers, the judged questions, the rate and the state
(finished, not finished, or a result without a start mail).

SOURCE is one of
  imap://USER@HOST[:PORT]/MAILBOX    an IMAP mailbox (STARTTLS, required)
  imaps://USER@HOST[:PORT]/MAILBOX   an IMAP mailbox over TLS
  FOLDER                             a Maildir (with cur/ and new/)
  FILE                               an mbox file
The mailbox is only read: nothing is deleted, moved or flagged.
The password comes from the environment variable MOLVANE_IMAP_PASSWORD or is
asked for on the terminal; it is never given on the command line.

Options:
  -o, --output FILE    write the table to FILE instead of standard output
      --html           a web page with the table (sortable by column), the
                       counts per state and a chart of the rates
      --encoding ENC   CSV text: utf-8 (with a byte-order mark, the default)
                       or cp932 (for older spreadsheets)
      --since DATE     only tests started at DATE or later (YYYY-MM-DD or
                       "YYYY-MM-DD HH:MM", this computer's time zone, in
                       which the table shows every time)
      --cacert FILE    also trust the certificate authorities in FILE (PEM)
      --timeout SECS   the longest time, 0.1 to 3600 (default 30), for
                       connecting and logging in, and for each answer of
                       the server; the whole reading may take 20 times as long
  -h, --help           show this help and exit
      --version        show the version and exit

The table is CSV (RFC 4180, CR LF) unless --html is given. Mails that cannot
be understood are listed on standard error with their Message-ID and skipped.

Exit status:
  0  the table was written
  1  the mailbox held mails, but not one could be read (nothing written)
  2  the command line is wrong
  3  the mailbox could not be read: missing, unreachable, cut off
  4  the server refused the user name or password
  5  the table could not be written
)";

const char kHelpJapanese[] = R"(使い方: molvane-roster 読み込み元 [-o ファイル] [--html] [--encoding cp932] [--since 日付]

Molvane が監督者に送る開始メールと終了メールを読み、受験ごとに 1 行の表を
出力します: 開始日時、送信元 PC、氏名、問題ファイル、出題数、ミス許容数、
制限時間、正解数、解答数、正解率、状態 (完了・未完了・開始メールなし)。

読み込み元:
  imap://ユーザー@ホスト[:ポート]/メールボックス    IMAP (STARTTLS 必須)
  imaps://ユーザー@ホスト[:ポート]/メールボックス   IMAP (TLS)
  フォルダー                                        Maildir (cur/ と new/)
  ファイル                                          mbox ファイル
メールボックスは読むだけで、メールの削除・移動・フラグの変更はしません。
パスワードは環境変数 MOLVANE_IMAP_PASSWORD から取るか、端末で尋ねます。
コマンドラインでは指定できません。

オプション:
  -o, --output ファイル   表を標準出力ではなくファイルに書き出す
      --html              表 (列ごとに並べ替え可)、状態ごとの件数、正解率の
                          分布図のある Web ページを出力する
      --encoding 文字コード  CSV の文字コード: utf-8 (BOM 付き、既定) または
                          cp932 (古い表計算ソフト向け)
      --since 日付        その日時以降に開始した受験だけを出力する (YYYY-MM-DD
                          または "YYYY-MM-DD HH:MM"、この PC のタイムゾーン。
                          表の日時もすべてこのタイムゾーンで示す)
      --cacert ファイル   ファイル (PEM) の認証局も信頼する
      --timeout 秒        接続とログイン、サーバーの各応答を待つ最長時間
                          (0.1～3600、既定 30)。読み込み全体はその 20 倍まで
  -h, --help              このヘルプを表示して終了する
      --version           バージョンを表示して終了する

--html がなければ表は CSV (RFC 4180、CR LF) です。読めないメールは
Message-ID とともに標準エラー出力に示し、読み飛ばします。

終了ステータス:
  0  表を書き出した
  1  メールはあったが 1 通も読めなかった (何も書き出さない)
  2  コマンドラインの誤り
  3  メールボックスを読めなかった (ない、接続できない、途中で切れた)
  4  サーバーがユーザー名またはパスワードを拒否した
  5  表を書き出せなかった
)";

bool systemLanguageIsJapanese()
{
    const QStringList languages = QLocale::system().uiLanguages();
    return !languages.isEmpty() && languages.first().startsWith(QLatin1String("ja"));
}

// The terminal whose echo the password prompt turned off, for a signal
// that ends the program meanwhile: the echo comes back before it ends.
volatile sig_atomic_t g_promptTerminal = -1;
termios g_promptSaved{};

extern "C" void restoreEchoAndEnd(int signal)
{
    const int tty = g_promptTerminal;
    if (tty >= 0) {
        ::tcsetattr(tty, TCSANOW, &g_promptSaved);
        (void)!::write(tty, "\n", 1);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

enum class Prompt { Read, Cancelled, NoTerminal };

// Asks for the password on the terminal without echoing it. An end of input
// (Ctrl-D) before the line is done cancels; Ctrl-C ends the program with
// the echo restored.
Prompt askPassword(const std::string& prompt, std::string& password)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0)
        return Prompt::NoTerminal;
    termios saved{};
    const bool terminal = ::tcgetattr(tty, &saved) == 0;
    const int endings[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    void (*previous[4])(int) = {};
    if (terminal) {
        g_promptSaved = saved;
        g_promptTerminal = tty;
        for (int i = 0; i < 4; ++i)
            previous[i] = std::signal(endings[i], restoreEchoAndEnd);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ICANON;
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    bool ok = ::write(tty, prompt.data(), prompt.size()) >= 0;
    password.clear();
    bool lineDone = false;
    char c = 0;
    while (ok) {
        const ssize_t n = ::read(tty, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != 1)
            break; // end of input, or the terminal went away
        if (c == '\n') {
            lineDone = true;
            break;
        }
        password += c;
    }
    if (terminal) {
        ::tcsetattr(tty, TCSAFLUSH, &saved);
        g_promptTerminal = -1;
        for (int i = 0; i < 4; ++i)
            std::signal(endings[i], previous[i] == SIG_ERR ? SIG_DFL : previous[i]);
    }
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    if (!lineDone) {
        std::fill(password.begin(), password.end(), '\0');
        password.clear();
        return Prompt::Cancelled;
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return Prompt::Read;
}

bool parseSince(const QString& text, std::int64_t& utc)
{
    const QString t = text.trimmed();
    for (const char* format : {"yyyy-MM-dd", "yyyy-MM-dd HH:mm", "yyyy-MM-ddTHH:mm", "yyyy-MM-dd HH:mm:ss",
                               "yyyy-MM-ddTHH:mm:ss"}) {
        QDateTime when = QDateTime::fromString(t, QLatin1String(format));
        if (when.isValid()) {
            utc = when.toSecsSinceEpoch();
            return true;
        }
    }
    return false;
}

std::filesystem::path localPath(const QString& argument)
{
    return std::filesystem::path(QFile::encodeName(argument).toStdString());
}

// A regular file (or none yet) is replaced atomically; anything else that
// can be written to (standard output as /dev/stdout, /dev/null, a FIFO, a
// terminal) is written to directly, as a rename could not take its place.
bool isPlainFileOrNothing(const std::filesystem::path& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
}

bool writeDirectly(const std::filesystem::path& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = fsutil::writeAll(fd, bytes.data(), bytes.size());
    const int code = errno;
    const bool closed = ::close(fd) == 0;
    errno = written ? errno : code;
    return written && closed;
}

bool writeAll(std::FILE* out, const std::string& bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && std::fflush(out) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("molvane-roster"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MOLVANE_VERSION));
    roster::setJapanese(systemLanguageIsJapanese());

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("FILE"));
    const QCommandLineOption html(QStringLiteral("html"));
    const QCommandLineOption encoding(QStringLiteral("encoding"), QString(), QStringLiteral("ENC"));
    const QCommandLineOption since(QStringLiteral("since"), QString(), QStringLiteral("DATE"));
    const QCommandLineOption cacert(QStringLiteral("cacert"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("SECS"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({output, html, encoding, since, cacert, timeout, help, version});

    if (!parser.parse(QCoreApplication::arguments())) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return usageError(say("unknown option: ", "不明なオプションです: ") +
                              (unknown.first().size() == 1 ? "-" : "--") + unknown.first().toStdString());
        return usageError(say("", "オプションの値がありません: ") + parser.errorText().toStdString());
    }
    if (parser.isSet(help)) {
        std::fputs(roster::japanese() ? kHelpJapanese : kHelpEnglish, stdout);
        return kOk;
    }
    if (parser.isSet(version)) {
        std::printf("molvane-roster %s\n", MOLVANE_VERSION);
        return kOk;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(say("name the mailbox to read (SOURCE)", "読み込むメールボックスを指定して下さい"));
    if (positional.size() > 1)
        return usageError(say("one mailbox at a time; unexpected: ", "メールボックスは 1 つだけ指定できます。余分な引数: ") +
                          positional.at(1).toStdString());

    bool cp932 = false;
    if (parser.isSet(encoding)) {
        const QString value = parser.value(encoding).toLower();
        if (value == QLatin1String("cp932") || value == QLatin1String("shift_jis") || value == QLatin1String("sjis"))
            cp932 = true;
        else if (value != QLatin1String("utf-8") && value != QLatin1String("utf8"))
            return usageError(say("unknown encoding (utf-8 or cp932): ", "不明な文字コードです (utf-8 か cp932): ") +
                              parser.value(encoding).toStdString());
        if (parser.isSet(html))
            return usageError(say("--encoding is for CSV; the HTML page is always UTF-8",
                                  "--encoding は CSV 用です。HTML ページは常に UTF-8 です"));
    }
    std::optional<std::int64_t> sinceUtc;
    if (parser.isSet(since)) {
        std::int64_t value = 0;
        if (!parseSince(parser.value(since), value))
            return usageError(say("not a date (YYYY-MM-DD or \"YYYY-MM-DD HH:MM\"): ",
                                  "日付として読めません (YYYY-MM-DD または \"YYYY-MM-DD HH:MM\"): ") +
                              parser.value(since).toStdString());
        sinceUtc = value;
    }
    long timeoutMs = 30000;
    if (parser.isSet(timeout)) {
        bool ok = false;
        const double seconds = parser.value(timeout).toDouble(&ok);
        // Written so that "nan" fails too.
        if (!ok || !(seconds >= 0.1 && seconds <= 3600))
            return usageError(say("--timeout takes seconds from 0.1 to 3600: ", "--timeout には 0.1 から 3600 までの秒数を指定して下さい: ") +
                              parser.value(timeout).toStdString());
        timeoutMs = std::lround(seconds * 1000);
    }

    const std::string source = positional.first().toStdString();
    roster::RosterBuilder builder(sinceUtc);
    const roster::MailSink sink(
        [&builder](std::string_view origin, std::string_view bytes) { builder.add(origin, bytes); },
        [&builder](std::string_view origin, std::uint64_t size) { builder.addTooLarge(origin, size); });
    roster::SourceError error;
    std::string shownSource = source;
    // A server that went away must not end the program with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    bool read = false;
    if (roster::isImapAddress(source)) {
        roster::ImapOptions options;
        std::string problem;
        if (!roster::parseImapAddress(source, options.address, problem))
            return usageError(problem);
        shownSource = options.address.shown();
        const char* fromEnvironment = std::getenv("MOLVANE_IMAP_PASSWORD");
        if (fromEnvironment && *fromEnvironment) {
            options.password = fromEnvironment;
        } else {
            const Prompt asked =
                askPassword(say("Password for ", "パスワード ") + termtext::visible(options.address.user) + "@" +
                                termtext::visible(options.address.host) + ": ",
                            options.password);
            if (asked == Prompt::NoTerminal)
                return usageError(say("no password: set MOLVANE_IMAP_PASSWORD (there is no terminal to ask on)",
                                      "パスワードがありません: MOLVANE_IMAP_PASSWORD を設定して下さい (尋ねる端末がありません)"));
            if (asked == Prompt::Cancelled) {
                message(say("no password given; nothing read", "パスワードが入力されなかったため、何も読みません"));
                return kUsage;
            }
        }
        if (parser.isSet(cacert))
            options.caFile = parser.value(cacert).toStdString();
        options.timeoutMs = timeoutMs;
        options.since = sinceUtc;
        read = roster::readImap(options, sink, error);
        std::fill(options.password.begin(), options.password.end(), '\0');
    } else {
        read = roster::readMailFiles(localPath(positional.first()), sink, error);
    }
    std::signal(SIGPIPE, SIG_DFL);
    if (!read) {
        message(error.message);
        return error.kind == roster::SourceError::Login ? kLogin : error.kind == roster::SourceError::Usage ? kUsage : kSource;
    }

    const roster::Roster table = builder.finish();
    for (const roster::Skipped& s : table.skipped)
        message(say("skipped ", "読み飛ばし ") + s.origin + " <" + (s.messageId.empty() ? "-" : s.messageId) + ">: " + s.reason);
    for (const roster::Warning& w : table.warnings)
        message(say("warning: ", "警告: ") + w.origin + " <" + (w.messageId.empty() ? "-" : w.messageId) + ">: " + w.text);

    const roster::Counts& c = table.counts;
    std::string summary = roster::japanese()
        ? "メール " + std::to_string(c.mails) + " 通: 完了 " + std::to_string(c.finished) + "、未完了 " +
              std::to_string(c.notFinished) + "、開始メールなし " + std::to_string(c.resultWithoutStart) +
              "、テストメール " + std::to_string(c.testMails) + "、読み飛ばし " + std::to_string(c.skipped)
        : std::to_string(c.mails) + " mails: finished " + std::to_string(c.finished) + ", not finished " +
              std::to_string(c.notFinished) + ", result without start " + std::to_string(c.resultWithoutStart) +
              ", test mails " + std::to_string(c.testMails) + ", skipped " + std::to_string(c.skipped);
    if (c.duplicates > 0)
        summary += say(", duplicates ", "、重複 ") + std::to_string(c.duplicates);
    if (c.beforeSince > 0)
        summary += say(", tests before --since ", "、--since より前の受験 ") + std::to_string(c.beforeSince);
    message(summary);

    const bool nothingRead = c.skipped > 0 && table.rows.empty() && c.testMails == 0;
    if (nothingRead) {
        message(say("not one mail could be read; nothing written", "読めたメールが 1 通もないため、何も書き出しません"));
        return kNothingRead;
    }

    const std::string bytes = parser.isSet(html) ? roster::rosterHtml(table, shownSource) : roster::rosterCsv(table, cp932);
    if (parser.isSet(output) && parser.value(output) != QLatin1String("-")) {
        const QString file = parser.value(output);
        errno = 0;
        const bool written = isPlainFileOrNothing(localPath(file)) ? fsutil::writeFileAtomically(localPath(file), bytes)
                                                                     : writeDirectly(localPath(file), bytes);
        if (!written) {
            const int code = errno;
            message(say("cannot write ", "書き込めません: ") + file.toStdString() +
                    (code ? " (" + std::string(std::strerror(code)) + ")" : std::string()));
            return kOutput;
        }
        return kOk;
    }
    if (!writeAll(stdout, bytes)) {
        message(say("cannot write the table to standard output", "標準出力に表を書き出せません"));
        return kOutput;
    }
    return kOk;
}
