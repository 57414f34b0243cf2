#pragma once
// Conversion between Shift-JIS as written by Windows (code page 932, with the
// NEC and IBM extensions) and UTF-8.
//
// Files and mails hold code page 932 bytes; Unicode is used only to show text
// and to put it in a mail. Decoding never fails: an invalid or cut byte
// sequence turns into U+FFFD. The single bytes 0x80, 0xA0, 0xFD, 0xFE and
// 0xFF become U+0080, U+F8F0, U+F8F1, U+F8F2 and U+F8F3, as on Windows, and
// go back to the same bytes. Encoding never fails either: a character that
// code page 932 cannot hold becomes "?".
//
// POSIX systems convert with iconv, Windows with its own code page 932; both
// give the same result for every input (scripts/check-windows-build.sh
// compares them).

#include <string>
#include <string_view>

namespace sjis {

// Code page 932 bytes to UTF-8.
std::string toUtf8(std::string_view cp932);

// UTF-8 to code page 932 bytes. Characters that Linux input methods type in
// place of their Windows counterparts (U+301C, U+2212, U+2016, U+00A2, U+00A3,
// U+00AC and a few more) land on the bytes a Windows user would get.
std::string fromUtf8(std::string_view utf8);

// The first character of the UTF-8 text that code page 932 cannot hold (the
// one fromUtf8 would turn into "?"), as UTF-8; empty when it holds them all.
std::string firstUnencodable(std::string_view utf8);

// True when byte c starts a double-byte character.
inline bool isLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Position of the last '\' or '/' that is a character of its own (not the
// second byte of a double-byte character), or npos.
std::size_t lastSeparator(std::string_view cp932);

// The folder part of a path: the text up to and including its last separator;
// empty for a bare file name.
std::string folderPart(std::string_view cp932);

// The file name part of a path: the text after its last separator.
std::string fileNamePart(std::string_view cp932);

// ASCII letters folded to lower case; the second bytes of double-byte
// characters are left alone.
std::string foldCase(std::string_view cp932);

} // namespace sjis
