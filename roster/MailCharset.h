#pragma once
// Turning the texts of received mails into Shift-JIS (code page 932), the
// program's own text. Japanese mail software labels code page 932 text
// "Shift_JIS" and writes ISO-2022-JP with the NEC and IBM extensions, which
// the C library's converters refuse; both are read here by table-free
// arithmetic so that names such as 髙橋 or ① arrive intact.

#include <string>
#include <string_view>

namespace roster {

// True for the names under which code page 932 text travels.
bool isShiftJisCharset(std::string_view charset);

// ISO-2022-JP (JIS X 0201 Roman and katakana, JIS X 0208 with the NEC and
// IBM rows) to code page 932. Unknown escapes and stray bytes become "?".
std::string iso2022jpToCp932(std::string_view bytes);

// Text in the given charset to code page 932. An empty charset means
// US-ASCII as MIME says, but 8-bit text is taken as UTF-8 when it is valid
// UTF-8 and as code page 932 otherwise. False when the charset is unknown.
bool toCp932(std::string_view bytes, std::string_view charset, std::string& out);

// A header text with RFC 2047 encoded words ("=?charset?B?...?=") decoded,
// folding undone, as code page 932.
std::string decodeHeaderText(std::string_view raw);

} // namespace roster
