// Code page 932 <-> UTF-8 on any bytes: never crashes, always gives valid
// UTF-8, and text that came from code page 932 goes back to the same bytes.

#include "core/ShiftJis.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool isValidUtf8(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                                                                  : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::string utf8 = sjis::toUtf8(bytes);
    if (!isValidUtf8(utf8))
        std::abort();
    // Whatever decoding gave, encoding it again and decoding once more is stable.
    const std::string again = sjis::fromUtf8(utf8);
    if (sjis::toUtf8(again) != sjis::toUtf8(sjis::fromUtf8(sjis::toUtf8(again))))
        std::abort();

    // The same bytes read as UTF-8 typed by a user.
    (void)sjis::fromUtf8(bytes);
    (void)sjis::lastSeparator(bytes);
    (void)sjis::folderPart(bytes);
    (void)sjis::fileNamePart(bytes);
    (void)sjis::foldCase(bytes);
    return 0;
}
