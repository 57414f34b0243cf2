#include "BankMessages.h"

#include <cstdlib>
#include <vector>

namespace bank {

std::string fill(std::string_view text, std::initializer_list<std::string_view> args)
{
    const std::vector<std::string_view> list(args);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const std::size_t k = static_cast<std::size_t>(text[i + 1] - '1');
            if (k < list.size())
                out += list[k];
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

namespace {

const char* pick(Language lang, const char* ja, const char* en)
{
    return lang == Language::Japanese ? ja : en;
}

// "3:120" -> {"3", "120"}
std::pair<std::string, std::string> split(const std::string& s)
{
    const std::size_t colon = s.find(':');
    if (colon == std::string::npos)
        return {s, {}};
    return {s.substr(0, colon), s.substr(colon + 1)};
}

} // namespace

std::string fieldText(const std::string& field, Language lang)
{
    if (field == "question")
        return pick(lang, "問題文", "the question text");
    if (field == "picture")
        return pick(lang, "画像番号", "the picture number");
    if (field == "mark")
        return pick(lang, "前回の印", "the last-result mark");
    if (field.rfind("answer", 0) == 0)
        return fill(pick(lang, "解答%1", "answer %1"), {field.substr(6)});
    return field;
}

std::string problemText(const Problem& p, Language lang)
{
    using K = Problem::Kind;
    const std::string& d = p.detail;
    switch (p.kind) {
    case K::NotText:
        if (d == "csv")
            return pick(lang, "テキストファイルではありません（0x00 のバイトがあります）。表計算ソフトのブックは CSV として保存して下さい",
                        "not a text file (it holds zero bytes); save a workbook as CSV first");
        return pick(lang, "テキストファイルではありません（0x00 のバイトがあります）",
                    "not a text file (it holds zero bytes)");
    case K::Utf16:
        if (d == "csv")
            return pick(lang, "UTF-16 のファイルは読めません。UTF-8 か Shift-JIS で保存して下さい（Excel では「CSV UTF-8 (コンマ区切り)」）",
                        "UTF-16 files are not read; save it as UTF-8 or Shift-JIS (in Excel: \"CSV UTF-8 (Comma delimited)\")");
        return pick(lang, "UTF-16 のファイルは読めません。UTF-8 か Shift-JIS で保存して下さい",
                    "UTF-16 files are not read; save it as UTF-8 or Shift-JIS");
    case K::EucJp:
        return pick(lang, "EUC-JP のファイルは読めません。UTF-8 か Shift-JIS で保存して下さい",
                    "EUC-JP files are not read; save it as UTF-8 or Shift-JIS");
    case K::BadEncoding:
        if (d == "utf-8")
            return pick(lang, "UTF-8 として正しくないバイトがあります", "bytes that are not valid UTF-8");
        if (d == "cp932")
            return pick(lang, "Shift-JIS として正しくないバイトがあります", "bytes that are not valid Shift-JIS");
        return pick(lang, "UTF-8 としても Shift-JIS としても正しくないバイトがあります（ほかの文字コードのファイルでは？）",
                    "bytes that are neither UTF-8 nor Shift-JIS (is the file in another encoding?)");
    case K::CutShort:
        return pick(lang, "ファイルが文字の途中で終わっています（途中で切れていませんか）",
                    "the file ends inside a character (is it cut short?)");
    case K::UnclosedQuote:
        return pick(lang, "この行で始まる引用符 \" が閉じられないままファイルが終わっています（ファイルが途中で切れていませんか）",
                    "the quote opened on this line is never closed (is the file cut short?)");
    case K::CellTooLong:
        return pick(lang, "セルが長すぎます（この行で開いた引用符 \" が閉じられていないのでは）",
                    "a cell too long for any question (is a quote opened on this line never closed?)");
    case K::NoHeader:
        return pick(lang, "見出し行がありません。1 行目に 番号,画像,問題,解答1,解答2,解答3,解答4,解答5,正解,前回 の見出しを置いて下さい",
                    "no header row; the first row must name the columns 番号,画像,問題,解答1,解答2,解答3,解答4,解答5,正解,前回");
    case K::MissingColumn:
        return fill(pick(lang, "見出し行に次の列がありません: %1", "the header row lacks the column(s) %1"), {d});
    case K::NotXml:
        return fill(pick(lang, "XML として読めません: %1", "not well-formed XML: %1"), {d});
    case K::NotQuiz:
        return fill(pick(lang, "Moodle XML ではありません（最上位の要素が <quiz> ではなく <%1> です）",
                         "not Moodle XML: the root element is <%1>, not <quiz>"),
                    {d});
    case K::LineTooLong:
        return pick(lang, "行が長すぎます（問題のファイルではないのでは）", "a line too long for any question (is this the right file?)");
    case K::ReadFailed:
        return pick(lang, "ファイルを読めませんでした", "the file could not be read");
    case K::NotMultipleChoice:
        return fill(pick(lang, "五択問題ではありません（%1）", "not a multiple-choice question (%1)"), {d});
    case K::AnswerCount:
        if (d == "2" || d == "3" || d == "4")
            return fill(pick(lang, "解答が %1 個しかありません。解答はちょうど 5 個です（--fill で残りを埋められます）",
                             "only %1 answers; a question has exactly five (--fill fills the rest)"),
                        {d});
        return fill(pick(lang, "解答が %1 個あります。解答はちょうど 5 個でなければなりません",
                         "%1 answers; a question has exactly five"),
                    {d});
    case K::RightAnswerCount:
        return fill(pick(lang, "正解が %1 個あります。正解はちょうど 1 個でなければなりません",
                         "%1 right answers; a question has exactly one"),
                    {d});
    case K::EmptyQuestion:
        return pick(lang, "問題文が空です", "the question text is empty");
    case K::EmptyAnswer:
        return fill(pick(lang, "解答%1 が空です", "answer %1 is empty"), {d});
    case K::QuestionTooLong:
        return fill(pick(lang, "問題文が Shift-JIS で %1 バイトあります。入るのは 96 バイト（全角 48 文字）までです（--cut で切り詰めます）",
                         "the question text is %1 bytes in Shift-JIS; 96 fit (48 full-width characters; --cut cuts it)"),
                    {d});
    case K::AnswerTooLong: {
        const auto [n, bytes] = split(d);
        return fill(pick(lang, "解答%1 が Shift-JIS で %2 バイトあります。入るのは 78 バイト（全角 39 文字）までです（--cut で切り詰めます）",
                         "answer %1 is %2 bytes in Shift-JIS; 78 fit (39 full-width characters; --cut cuts it)"),
                    {n, bytes});
    }
    case K::Unmappable: {
        const auto [field, chars] = split(d);
        return fill(pick(lang, "%1 に Shift-JIS（コードページ 932）で書けない文字があります: %2",
                         "%1 holds characters that Shift-JIS (code page 932) cannot hold: %2"),
                    {fieldText(field, lang), chars});
    }
    case K::InvalidShiftJis:
        return fill(pick(lang, "%1 に Shift-JIS として正しくないバイトがあります", "%1 holds bytes that are not valid Shift-JIS"),
                    {fieldText(d, lang)});
    case K::ZeroByte:
        return fill(pick(lang, "%1 に 0x00 のバイトがあります", "%1 holds a zero byte"), {fieldText(d, lang)});
    case K::BadCorrect:
        return fill(pick(lang, "正解の欄「%1」は 1 から 5 のどれでもありません", "the right-answer cell \"%1\" is not 1 to 5"), {d});
    case K::BadMark:
        return fill(pick(lang, "前回の欄「%1」は N, C, I, -, 正解, 不正解 のどれでもありません",
                         "the last-result cell \"%1\" is none of N, C, I, -, 正解, 不正解"),
                    {d});
    case K::BadPictureNumber:
        return fill(pick(lang, "画像番号「%1」は 3 桁までの数字ではありません", "the picture number \"%1\" has more than three digits"),
                    {d});
    case K::PictureMissing:
        return fill(pick(lang, "画像がありません: %1（探す場所は --pictures で指定できます）",
                         "picture not found: %1 (--pictures says where to look)"),
                    {d});
    case K::PictureUnreadable:
        return fill(pick(lang, "画像として読めません: %1", "not a picture that can be read: %1"), {d});
    case K::PictureTooLarge:
        return fill(pick(lang, "画像が大きすぎます: %1", "picture too large: %1"), {d});
    case K::PicturesFull:
        return fill(pick(lang, "256bitmap に空いている画像番号がありません（001〜999 を使い切っています）: %1",
                         "no free picture number left in 256bitmap (001 to 999 are taken): %1"),
                    {d});
    case K::AikenNoAnswerLine:
        return pick(lang, "この問題には ANSWER: の行がありません", "this question has no \"ANSWER:\" line");
    case K::AikenStrayLine:
        return pick(lang, "選択肢（A. …）でも ANSWER: でもない行です", "a line that is neither a choice (\"A. ...\") nor \"ANSWER:\"");
    case K::AikenBadAnswer:
        return fill(pick(lang, "ANSWER: の「%1」はどの選択肢でもありません", "\"ANSWER: %1\" names no choice"), {d});
    case K::GiftUnclosed:
        return pick(lang, "{ が } で閉じられていません", "\"{\" is never closed by \"}\"");
    case K::NestedTooDeep:
        return fill(pick(lang, "要素の入れ子が %1 段を超えています。Moodle XML ではありません",
                         "elements nested deeper than %1 levels: this is no Moodle XML"),
                    {d});
    case K::DoctypeEntities:
        return pick(lang, "文書型宣言で実体を定義しています。Moodle XML には実体の定義はないので読みません",
                    "a document type that declares entities, which Moodle XML never has: not read");
    case K::TextTooLong:
        return fill(pick(lang, "<%1> の文字列が 1 MiB を超えています", "the text of <%1> is longer than 1 MiB"), {d});
    case K::HtmlTooDeep:
        return pick(lang, "HTML の入れ子が深すぎて（256 段を超えて）ブラウザーでも表示できません",
                    "HTML nested deeper than 256 levels, which no browser shows either");
    case K::MediaLeftOut: {
        const auto [what, n] = split(d);
        if (what == "answer-picture")
            return fill(pick(lang, "解答%1 の画像は問題ファイルに入らないので入れませんでした",
                             "the picture in answer %1 was left out: a record has no place for it"),
                        {n});
        if (what == "pictures")
            return fill(pick(lang, "問題文に画像が %1 枚あります。入れたのは最初の 1 枚だけです",
                             "the question text has %1 pictures; only the first was taken"),
                        {n});
        const char* ja = what == "audio" ? "音声" : what == "video" ? "動画" : "埋め込まれた内容";
        const std::string en = what == "audio" || what == "video" ? what : "embedded " + what;
        return fill(pick(lang, "%1は問題ファイルに入らないので入れませんでした", "the %1 was left out: a record has no place for it"),
                    {pick(lang, ja, en.c_str())});
    }
    case K::MarkupLost: {
        const auto [field, what] = split(d);
        const char* ja = "";
        const char* en = "";
        if (what == "sup" || what == "sub") {
            ja = what == "sup" ? "上付き文字" : "下付き文字";
            en = what == "sup" ? "superscript" : "subscript";
        } else if (what == "table") {
            ja = "表";
            en = "a table";
        } else if (what == "list") {
            ja = "箇条書き";
            en = "a list";
        } else if (what == "math") {
            ja = "数式";
            en = "a formula";
        } else if (what == "markdown") {
            return fill(pick(lang, "%1 は Markdown です。書式の記号をそのままの文字として入れました",
                             "%1 is Markdown; its marks were taken as plain characters"),
                        {fieldText(field, lang)});
        }
        return fill(pick(lang, "%1 の%2はただの文字列になりました（意味が変わっていないか確かめて下さい）",
                         "%2 in %1 became plain text (check that the meaning is kept)"),
                    {fieldText(field, lang), pick(lang, ja, en)});
    }
    case K::SpreadsheetValue: {
        const auto [field, rest] = split(d);
        const auto [what, text] = split(rest);
        if (what == "error")
            return fill(pick(lang, "%1「%2」は表計算ソフトのエラー値です（数式として計算されたのでは）",
                             "%1 \"%2\" is a spreadsheet's error value (was it computed as a formula?)"),
                        {fieldText(field, lang), text});
        if (what == "exponent")
            return fill(pick(lang, "%1「%2」は表計算ソフトが長い数を指数で表したものです（桁が失われています）",
                             "%1 \"%2\" is a long number a spreadsheet wrote in exponent form (digits are lost)"),
                        {fieldText(field, lang), text});
        return fill(pick(lang, "%1「%2」は表計算ソフトが日付に変えたものではありませんか",
                         "%1 \"%2\" looks like a date a spreadsheet made of the cell"),
                    {fieldText(field, lang), text});
    }
    case K::SpreadsheetSaved:
        return pick(lang, "この CSV は、セルを数として読む表計算ソフトで保存されています（画像番号の先頭の 0 が消えています）。"
                          "0120 → 120、1/2 → 日付、=1+1 → 2 のように解答が変わっていることがあります。"
                          "すべての列を文字列として開き直して下さい（利用者マニュアル「表計算ソフトで編集するとき」）",
                    "this CSV was saved by a spreadsheet that read its cells as numbers (the picture numbers lost "
                    "their leading zeros): answers may have changed, 0120 to 120, 1/2 to a date, =1+1 to 2; open "
                    "it again with every column as text (see the manual)");
    case K::TooManyQuestions:
        return fill(pick(lang, "問題が多すぎます（1 つの問題ファイルに %1 問まで）", "too many questions (a bank holds at most %1)"),
                    {d});
    }
    return {};
}

std::string findingText(const Finding& f, Language lang)
{
    using K = Finding::Kind;
    const std::string& d = f.detail;
    const std::string other = std::to_string(f.other);
    switch (f.kind) {
    case K::TrailingBytes:
        return fill(pick(lang, "最後の問題（問 %2）の後に %1 バイトの端数があります（ファイルの長さが 500 の倍数ではありません）",
                         "%1 bytes after the last whole record, question %2 (the length is not a multiple of 500)"),
                    {d, other});
    case K::NoCorrectAnswer:
        return pick(lang, "正解の印「*」がありません", "no answer is marked \"*\"");
    case K::SeveralCorrectAnswers:
        return fill(pick(lang, "正解の印「*」が複数の解答（%1）にあります。テストでどれが正解になるかは並べ替えしだいです",
                         "several answers are marked \"*\" (%1); which one a test judges right depends on the shuffle"),
                    {d});
    case K::EmptyQuestion:
        return pick(lang, "問題文が空です", "the question text is empty");
    case K::EmptyAnswer:
        return fill(pick(lang, "解答%1 が空です", "answer %1 is empty"), {d});
    case K::InvalidShiftJis:
        return fill(pick(lang, "%1 に Shift-JIS として正しくないバイトがあります", "%1 holds bytes that are not valid Shift-JIS"),
                    {fieldText(d, lang)});
    case K::ZeroByte:
        return fill(pick(lang, "%1 に 0x00 のバイトがあります。そこから後はすべて空として読まれます",
                         "a zero byte in %1: everything after it reads as empty"),
                    {fieldText(d, lang)});
    case K::PictureNumber:
        return fill(pick(lang, "画像番号「%1」が 3 桁の数字ではありません", "the picture number \"%1\" is not three digits"), {d});
    case K::PictureMissing:
        return fill(pick(lang, "画像ファイルがありません: %1", "picture file not found: %1"), {d});
    case K::PictureNotBitmap:
        return fill(pick(lang, "画像ファイルがビットマップ (BMP) として読めません: %1", "the picture file is no readable bitmap: %1"),
                    {d});
    case K::PictureSize: {
        const std::size_t tab = d.find('\t');
        const std::string file = d.substr(0, tab);
        const std::string size = tab == std::string::npos ? std::string() : d.substr(tab + 1);
        return fill(pick(lang, "画像が 212x150 ではありません（%2）: %1", "the picture is %2, not 212x150: %1"), {file, size});
    }
    case K::DuplicateQuestion:
        return fill(pick(lang, "問 %1 と同じ問題文です", "the same question text as question %1"), {other});
    case K::DefaultPictureMissing:
        return fill(pick(lang, "待機中に表示する画像がありません: %1", "the picture shown between tests is missing: %1"), {d});
    case K::SpreadsheetValue: {
        Problem p{0, Problem::Kind::SpreadsheetValue, d, false, true};
        return problemText(p, lang);
    }
    case K::QuestionFileMissing:
        return fill(pick(lang, "[QUESTION] の問題ファイル「%1」がありません", "[QUESTION] names \"%1\", which does not exist"), {d});
    case K::QuestionFileOther:
        return fill(pick(lang, "[QUESTION] は「%1」で、検査した問題ファイルではありません",
                         "[QUESTION] names \"%1\", not the bank checked"),
                    {d});
    case K::QuestionCount:
        if (std::atoi(d.c_str()) <= 0)
            return fill(pick(lang, "[QUESTION_CNT] が %1 です。テストで 1 問も出題されません", "[QUESTION_CNT] is %1: a test asks no question"),
                        {d});
        return fill(pick(lang, "[QUESTION_CNT] の %1 問が問題ファイルの %2 問より多くなっています",
                         "[QUESTION_CNT] asks %1 questions; the bank has %2"),
                    {d, other});
    case K::TimeLimit:
        if (d.empty())
            return pick(lang, "[TIME_LIMIT] がありません。0 秒として読まれ、問題が出るとすぐに時間切れになります",
                        "[TIME_LIMIT] is missing, which reads as 0: every question times out at once");
        return fill(pick(lang, "[TIME_LIMIT] が %1 です。問題が出るとすぐに時間切れになります",
                         "[TIME_LIMIT] is %1: every question times out at once"),
                    {d});
    case K::Life:
        if (d.empty())
            return pick(lang, "[LIFE] がありません。0 として読まれ、最初のミスでテストが終わります",
                        "[LIFE] is missing, which reads as 0: the first miss ends the test");
        return fill(pick(lang, "[LIFE] が %1 です。最初のミスでテストが終わります", "[LIFE] is %1: the first miss ends the test"), {d});
    case K::MailAccount:
        return fill(pick(lang, "結果メールが有効 ([MAIL]=1) ですが [%1] が空です", "the result mail is on ([MAIL] is 1) but [%1] is empty"),
                    {d});
    case K::PortInvalid:
        return fill(pick(lang, "[PORT] の「%1」はポート番号ではありません", "[PORT] \"%1\" is not a port number"), {d});
    case K::StartTlsUnknown:
        return fill(pick(lang, "[ID] があるのでメールは TLS でしか送られません。ポート %1 のサーバーが STARTTLS に対応しているかどうかはオフラインでは分かりません",
                         "[ID] is set, so mail goes only over TLS; whether the server on port %1 offers STARTTLS cannot be known offline"),
                    {d});
    case K::PasswordReadable:
        return fill(pick(lang, "[PW] のパスワードがほかのユーザーも読めるファイルにあります（モード %1）。chmod 600 で自分だけが読めるようにして下さい",
                         "[PW] holds a password in a file others can read (mode %1); make it private with chmod 600"),
                    {d});
    }
    return {};
}

std::string noteText(const Note& n, Language lang)
{
    using K = Note::Kind;
    const std::string field = fieldText(n.field, lang);
    switch (n.kind) {
    case K::NoCorrectAnswer:
        return pick(lang, "正解の印「*」がないので書き出しませんでした", "left out: no answer is marked \"*\"");
    case K::LineBreak:
        return fill(pick(lang, "%1 の改行を空白にしました", "the line break in %1 was written as a space"), {field});
    case K::EmptyText:
        return fill(pick(lang, "%1 が空です。この形式では読み込めません", "%1 is empty, which this format cannot hold"), {field});
    case K::EdgeSpaces:
        return fill(pick(lang, "%1 の先頭か末尾の空白は読み込むときに失われます", "spaces at the start or end of %1 are lost when it is read"),
                    {field});
    case K::ControlCharacter:
        return fill(pick(lang, "%1 の制御文字を U+FFFD にしました", "a control character in %1 was written as U+FFFD"), {field});
    case K::InvalidBytes:
        return fill(pick(lang, "%1 の Shift-JIS として正しくないバイトを U+FFFD にしました",
                         "bytes in %1 that are no Shift-JIS character were written as U+FFFD"),
                    {field});
    case K::PictureMissing:
        return fill(pick(lang, "画像 %1 が読めないので画像なしで書きました", "picture %1 could not be read; written without it"),
                    {n.field});
    case K::CarriageReturn:
        return fill(pick(lang, "%1 の CR を改行 (LF) にしました", "a CR in %1 was written as a line break (LF)"), {field});
    case K::SpaceFolded:
        return fill(pick(lang, "%1 のタブ・CR・改ページを空白にしました", "a tab, CR or form feed in %1 was written as a space"),
                    {field});
    case K::PictureNotCarried:
        return fill(pick(lang, "この形式には画像 %1 を書けません", "this format has no place for picture %1"), {n.field});
    }
    return {};
}

std::string cutText(const Cut& c, Language lang)
{
    return fill(pick(lang, "%1 を %2 バイトから %3 バイトに切り詰めました", "%1 cut from %2 to %3 bytes"),
                {fieldText(c.field, lang), std::to_string(c.from), std::to_string(c.to)});
}

} // namespace bank
