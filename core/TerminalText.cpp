#include "core/TerminalText.h"

#include "core/Utf8.h"

#include <cstdint>
#include <cstdio>

namespace termtext {
namespace {

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
        const std::uint32_t cp = ::utf8::decode(utf8, i, length);
        if (length == 0) {
            ::utf8::append(out, 0xFFFD);
            length = 1;
        } else if (cp < 0x20) {
            ::utf8::append(out, 0x2400 + cp);
        } else if (cp == 0x7F) {
            ::utf8::append(out, 0x2421);
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
