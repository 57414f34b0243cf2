#include "ShiftJis.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace sjis {
namespace {

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
