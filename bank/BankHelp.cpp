#include "BankHelp.h"

#include <QLocale>
#include <QStringList>

namespace bankcli {

Language systemLanguage()
{
    const QStringList languages = QLocale::system().uiLanguages();
    const bool japanese = !languages.isEmpty() && languages.first().startsWith(QLatin1String("ja"));
    return japanese ? Language::Japanese : Language::English;
}

namespace {

const char* const kUsageJa = R"(使い方: molvane-bank <コマンド> [オプション]

問題ファイル（500 バイトのレコードが並んだ Shift-JIS のファイル）を検査し、
表計算ソフトやほかの問題システムの形式との間で書き出し・読み込みをします。

コマンド:
  check BANK [--settings Parameter.INI] [--json]
        問題ファイルの誤りを 1 件 1 行（問題の番号付き）で挙げ、最後に集計を出します。
  export BANK --to 形式 [-o ファイル] [--force] [--encoding cp932] [--answers] [--title 題名]
        問題ファイルを csv, aiken, gift, moodle-xml, html のどれかで書き出します。
  import ファイル --from 形式 -o BANK [--append | --force] [--cut] [--fill 文字列] [--strict] [--pictures フォルダー]
        csv, aiken, gift, moodle-xml のファイルを問題ファイルに読み込みます。
        入る問題だけを書き、入らない問題は行と理由を挙げます（--strict なら何も書きません）。

共通のオプション:
  -h, --help        この説明を出して終わります（コマンドの後ならそのコマンドの説明）
  --version         版を出して終わります

終了状態:
  0  終わりました（check: 指摘なし）
  1  check が指摘を見つけました。import が一部の問題や画像を読み込めませんでした（書いてあります）
  2  コマンドを実行できませんでした（何も書いていません）

コマンドごとの説明: molvane-bank <コマンド> --help
)";

const char* const kUsageEn = R"(Usage: molvane-bank <command> [options]

Checks a question file (a bank of 500-byte Shift-JIS records) and moves it to
and from the formats of spreadsheets and other quiz systems.

Commands:
  check BANK [--settings Parameter.INI] [--json]
        Lists the mistakes in the bank, one line each with the question
        number, then a summary.
  export BANK --to FORMAT [-o FILE] [--force] [--encoding cp932] [--answers] [--title TEXT]
        Writes the bank as csv, aiken, gift, moodle-xml or html.
  import FILE --from FORMAT -o BANK [--append | --force] [--cut] [--fill TEXT] [--strict] [--pictures DIR]
        Reads a csv, aiken, gift or moodle-xml file into a bank: the
        questions that fit are written, every other one is named with its
        line and reason (with --strict nothing is written).

Options of every command:
  -h, --help        print this help and exit (after a command: its help)
  --version         print the version and exit

Exit status:
  0  done (check: nothing found)
  1  check found something; import left questions or parts of them out
     (the bank is written)
  2  the command could not run (nothing was written)

Help on one command: molvane-bank <command> --help
)";

const char* const kCheckJa = R"(使い方: molvane-bank check BANK [--settings Parameter.INI] [--json]

問題ファイル BANK を最初から最後まで読み、テストの前に直すべきことを挙げます。
1 件ごとに「BANK: 問 番号: 内容」の 1 行、最後に集計を出します。

問題ファイルについて調べること:
  長さが 500 の倍数でない（端数のバイト）、正解の印「*」がない・複数ある、
  問題文や解答が空、Shift-JIS として正しくないバイトや 0x00 のバイト、
  表計算ソフトのエラー値（#NAME? など）や指数表記の数（1.23457E+11）になった文字列、
  3 桁の数字でない画像番号、画像がない・BMP でない・212x150 でない、
  同じ問題文の問題、待機中の画像 256bitmap/000.bmp がない

  --settings FILE   設定ファイル（Parameter.INI）も調べます:
                    [QUESTION] の問題ファイルがない、[QUESTION_CNT] が 0 か問題数より多い、
                    [TIME_LIMIT] が 0、[LIFE] が 0（最初のミスで終わる）、結果メールが有効で
                    [SMTP]・[TO]・[FROM] のどれかが空、[PORT] がポート番号でない、
                    [PW] がほかのユーザーも読めるファイルにある。
                    [ID] があってポートが 465 でないときは、STARTTLS が使えるかどうかは
                    オフラインでは分からないことを「注意」として出します（指摘には数えません）。
                    設定ファイルは読むだけで、書き換えません。
  --json            同じ内容をスクリプト向けの JSON で出します

終了状態: 0 指摘なし、1 指摘あり、2 ファイルを読めなかった
)";

const char* const kCheckEn = R"(Usage: molvane-bank check BANK [--settings Parameter.INI] [--json]

Reads the bank BANK from end to end and lists what must be mended before a
test: one line "BANK: question N: what" each, then a summary.

In the bank:
  a length that is not a multiple of 500 (trailing bytes), no "*" or several
  "*" in a question, an empty question or answer, bytes that are not valid
  Shift-JIS or a zero byte inside a text, a text that is a spreadsheet's
  error value (#NAME?...) or a long number in exponent form (1.23457E+11),
  a picture number that is not three
  digits, a picture that is missing, no bitmap or not 212 x 150, two
  questions with the same text, a missing 256bitmap/000.bmp (shown between
  tests)

  --settings FILE   also checks the settings (Parameter.INI): [QUESTION]
                    naming a missing file, [QUESTION_CNT] 0 or more than the
                    bank holds, [TIME_LIMIT] 0, [LIFE] 0 (the first miss ends
                    the test), the result mail on with [SMTP], [TO] or [FROM]
                    empty, a [PORT] that is no port number, a [PW] in a file
                    others can read. With [ID] set and a port other than 465
                    a note says that whether the server offers STARTTLS
                    cannot be known offline (notes are not findings). The
                    settings file is only read, never written.
  --json            prints the same for scripts, as JSON

Exit status: 0 nothing found, 1 findings, 2 a file could not be read
)";

const char* const kExportJa = R"(使い方: molvane-bank export BANK --to 形式 [-o ファイル] [オプション]

問題ファイル BANK を別の形式で書き出します。-o がなければ標準出力に書きます。

  --to csv          表計算ソフトでダブルクリックして開ける CSV（UTF-8、BOM 付き、CR LF、
                    RFC 4180）。見出し: 番号,画像,問題,解答1,…,解答5,正解,前回
  --to aiken        Aiken 形式（画像と前回の印は書けません）
  --to gift         GIFT 形式（画像番号と前回の印はコメント行に書きます）
  --to moodle-xml   Moodle XML（単一解答の multichoice、画像は埋め込み）
  --to html         印刷用の一覧（画像付き、1 ファイル）
  -o, --output FILE 書き出し先。既にあるファイルは --force がなければ置き換えません。
                    書き出しは一時ファイルを経て一度に置き換えます。
  --force           既にある書き出し先を置き換えます
  --encoding cp932  CSV を Shift-JIS（コードページ 932、BOM なし）で書きます（古い表計算ソフト向け）
  --answers         HTML: 正解に印を付け、最後に解答一覧を付けます
  --title TEXT      HTML: 見出し（既定: 問題ファイルの名前）

形式が運べないもの（改行、画像など）は問題ごとに警告として標準エラーに出します。
)";

const char* const kExportEn = R"(Usage: molvane-bank export BANK --to FORMAT [-o FILE] [options]

Writes the bank BANK in another format, to standard output without -o.

  --to csv          CSV that a spreadsheet opens by double-click (UTF-8 with a
                    byte-order mark, CR LF, RFC 4180); header:
                    番号,画像,問題,解答1,...,解答5,正解,前回
  --to aiken        Aiken (carries no picture and no last-result mark)
  --to gift         GIFT (picture number and last-result mark in a comment line)
  --to moodle-xml   Moodle XML (multichoice, single answer, pictures embedded)
  --to html         a printable catalogue with the pictures, in one file
  -o, --output FILE where to write; an existing file is replaced only with
                    --force, in one step through a temporary file
  --force           replace an existing output file
  --encoding cp932  CSV in Shift-JIS (code page 932, no byte-order mark), for
                    older spreadsheets
  --answers         HTML: mark the right answers and add an answer key
  --title TEXT      HTML: the heading (default: the bank's file name)

What a format cannot carry (line breaks, pictures...) is told per question on
standard error.
)";

const char* const kImportJa = R"(使い方: molvane-bank import ファイル --from 形式 -o BANK [オプション]

ファイルの問題のうちレコードに入るものを問題ファイル BANK に書きます。入らない問題は
その行（XML では要素の行）と理由を標準エラーに挙げます。レコードに入らない画像
（解答の画像、2 枚目の画像、音声）や表・上付き文字などは問題ごとに警告します。
入らない問題: 五択でない問題、問題文が Shift-JIS で 96 バイトを超える、解答が 78 バイトを
超える、Shift-JIS（コードページ 932）で書けない文字がある、解答が 5 個でない
（--fill で 2〜4 個なら埋められます）、正解がちょうど 1 個でない、問題文や解答が空、
画像が見つからない。
終了状態: 0 すべて読み込んだ、1 一部を読み込めなかった（書いてあります）、2 何も書いていない。

  --from csv        表計算ソフトの CSV（UTF-8 か Shift-JIS。BOM はあってもなくても可）。
                    1 行目は見出し: 問題,解答1,…,解答5,正解 が必須、番号,画像,前回 は任意。
                    正解は 1〜5、前回は N・C・I（または -・正解・不正解、空なら N）。
                    画像の欄は画像番号（1〜3 桁）か画像ファイルの名前。
                    表計算ソフトが数式や長い数から作った文字列（#NAME? や 1.23457E+11）と、
                    画像番号の先頭の 0 が消えているときは日付になった解答（1/2 → 2026/1/2）を警告します。
  --from aiken | gift | moodle-xml
  -o, --output BANK 書き込む問題ファイル。既にあれば --append か --force が必要です。
                    書き込みは一時ファイルを経て一度に置き換えます。Parameter.INI には書きません。
  --append          既にある問題ファイルの後ろに追加します
  --force           既にある問題ファイルを置き換えます
  --cut             長すぎる問題文や解答を文字の途中で切らずに切り詰めて書き、切り詰めたものを挙げます
  --fill TEXT       解答が 2〜4 個の問題の空いた解答を TEXT（例: 該当なし）で埋めます（いつも不正解）
  --strict          1 問でも入らなければ何も書きません
  --pictures DIR    画像番号や画像ファイル名をまずこのフォルダーで探します。ファイル名は次に
                    読み込むファイルのフォルダー、番号は BANK の 256bitmap で探します
  --encoding ENC    auto（既定）, utf-8, cp932

取り込んだ画像は 212x150 のビットマップにして BANK と同じフォルダーの 256bitmap に番号を付けて
置きます（名前が 005.png なら 005、使われていれば空いている番号。同じ画像は使い回します）。
)";

const char* const kImportEn = R"(Usage: molvane-bank import FILE --from FORMAT -o BANK [options]

Writes the questions of FILE that fit a record into the bank BANK; every
other one is named on standard error with its line (for XML: the line of its
element) and the reason. What a record cannot hold of a question taken
(pictures in answers, a second picture, audio, tables, superscripts) is
warned about per question. A question does not fit when it is no multiple-
choice question, when its text is over 96 bytes or an answer over 78 bytes
in Shift-JIS, when it holds a character code page 932 cannot hold, when it
has not five answers (--fill fills two to four), not exactly one right
answer, an empty text, or a picture that cannot be found.
Exit status: 0 all came in, 1 some did not (the bank is written), 2 nothing
was written.

  --from csv        CSV of a spreadsheet (UTF-8 or Shift-JIS, with or without
                    a byte-order mark). The first row is the header: 問題,
                    解答1 to 解答5 and 正解 are needed, 番号, 画像 and 前回 are
                    optional. 正解 is 1 to 5; 前回 is N, C or I (or -, 正解,
                    不正解; empty means N); 画像 is a picture number (one to
                    three digits) or the name of a picture file. Texts that
                    a spreadsheet made of a formula (#NAME?...) or a long
                    number (1.23457E+11) are warned about, and dates (1/2
                    as 2026/1/2) when the picture numbers show that a
                    spreadsheet read the cells as numbers.
  --from aiken | gift | moodle-xml
  -o, --output BANK the bank to write; an existing one needs --append or
                    --force. It is replaced in one step through a temporary
                    file. Parameter.INI is never written.
  --append          add to the end of an existing bank
  --force           replace an existing bank
  --cut             cut texts that are too long (never inside a character)
                    and list what was cut
  --fill TEXT       fill the empty answer slots of questions with two to
                    four answers with TEXT (say, 該当なし), always wrong
  --strict          write nothing unless every question fits
  --pictures DIR    look for picture numbers and picture files here first,
                    then file names beside FILE and numbers in BANK's
                    256bitmap
  --encoding ENC    auto (default), utf-8 or cp932

Pictures brought in become 212 x 150 bitmaps in the 256bitmap folder beside
BANK, numbered: 005.png gets 005 when that number is free, otherwise the
lowest free number; a picture already there is used again.
)";

} // namespace

std::string helpText(Language lang, const std::string& command)
{
    const bool ja = lang == Language::Japanese;
    if (command == "check")
        return ja ? kCheckJa : kCheckEn;
    if (command == "export")
        return ja ? kExportJa : kExportEn;
    if (command == "import")
        return ja ? kImportJa : kImportEn;
    return ja ? kUsageJa : kUsageEn;
}

} // namespace bankcli
