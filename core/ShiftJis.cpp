#include "ShiftJis.h"

#include <algorithm>
#include <cerrno>
#ifndef _WIN32
#include <iconv.h>
#else
#include "Utf8.h"

#include <cstdint>
#include <memory>
#include <windows.h>
#endif

namespace sjis {
namespace {

#ifndef _WIN32
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible. Returns the number of input bytes that
    // could not be converted at the point where it stopped (0 when done).
    // *stoppedOnError tells whether it stopped on an invalid or cut sequence.
    void run(std::string_view& in, std::string& out, bool& stoppedOnError)
    {
        stoppedOnError = false;
        char buffer[1024];
        while (!in.empty()) {
            char* inPtr = const_cast<char*>(in.data());
            std::size_t inLeft = in.size();
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t r = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            const int err = errno;
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            in.remove_prefix(in.size() - inLeft);
            if (r == static_cast<std::size_t>(-1) && err != E2BIG) {
                iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
                stoppedOnError = true;
                return;
            }
        }
    }

private:
    iconv_t m_cd;
};
#else
// Windows: the system's own code page 932 conversion is the reference. It
// is asked once per character (about 60 000 questions, a few milliseconds)
// and the answers kept in two tables, so that a conversion stops exactly
// where iconv stops: at the first byte sequence that is no character, or
// at the first character that code page 932 cannot hold. Windows' strict
// mode is used (MB_ERR_INVALID_CHARS, WC_NO_BEST_FIT_CHARS): without it,
// bad bytes would read as U+30FB and characters would be "best fitted"
// ("é" as "e").
class Converter {
public:
    Converter(const char* to, const char*) : m_toUtf8(std::string_view(to) == "UTF-8") {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return true; }

    void run(std::string_view& in, std::string& out, bool& stoppedOnError)
    {
        stoppedOnError = m_toUtf8 ? decode(in, out) : encode(in, out);
    }

private:
    // A character's UTF-16 unit for every single byte and every lead and
    // trail byte pair; 0 where Windows sees no character (a zero byte is a
    // character, told apart below).
    struct DecodeTable {
        char16_t single[256] = {};
        char16_t pair[256][256] = {};
    };
    // The code page 932 bytes of every character of the first Unicode plane
    // (high byte, low byte); 0 where there are none.
    struct EncodeTable {
        std::uint16_t bytes[0x10000] = {};
    };

    static const DecodeTable& decodeTable()
    {
        static const std::unique_ptr<DecodeTable> table = [] {
            auto t = std::make_unique<DecodeTable>();
            for (int b = 1; b < 256; ++b) {
                const char c = static_cast<char>(b);
                wchar_t w = 0;
                if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, &c, 1, &w, 1) == 1)
                    t->single[b] = static_cast<char16_t>(w);
                if (!isLeadByte(static_cast<unsigned char>(b)))
                    continue;
                for (int trail = 0; trail < 256; ++trail) {
                    const char pair[2] = {c, static_cast<char>(trail)};
                    if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, pair, 2, &w, 1) == 1)
                        t->pair[b][trail] = static_cast<char16_t>(w);
                }
            }
            return t;
        }();
        return *table;
    }

    static const EncodeTable& encodeTable()
    {
        static const std::unique_ptr<EncodeTable> table = [] {
            auto t = std::make_unique<EncodeTable>();
            for (int u = 1; u < 0x10000; ++u) {
                if (u >= 0xD800 && u <= 0xDFFF)
                    continue;
                const wchar_t w = static_cast<wchar_t>(u);
                char bytes[2] = {};
                BOOL usedDefault = FALSE;
                const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &w, 1, bytes, 2, nullptr, &usedDefault);
                if (usedDefault || n < 1)
                    continue;
                t->bytes[u] = n == 1 ? static_cast<unsigned char>(bytes[0])
                                     : static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[0]) << 8) |
                                                                  static_cast<unsigned char>(bytes[1]));
            }
            return t;
        }();
        return *table;
    }

    // Code page 932 to UTF-8; true when it stopped on a byte that starts no
    // character, or on a lead byte cut off at the end.
    static bool decode(std::string_view& in, std::string& out)
    {
        const DecodeTable& table = decodeTable();
        while (!in.empty()) {
            const unsigned char c = static_cast<unsigned char>(in[0]);
            if (isLeadByte(c)) {
                if (in.size() < 2)
                    return true;
                const char16_t w = table.pair[c][static_cast<unsigned char>(in[1])];
                if (w == 0)
                    return true;
                utf8::append(out, w);
                in.remove_prefix(2);
            } else {
                const char16_t w = table.single[c];
                if (w == 0 && c != 0)
                    return true;
                utf8::append(out, w);
                in.remove_prefix(1);
            }
        }
        return false;
    }

    // UTF-8 to code page 932; true when it stopped on a sequence that is not
    // UTF-8, or on a character that code page 932 cannot hold.
    static bool encode(std::string_view& in, std::string& out)
    {
        const EncodeTable& table = encodeTable();
        while (!in.empty()) {
            std::size_t length = 0;
            const char32_t c = utf8::decode(in, 0, length);
            if (length == 0)
                return true;
            if (c == 0) {
                out += '\0';
            } else {
                const std::uint16_t bytes = c < 0x10000 ? table.bytes[c] : 0;
                if (bytes == 0)
                    return true;
                if (bytes > 0xFF)
                    out += static_cast<char>(bytes >> 8);
                out += static_cast<char>(bytes & 0xFF);
            }
            in.remove_prefix(length);
        }
        return false;
    }

    bool m_toUtf8;
};
#endif

// Length of the UTF-8 sequence that starts with byte c (1 for a stray byte).
std::size_t utf8Length(unsigned char c)
{
    if (c >= 0xF0 && c <= 0xF4)
        return 4;
    if (c >= 0xE0)
        return c <= 0xEF ? 3 : 1;
    if (c >= 0xC2)
        return 2;
    return 1;
}

// Characters whose code page 932 bytes Windows gives to a look-alike: the
// input methods of other platforms type the look-alike's twin.
struct Substitute {
    const char* from;
    const char* to;
};
const Substitute kSubstitutes[] = {
    {"\u301C", "\x81\x60"}, // WAVE DASH -> FULLWIDTH TILDE
    {"\u2212", "\x81\x7C"}, // MINUS SIGN -> FULLWIDTH HYPHEN-MINUS
    {"\u2016", "\x81\x61"}, // DOUBLE VERTICAL LINE -> PARALLEL TO
    {"\u00A2", "\x81\x91"}, // CENT SIGN
    {"\u00A3", "\x81\x92"}, // POUND SIGN
    {"\u00AC", "\x81\xCA"}, // NOT SIGN
    {"\u2014", "\x81\x5C"}, // EM DASH -> HORIZONTAL BAR
    {"\u00A6", "\xFA\x55"}, // BROKEN BAR
    // The yen key of a Japanese keyboard: Windows types byte 5C, which
    // Japanese fonts show as a yen sign; elsewhere it types U+00A5. The
    // overline of JIS X 0201 likewise. (iconv maps both this way on its own;
    // Windows' conversion would make them "?".)
    {"\u00A5", "\x5C"},     // YEN SIGN
    {"\u203E", "\x7E"},     // OVERLINE
};

bool substitute(std::string_view& in, std::string& out)
{
    for (const Substitute& s : kSubstitutes) {
        const std::string_view from(s.from);
        if (in.substr(0, from.size()) == from) {
            out += s.to;
            in.remove_prefix(from.size());
            return true;
        }
    }
    return false;
}

// Single bytes that code page 932 holds without a character of its own: the
// converter refuses them, Windows keeps them as these code points, so that
// they come back as the same bytes.
struct SingleByte {
    unsigned char byte;
    const char* utf8;
};
const SingleByte kSingleBytes[] = {
    {0x80, "\u0080"},
    {0xA0, "\uF8F0"},
    {0xFD, "\uF8F1"},
    {0xFE, "\uF8F2"},
    {0xFF, "\uF8F3"},
};

const char* singleByteText(unsigned char c)
{
    for (const SingleByte& s : kSingleBytes) {
        if (s.byte == c)
            return s.utf8;
    }
    return nullptr;
}

// Replaces the character at the start of `in` when it stands for one of the
// single bytes above.
bool singleByte(std::string_view& in, std::string& out)
{
    for (const SingleByte& s : kSingleBytes) {
        const std::string_view text(s.utf8);
        if (in.substr(0, text.size()) == text) {
            out += static_cast<char>(s.byte);
            in.remove_prefix(text.size());
            return true;
        }
    }
    return false;
}

// Where the next character that the converter must not see starts.
std::size_t nextSpecial(std::string_view in)
{
    std::size_t stop = in.size();
    for (const Substitute& s : kSubstitutes)
        stop = std::min(stop, in.find(s.from));
    for (const SingleByte& s : kSingleBytes)
        stop = std::min(stop, in.find(s.utf8));
    return stop;
}

} // namespace

std::string toUtf8(std::string_view cp932)
{
    std::string out;
    out.reserve(cp932.size() * 3 / 2);
    Converter conv("UTF-8", "CP932");
    if (!conv.valid()) {
        for (unsigned char c : cp932) {
            const char* single = singleByteText(c);
            out += c < 0x80 ? std::string(1, static_cast<char>(c)) : std::string(single ? single : "\xEF\xBF\xBD");
        }
        return out;
    }
    std::string_view in = cp932;
    while (!in.empty()) {
        bool error = false;
        conv.run(in, out, error);
        if (error && !in.empty()) {
            const char* single = singleByteText(static_cast<unsigned char>(in.front()));
            out += single ? single : "\xEF\xBF\xBD";
            in.remove_prefix(1);
        }
    }
    return out;
}

std::string fromUtf8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    Converter conv("CP932", "UTF-8");
    std::string_view in = utf8;
    while (!in.empty()) {
        if (substitute(in, out) || singleByte(in, out))
            continue;
        // Convert up to the next character that the converter must not see.
        const std::size_t stop = nextSpecial(in);
        std::string_view chunk = in.substr(0, stop);
        in.remove_prefix(stop);
        while (!chunk.empty()) {
            bool error = false;
            if (conv.valid()) {
                conv.run(chunk, out, error);
            } else {
                error = true;
            }
            if (error && !chunk.empty()) {
                const unsigned char c = static_cast<unsigned char>(chunk.front());
                if (!conv.valid() && c < 0x80) {
                    out += static_cast<char>(c);
                    chunk.remove_prefix(1);
                    continue;
                }
                out += '?';
                // Skip the character, but never the bytes after a broken one.
                std::size_t skip = 1;
                const std::size_t length = std::min(utf8Length(c), chunk.size());
                while (skip < length && (static_cast<unsigned char>(chunk[skip]) & 0xC0) == 0x80)
                    ++skip;
                chunk.remove_prefix(skip);
            }
        }
    }
    return out;
}

std::string firstUnencodable(std::string_view utf8)
{
    for (std::size_t at = 0; at < utf8.size();) {
        std::size_t length = std::min(utf8Length(static_cast<unsigned char>(utf8[at])), utf8.size() - at);
        // A broken sequence is one character, as far as it goes.
        std::size_t whole = 1;
        while (whole < length && (static_cast<unsigned char>(utf8[at + whole]) & 0xC0) == 0x80)
            ++whole;
        const std::string_view character = utf8.substr(at, whole);
        if (character != "?" && fromUtf8(character) == "?")
            return std::string(character);
        at += whole;
    }
    return std::string();
}

std::size_t lastSeparator(std::string_view cp932)
{
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(cp932[i]);
        if (isLeadByte(c)) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/')
            found = i;
    }
    return found;
}

std::string folderPart(std::string_view cp932)
{
    const std::size_t at = lastSeparator(cp932);
    return at == std::string_view::npos ? std::string() : std::string(cp932.substr(0, at + 1));
}

std::string fileNamePart(std::string_view cp932)
{
    const std::size_t at = lastSeparator(cp932);
    return std::string(at == std::string_view::npos ? cp932 : cp932.substr(at + 1));
}

std::string foldCase(std::string_view cp932)
{
    std::string out(cp932);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if (isLeadByte(c)) {
            ++i;
            continue;
        }
        if (c >= 'A' && c <= 'Z')
            out[i] = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace sjis
