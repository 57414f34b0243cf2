#include "core/TerminalText.h"

#include <cstdint>
#include <cstdio>

namespace termtext {
namespace {

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The code point at text[i] and its length in bytes; 0 when the bytes there
// are not a well-formed UTF-8 sequence (overlong forms and surrogates too).
std::uint32_t decode(std::string_view text, std::size_t i, std::size_t& length)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    length = 1;
    if (lead < 0x80)
        return lead;
    std::size_t n;
    std::uint32_t cp, min;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2; cp = lead & 0x1F; min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3; cp = lead & 0x0F; min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4; cp = lead & 0x07; min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i < n)
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    length = n;
    return cp;
}

bool shownAsNumber(std::uint32_t cp)
{
    return (cp >= 0x80 && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069)
        || cp == 0x2028 || cp == 0x2029 || cp == 0x200E || cp == 0x200F || cp == 0x061C;
}

} // namespace

std::string visible(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length;
        const std::uint32_t cp = decode(utf8, i, length);
        if (cp == 0 && utf8[i] != '\0') {
            appendUtf8(out, 0xFFFD);
        } else if (cp < 0x20) {
            appendUtf8(out, 0x2400 + cp);
        } else if (cp == 0x7F) {
            appendUtf8(out, 0x2421);
        } else if (shownAsNumber(cp)) {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "<U+%04X>", static_cast<unsigned>(cp));
            out += buffer;
        } else {
            out.append(utf8.substr(i, length));
        }
        i += length;
    }
    return out;
}

} // namespace termtext
