#include "MailCharset.h"

#include "core/ShiftJis.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace roster {

namespace {

std::string lowerTrimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '"' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '"' || text.back() == '\t'))
        text.remove_suffix(1);
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

bool isValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80                  ? 1
                              : (c >= 0xC2 && c <= 0xDF) ? 2
                              : (c >= 0xE0 && c <= 0xEF) ? 3
                              : (c >= 0xF0 && c <= 0xF4) ? 4
                                                         : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

bool isIso2022jpCharset(const std::string& charset)
{
    return charset == "iso-2022-jp" || charset == "csiso2022jp" || charset == "cp50220" || charset == "cp50221" ||
           charset == "cp50222";
}

// Any charset the C library knows, through UTF-8.
bool convertWithIconv(std::string_view bytes, const std::string& charset, std::string& out)
{
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string utf8;
    std::vector<char> buffer(4096);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        utf8.append(buffer.data(), outPtr);
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // A byte that does not belong: U+FFFD, and on with the next one.
            utf8 += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
        }
    }
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    utf8.append(buffer.data(), outPtr);
    iconv_close(cd);
    out = sjis::fromUtf8(utf8);
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool decodeBase64(std::string_view text, std::string& out)
{
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=')
            break;
        const int v = base64Value(c);
        if (v < 0)
            return false;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return true;
}

void decodeQ(std::string_view text, std::string& out)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
}

// One "=?charset?X?text?=" at the start of `text`: its length, charset and
// decoded bytes; 0 when it is none. Neither the charset nor the encoded text
// holds a "?" or white space, so every scan stops at the next "?": called at
// each position of a header, the whole header is still read in linear time.
std::size_t encodedWord(std::string_view text, std::string& charset, std::string& bytes)
{
    if (text.size() < 8 || text[0] != '=' || text[1] != '?')
        return 0;
    const std::size_t q1 = text.find_first_of("? \t", 2);
    if (q1 == std::string_view::npos || text[q1] != '?' || q1 + 3 >= text.size() || text[q1 + 2] != '?')
        return 0;
    const char encoding = text[q1 + 1];
    const std::size_t end = text.find_first_of("? \t\r\n", q1 + 3);
    if (end == std::string_view::npos || text[end] != '?' || end + 1 >= text.size() || text[end + 1] != '=')
        return 0;
    const std::string_view payload = text.substr(q1 + 3, end - q1 - 3);
    std::string_view name = text.substr(2, q1 - 2);
    name = name.substr(0, name.find('*')); // RFC 2231 language tag
    std::string decoded;
    if (encoding == 'B' || encoding == 'b') {
        if (!decodeBase64(payload, decoded))
            return 0;
    } else if (encoding == 'Q' || encoding == 'q') {
        decodeQ(payload, decoded);
    } else {
        return 0;
    }
    charset = lowerTrimmed(name);
    bytes = std::move(decoded);
    return end + 2;
}

} // namespace

bool isShiftJisCharset(std::string_view charset)
{
    const std::string c = lowerTrimmed(charset);
    return c == "shift_jis" || c == "shift-jis" || c == "sjis" || c == "x-sjis" || c == "ms_kanji" ||
           c == "csshiftjis" || c == "cp932" || c == "windows-31j" || c == "x-ms-cp932" || c == "ms932";
}

std::string iso2022jpToCp932(std::string_view bytes)
{
    enum class Set { Ascii, Kanji, Katakana };
    Set set = Set::Ascii;
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == 0x1B) {
            const std::string_view esc = bytes.substr(i + 1, 2);
            if (esc == "(B" || esc == "(J") {
                set = Set::Ascii;
                i += 2;
            } else if (esc == "$B" || esc == "$@") {
                set = Set::Kanji;
                i += 2;
            } else if (esc == "(I") {
                set = Set::Katakana;
                i += 2;
            } else if (bytes.substr(i + 1, 3) == "$(D" || bytes.substr(i + 1, 3) == "$(Q" ||
                       bytes.substr(i + 1, 3) == "$(O") {
                set = Set::Kanji; // JIS X 0212/0213 planes: read as JIS X 0208 rows
                i += 3;
            } else {
                out += '?';
            }
            continue;
        }
        if (c == '\r' || c == '\n') {
            // A line end ends every shift.
            set = Set::Ascii;
            out += static_cast<char>(c);
            continue;
        }
        if (set == Set::Kanji && c >= 0x21 && c <= 0x7E) {
            if (i + 1 >= bytes.size()) {
                out += '?';
                break;
            }
            const unsigned char c2 = static_cast<unsigned char>(bytes[i + 1]);
            if (c2 < 0x21 || c2 > 0x7E) {
                out += '?';
                continue;
            }
            ++i;
            const unsigned s1 = ((c + 1u) >> 1) + (c <= 0x5E ? 0x70u : 0xB0u);
            const unsigned s2 = (c & 1) ? c2 + (c2 >= 0x60 ? 0x20u : 0x1Fu) : c2 + 0x7Eu;
            out += static_cast<char>(s1);
            out += static_cast<char>(s2);
        } else if (set == Set::Katakana && c >= 0x21 && c <= 0x5F) {
            out += static_cast<char>(c + 0x80);
        } else if (c >= 0x80) {
            out += '?';
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool toCp932(std::string_view bytes, std::string_view charsetName, std::string& out)
{
    const std::string charset = lowerTrimmed(charsetName);
    if (charset.empty() || charset == "us-ascii" || charset == "ascii") {
        if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c > 0 && c != 0x1B; }))
            out.assign(bytes.begin(), bytes.end()); // plain ASCII is the same in code page 932
        else if (bytes.find("\x1B$") != std::string_view::npos)
            out = sjis::fromUtf8(sjis::toUtf8(iso2022jpToCp932(bytes)));
        else if (isValidUtf8(bytes))
            out = sjis::fromUtf8(bytes);
        else
            out = sjis::fromUtf8(sjis::toUtf8(bytes));
        return true;
    }
    if (charset == "utf-8" || charset == "utf8") {
        out = sjis::fromUtf8(bytes);
        return true;
    }
    // Code page 932 has two codes for some characters (髙 is FBFC and EEE0);
    // through Unicode every text lands on the one code the program writes.
    if (isShiftJisCharset(charset)) {
        out = sjis::fromUtf8(sjis::toUtf8(bytes));
        return true;
    }
    if (isIso2022jpCharset(charset)) {
        out = sjis::fromUtf8(sjis::toUtf8(iso2022jpToCp932(bytes)));
        return true;
    }
    return convertWithIconv(bytes, charset, out);
}

std::string decodeHeaderText(std::string_view raw)
{
    // Unfold: a line end followed by white space is that white space.
    std::string text;
    text.reserve(raw.size());
    for (char c : raw)
        if (c != '\r' && c != '\n')
            text += c;
    std::size_t begin = 0;
    while (begin < text.size() && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;

    std::string out;
    std::string pendingCharset; // encoded words of one charset are joined before decoding,
    std::string pendingBytes;   // as some mailers cut a character between two words
    auto flush = [&] {
        if (pendingCharset.empty() && pendingBytes.empty())
            return;
        std::string converted;
        if (!toCp932(pendingBytes, pendingCharset, converted))
            converted = std::string(pendingBytes.size() ? 1 : 0, '?');
        out += converted;
        pendingCharset.clear();
        pendingBytes.clear();
    };
    std::string literal;
    bool afterWord = false;
    std::size_t i = begin;
    std::string charset;
    std::string bytes;
    while (i < text.size()) {
        // Plain text up to the next "=?" that may open an encoded word.
        const std::size_t open = text.find("=?", i);
        if (open != i) {
            literal.append(text, i, open == std::string::npos ? std::string::npos : open - i);
            if (open == std::string::npos)
                break;
            i = open;
        }
        charset.clear();
        bytes.clear();
        const std::size_t length = encodedWord(std::string_view(text).substr(i), charset, bytes);
        if (length > 0) {
            // White space between two encoded words is not part of the text.
            const bool onlySpace = literal.find_first_not_of(" \t") == std::string::npos;
            if (!(afterWord && onlySpace)) {
                flush();
                std::string converted;
                toCp932(literal, "", converted);
                out += converted;
            }
            literal.clear();
            if (charset != pendingCharset)
                flush();
            pendingCharset = charset;
            pendingBytes += bytes;
            afterWord = true;
            i += length;
            continue;
        }
        literal += text[i];
        ++i;
    }
    flush();
    std::string converted;
    toCp932(literal, "", converted);
    out += converted;
    return out;
}

} // namespace roster
