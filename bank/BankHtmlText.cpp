// The text of an HTML fragment as a browser shows it, read by libxml2's HTML
// parser: character references of every name, a "<" that opens no tag kept
// as text, comments and the bodies of <script> and <style> left out. The
// tree is walked without recursion.

#include "BankText.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <cstring>
#include <memory>

namespace bank {

namespace {

void silent(void*, const char*, ...) {}

} // namespace

void initXml()
{
    static const bool done = [] {
        xmlInitParser();
        xmlSetGenericErrorFunc(nullptr, silent);
        return true;
    }();
    (void)done;
}

namespace {

bool isHtmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Puts the text together as a browser lays it out: runs of white space
// fold into one space between words, blocks start on a line of their own,
// <br> ends a line.
class TextBuilder {
public:
    void text(std::string_view s, bool pre)
    {
        for (std::size_t i = 0; i < s.size(); ++i) {
            const char c = s[i];
            if (pre) {
                if (c == '\r')
                    continue;
                if (c == '\n') {
                    hardBreak();
                    continue;
                }
                put(c == '\t' || c == '\f' ? ' ' : c);
                continue;
            }
            if (isHtmlSpace(c)) {
                m_space = !atLineStart();
                continue;
            }
            // A no-break space is shown as a space wherever it stands.
            if (c == '\xC2' && i + 1 < s.size() && s[i + 1] == '\xA0') {
                put(' ');
                ++i;
                continue;
            }
            put(c);
        }
    }
    void softBreak()
    {
        m_soft = true;
        m_space = false;
    }
    void hardBreak()
    {
        if (m_soft && !m_out.empty() && m_out.back() != '\n')
            m_out += '\n';
        m_soft = false;
        m_space = false;
        m_out += '\n';
    }
    // A space between two cells of a table row.
    void cellGap()
    {
        m_space = !atLineStart();
    }
    std::string take() { return std::move(m_out); }

private:
    bool atLineStart() const { return m_out.empty() || m_out.back() == '\n' || m_soft; }
    void put(char c)
    {
        if (m_soft && !m_out.empty() && m_out.back() != '\n')
            m_out += '\n';
        else if (m_space)
            m_out += ' ';
        m_soft = false;
        m_space = false;
        m_out += c;
    }

    std::string m_out;
    bool m_space = false; // white space seen after text on this line
    bool m_soft = false;  // a block ended or began: the next text starts a new line
};

bool is(const xmlChar* name, const char* what)
{
    return std::strcmp(reinterpret_cast<const char*>(name), what) == 0;
}

bool isOneOf(const xmlChar* name, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (is(name, n))
            return true;
    return false;
}

bool isBlock(const xmlChar* name)
{
    return isOneOf(name, {"p",      "div",    "h1",      "h2",      "h3",   "h4",         "h5",      "h6",
                          "li",     "tr",     "table",   "ul",      "ol",   "dl",         "dt",      "dd",
                          "pre",    "hr",     "section", "article", "header", "footer",   "address", "blockquote",
                          "center", "figure", "figcaption", "caption", "form", "fieldset", "nav",   "main",
                          "aside",  "details", "summary", "legend"});
}

void addOnce(std::vector<std::string>& list, const char* what)
{
    for (const std::string& s : list)
        if (s == what)
            return;
    list.emplace_back(what);
}

struct DocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
struct CtxtFree {
    void operator()(htmlParserCtxt* c) const { htmlFreeParserCtxt(c); }
};

} // namespace

std::string htmlToText(std::string_view html, HtmlText* info)
{
    TextBuilder out;
    // Text with neither tags nor references needs no parser.
    if (html.find_first_of("<&") == std::string_view::npos) {
        out.text(html, false);
        return out.take();
    }
    initXml();
    std::unique_ptr<htmlParserCtxt, CtxtFree> ctxt(htmlNewParserCtxt());
    if (!ctxt)
        return {};
    // The fragment goes into a page of its own: read alone, libxml2 drops
    // text that follows an element at the top (as in "<img>text").
    static constexpr std::string_view kOpen = "<html><body><div>";
    static constexpr std::string_view kClose = "</div></body></html>";
    std::string page;
    page.reserve(kOpen.size() + html.size() + kClose.size());
    page.append(kOpen).append(html).append(kClose);
    std::unique_ptr<xmlDoc, DocFree> doc(
        htmlCtxtReadMemory(ctxt.get(), page.data(), static_cast<int>(page.size()), nullptr, "UTF-8",
                           HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_COMPACT));
    // The parser gives up beyond 256 levels of elements: no browser builds
    // such a page from a question's text either.
    if (ctxt->lastError.code == XML_ERR_INTERNAL_ERROR && info)
        info->tooDeep = true;
    if (!doc)
        return {};

    int pre = 0;
    xmlNode* node = doc->children;
    while (node) {
        bool descend = false;
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            if (node->content)
                out.text(reinterpret_cast<const char*>(node->content), pre > 0);
        } else if (node->type == XML_ELEMENT_NODE) {
            const xmlChar* name = node->name;
            if (isOneOf(name, {"script", "style", "head", "title", "template", "noscript"})) {
                // never shown
            } else if (isOneOf(name, {"audio", "video", "object", "embed", "iframe"})) {
                if (info)
                    addOnce(info->media, reinterpret_cast<const char*>(name));
            } else if (is(name, "br")) {
                out.hardBreak();
            } else if (is(name, "img")) {
                if (info) {
                    xmlChar* src = xmlGetProp(node, reinterpret_cast<const xmlChar*>("src"));
                    info->images.emplace_back(src ? reinterpret_cast<const char*>(src) : "");
                    xmlFree(src);
                }
            } else {
                if (info) {
                    if (is(name, "sup") || is(name, "sub"))
                        addOnce(info->markup, reinterpret_cast<const char*>(name));
                    else if (is(name, "table"))
                        addOnce(info->markup, "table");
                    else if (is(name, "ul") || is(name, "ol"))
                        addOnce(info->markup, "list");
                    else if (is(name, "math"))
                        addOnce(info->markup, "math");
                }
                if ((is(name, "td") || is(name, "th")) && node->prev)
                    out.cellGap();
                if (isBlock(name))
                    out.softBreak();
                if (is(name, "pre"))
                    ++pre;
                descend = node->children != nullptr;
                if (!descend && isBlock(name))
                    out.softBreak();
                if (!descend && is(name, "pre"))
                    --pre;
            }
        }
        if (descend) {
            node = node->children;
            continue;
        }
        // On to the next sibling, closing the elements that end here.
        while (node && !node->next) {
            node = node->parent;
            if (!node || node->type != XML_ELEMENT_NODE) {
                node = nullptr;
                break;
            }
            if (isBlock(node->name))
                out.softBreak();
            if (is(node->name, "pre"))
                --pre;
        }
        if (node)
            node = node->next;
    }
    return out.take();
}

std::string moodleAutoToText(std::string_view text, HtmlText* info)
{
    // Moodle's own format: HTML in which every line break is a <br>.
    if (text.find_first_of("\r\n") == std::string_view::npos)
        return htmlToText(text, info);
    std::string html;
    html.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\r' || text[i] == '\n')
            html += "<br>";
        else
            html += text[i];
    }
    return htmlToText(html, info);
}

} // namespace bank
