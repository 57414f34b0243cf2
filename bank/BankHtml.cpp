// A printable catalogue of a bank: every question with its answers in their
// stored order and its picture, and, when asked for, the right answers and an
// answer key. One self-contained file: pictures are embedded.

#include "BankFormats.h"

#include <QByteArray>

namespace bank {

namespace {

const char* const kStyle = R"(
  body { font-family: "IPAPGothic", "IPAGothic", "Yu Gothic", "Meiryo", sans-serif; margin: 12mm; color: #111; }
  h1 { font-size: 16pt; margin: 0 0 2mm; }
  .summary { margin: 0 0 6mm; color: #444; }
  .q { border-top: 1px solid #999; padding: 3mm 0; display: flex; gap: 6mm; break-inside: avoid; page-break-inside: avoid; }
  .q .body { flex: 1; }
  .q h2 { font-size: 11pt; margin: 0 0 1mm; }
  .q .meta { font-weight: normal; color: #666; font-size: 9pt; margin-left: 3mm; }
  .q .text { margin: 0 0 2mm; font-size: 12pt; }
  .q ol { margin: 0; padding-left: 7mm; }
  .q li { margin: 0.5mm 0; }
  .q li.right { font-weight: bold; }
  .q li.right::after { content: "　← 正解"; color: #b00; font-weight: normal; }
  .q .none { color: #b00; }
  figure { margin: 0; width: 212px; }
  figure img { width: 212px; height: 150px; border: 1px solid #ccc; display: block; }
  figure .missing { width: 212px; height: 150px; border: 1px dashed #b00; color: #b00; display: flex;
                    align-items: center; justify-content: center; font-size: 9pt; text-align: center; }
  figcaption { font-size: 8pt; color: #666; text-align: center; }
  .key { break-before: page; page-break-before: always; }
  .key table { border-collapse: collapse; }
  .key td, .key th { border: 1px solid #999; padding: 1mm 3mm; text-align: center; }
  @page { size: A4; margin: 10mm; }
  @media print { body { margin: 0; } }
)";

// The last-result mark as the editor's list shows it.
std::string lastResult(const std::string& mark)
{
    if (mark == "N")
        return "-";
    if (mark == "C")
        return "正解";
    if (mark == "I")
        return "不正解";
    return mark;
}

class HtmlWriter : public BankWriter {
public:
    explicit HtmlWriter(const WriterOptions& options) : m_answers(options.answers), m_title(options.title) {}

    bool wantsPictures() const override { return true; }

    void begin(std::string& out) override
    {
        out += "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
        out += htmlEscape(m_title);
        out += "</title>\n<style>";
        out += kStyle;
        out += "</style>\n</head>\n<body>\n<h1>";
        out += htmlEscape(m_title);
        out += m_answers ? "（解答付き）" : "";
        out += "</h1>\n";
    }

    bool write(const OutQuestion& q, std::string& out, const NoteSink& note) override
    {
        out += "<section class=\"q\" id=\"q" + std::to_string(q.number) + "\">\n<div class=\"body\">\n<h2>問 ";
        out += std::to_string(q.number);
        out += "<span class=\"meta\">画像 " + htmlEscape(q.picture) + "　前回 " + htmlEscape(lastResult(q.mark)) +
               "</span></h2>\n";
        out += "<p class=\"text\">" + htmlEscape(q.question) + "</p>\n<ol>\n";
        for (std::size_t i = 0; i < q.answers.size(); ++i) {
            const bool right = m_answers && static_cast<int>(i) + 1 == q.correct;
            out += right ? "<li class=\"right\">" : "<li>";
            out += htmlEscape(q.answers[i]);
            out += "</li>\n";
        }
        out += "</ol>\n";
        if (m_answers && q.correct < 1)
            out += "<p class=\"none\">正解の印がありません</p>\n";
        out += "</div>\n";
        if (q.pictureFile) {
            const QByteArray base64 =
                QByteArray(q.pictureFile->bytes.data(), static_cast<qsizetype>(q.pictureFile->bytes.size())).toBase64();
            out += "<figure><img alt=\"" + htmlEscape(q.pictureFile->name) + "\" src=\"data:image/bmp;base64,";
            out.append(base64.constData(), static_cast<std::size_t>(base64.size()));
            out += "\"><figcaption>" + htmlEscape(q.pictureFile->name) + "</figcaption></figure>\n";
        } else if (q.pictureMissing) {
            note(Note{q.number, Note::Kind::PictureMissing, q.picture});
            out += "<figure><div class=\"missing\">" + htmlEscape(q.picture) + ".bmp<br>がありません</div></figure>\n";
        }
        out += "</section>\n";
        ++m_count;
        if (m_answers)
            m_key.push_back(static_cast<char>(q.correct));
        return true;
    }

    void end(std::string& out) override
    {
        out += "<p class=\"summary\">全 " + std::to_string(m_count) + " 問</p>\n";
        if (m_answers) {
            out += "<section class=\"key\">\n<h2>解答一覧</h2>\n<table>\n";
            constexpr std::size_t kPerRow = 10;
            for (std::size_t row = 0; row < m_key.size(); row += kPerRow) {
                out += "<tr><th>問</th>";
                for (std::size_t k = row; k < std::min(row + kPerRow, m_key.size()); ++k)
                    out += "<td>" + std::to_string(k + 1) + "</td>";
                out += "</tr>\n<tr><th>正解</th>";
                for (std::size_t k = row; k < std::min(row + kPerRow, m_key.size()); ++k)
                    out += "<td>" + (m_key[k] > 0 ? std::to_string(m_key[k]) : std::string("－")) + "</td>";
                out += "</tr>\n";
            }
            out += "</table>\n</section>\n";
        }
        out += "</body>\n</html>\n";
    }

private:
    bool m_answers;
    std::string m_title;
    int m_count = 0;
    std::string m_key; // the right answer of every question, 0 for none
};

} // namespace

std::unique_ptr<BankWriter> makeHtmlWriter(const WriterOptions& options)
{
    return std::make_unique<HtmlWriter>(options);
}

} // namespace bank
