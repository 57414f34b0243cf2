// The libraries without widgets, checked where they are built: on Windows
// (under Wine in CI) and natively. Plain C++ with no test framework, so that
// it builds with nothing but a cross compiler.
//
//   windows_check SAMPLE_FOLDER [LINK_FOLDER]
//                                 checks the code page 932 conversion, the
//                                 record codec on the sample question file,
//                                 the settings store on the sample
//                                 Parameter.INI and the file replacement
//                                 rules, in a scratch folder of its own
//                                 (LINK_FOLDER: see checkLink)
//   windows_check --table FILE    writes what the conversion makes of every
//                                 one- and two-byte sequence and of every
//                                 character of the first Unicode plane, for
//                                 comparing one platform's branch with the
//                                 other's
//
// Exit status: 0 when every check passed, 1 when one failed, 2 on a bad
// command line or a scratch folder that could not be made.

#include "core/FileSystem.h"
#include "core/ShiftJis.h"
#include "core/Utf8.h"
#include "questionfile/QuestionFile.h"
#include "questionfile/QuestionFileOps.h"
#include "questionfile/QuestionRecord.h"
#include "settings/ProfileStore.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

int g_passed = 0;
int g_failed = 0;

void check(bool ok, const char* what)
{
    if (ok) {
        ++g_passed;
    } else {
        ++g_failed;
        std::fprintf(stderr, "FAILED: %s\n", what);
    }
}

std::string hex(const std::string& bytes)
{
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X", c);
        out += b;
    }
    return out;
}

// Compares bytes and says both on failure.
void checkBytes(const std::string& got, const std::string& expected, const char* what)
{
    check(got == expected, what);
    if (got != expected)
        std::fprintf(stderr, "  got %s, expected %s\n", hex(got).c_str(), hex(expected).c_str());
}

std::string readAll(const fs::path& path)
{
    std::string bytes;
    fsutil::readFile(path, bytes);
    return bytes;
}

bool writeAll(const fs::path& path, const std::string& bytes)
{
    std::FILE* f = nullptr;
#ifdef _WIN32
    f = _wfopen(path.c_str(), L"wb");
#else
    f = std::fopen(path.c_str(), "wb");
#endif
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::size_t entriesIn(const fs::path& folder)
{
    std::error_code ec;
    std::size_t n = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        ++n;
    return n;
}

// Read-only the portable way: Windows' read-only attribute, POSIX's write
// bits.
void makeReadOnly(const fs::path& path, bool readOnly)
{
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    readOnly ? fs::perm_options::remove : fs::perm_options::add, ec);
}

std::string utf8(char32_t c)
{
    std::string out;
    utf8::append(out, c);
    return out;
}

int writeTable(const char* file)
{
    std::FILE* out = std::fopen(file, "wb");
    if (!out) {
        std::fprintf(stderr, "windows_check: cannot write %s\n", file);
        return 2;
    }
    auto line = [out](char kind, const std::string& in, const std::string& result) {
        std::fprintf(out, "%c %s %s\n", kind, hex(in).c_str(), hex(result).c_str());
    };
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        line('D', one, sjis::toUtf8(one));
        if (!sjis::isLeadByte(static_cast<unsigned char>(b)))
            continue;
        for (int t = 0; t < 256; ++t) {
            const std::string two = one + static_cast<char>(t);
            line('D', two, sjis::toUtf8(two));
        }
    }
    for (char32_t c = 0; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        line('E', utf8(c), sjis::fromUtf8(utf8(c)));
    }
    // Broken UTF-8: a cut sequence, overlong forms, a surrogate, past U+10FFFF.
    for (const char* broken : {"\xE3\x81", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80",
                               "a\xFF" "b", "\xF0\xA0\xAE\xB7"})
        line('E', broken, sjis::fromUtf8(broken));
    return std::fclose(out) == 0 ? 0 : 2;
}

void checkShiftJis()
{
    // Characters of every kind: JIS X 0208, NEC and IBM extensions (each
    // with its one byte sequence Windows writes for it), half-width
    // katakana, a trail byte that is a backslash.
    struct Pair {
        const char* bytes;
        const char* text;
    };
    const Pair pairs[] = {
        {"\x83\x65\x83\x58\x83\x67\x96\xE2\x91\xE8", "テスト問題"},
        {"\x87\x40", "①"},
        {"\x81\xE0", "≒"},      // also at 87 90 among NEC's; Windows writes 81 E0
        {"\xFA\x40", "ⅰ"},      // also at EE EF among NEC's selection of IBM's
        {"\xFB\xFC", "髙"},
        {"\xB1\xB8", "ｱｸ"},
        {"\x95\x5C", "表"},
        {"\x81\x60", "～"},      // FULLWIDTH TILDE, what a Windows user types as 〜
        {"\x80" "a\xA0\xFD\xFE\xFF", "\u0080a\uF8F0\uF8F1\uF8F2\uF8F3"},
    };
    for (const Pair& p : pairs) {
        checkBytes(sjis::toUtf8(p.bytes), p.text, "Shift-JIS to UTF-8");
        checkBytes(sjis::fromUtf8(p.text), p.bytes, "UTF-8 to Shift-JIS");
    }
    // What is no character becomes U+FFFD, byte by byte, and the bytes after
    // it are read again.
    checkBytes(sjis::toUtf8("\x81\x20" "a\x81"), "\uFFFD a\uFFFD", "broken Shift-JIS");
    checkBytes(sjis::toUtf8(std::string("\x82\xA0\0\x82\xA2", 5)), std::string("あ\0い", 7), "zero byte");
    // Characters other platforms' keyboards type land on the bytes of their
    // Windows twins.
    const Pair twins[] = {
        {"\u301C", "\uFF5E"}, {"\u2212", "\uFF0D"}, {"\u2016", "\u2225"}, {"\u00A2", "\uFFE0"}, {"\u00A3", "\uFFE1"},
        {"\u00AC", "\uFFE2"}, {"\u2014", "\u2015"}, {"\u00A6", "\uFFE4"}, {"\u00A5", "\\"},     {"\u203E", "~"},
    };
    for (const Pair& p : twins)
        checkBytes(sjis::fromUtf8(p.bytes), sjis::fromUtf8(p.text), "look-alike on its Windows twin's bytes");
    checkBytes(sjis::fromUtf8("\xF0\xA0\xAE\xB7田é한"), "?\x93\x63??", "characters code page 932 lacks");
    checkBytes(sjis::fromUtf8("x\xC3(y\xE3\x81"), "x?(y?", "broken UTF-8");

#ifdef _WIN32
    // The single bytes that code page 932 keeps without a character of their
    // own read as Windows reads them (without the strict flag, which refuses
    // all but 80) and are written back as Windows writes them.
    for (unsigned char b : {0x80, 0xA0, 0xFD, 0xFE, 0xFF}) {
        const char c = static_cast<char>(b);
        wchar_t w = 0;
        const bool read = MultiByteToWideChar(932, 0, &c, 1, &w, 1) == 1;
        check(read && sjis::toUtf8(std::string(1, c)) == utf8(w), "special single byte read as Windows does");
        char back[2] = {};
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &w, 1, back, 2, nullptr, &usedDefault);
        check(n == 1 && !usedDefault && back[0] == c, "special single byte written as Windows does");
    }
#endif
}

void checkQuestionFile(const fs::path& samples, const fs::path& scratch)
{
    // The bundled sample bank, copied under a Japanese name given as stored
    // Shift-JIS text, as the settings hold it.
    const std::string bank = readAll(samples / "sample0524.txt");
    check(bank.size() == 24 * question::kRecordSize, "sample bank read whole");
    const std::string stored = fsutil::storedName(scratch) + "\\" + sjis::fromUtf8("問題集.txt");
    check(writeAll(fsutil::nativePath(stored), bank), "bank copied under a Japanese name");
    bool named = false;
    for (const auto& entry : fs::directory_iterator(scratch)) {
        const auto name = entry.path().filename().u8string();
        named = named || std::string(name.begin(), name.end()) == "問題集.txt";
    }
    check(named, "stored Shift-JIS name makes the right file name");
    check(question::recordCountOf(stored) == 24, "record count from the file length");

    question::QuestionFile file;
    check(file.open(stored), "question file opens");
    question::QuestionRecord first;
    check(file.readQuestion(1, first), "question 1 read");
    check(first.picture == "001" && first.mark == 'N' && first.correct == 1, "question 1 head and correct answer");
    checkBytes(sjis::toUtf8(first.question), "この国旗はどの国のものですか？", "question 1 text");
    checkBytes(sjis::toUtf8(first.answers[3]), "ベトナム", "question 1 answer 4");

    // Rewriting in place, and appending after a partial record.
    question::QuestionRecord changed = first;
    changed.question = sjis::fromUtf8("書き換えた問題");
    check(file.rewriteQuestion(2, changed, nullptr), "question 2 rewritten");
    file.close();
    std::string expected = bank.substr(0, 500) + question::encodeRecord(changed, nullptr) + bank.substr(1000);
    checkBytes(readAll(fsutil::nativePath(stored)), expected, "only question 2 changed");

    // Deleting a question replaces the file; failing at any step leaves it.
    using question::FaultPoint;
    for (FaultPoint point : {FaultPoint::CreateTemp, FaultPoint::WriteTemp, FaultPoint::SyncTemp, FaultPoint::Rename}) {
        question::setFaultInjector([point](FaultPoint p) { return p == point; });
        check(question::deleteRecord(stored, 0) != question::DeleteResult::Done, "injected fault reported");
        question::setFaultInjector(nullptr);
        check(readAll(fsutil::nativePath(stored)) == expected && entriesIn(scratch) == 1,
              "failed deletion leaves the bank and no temporary file");
    }
    check(question::deleteRecord(stored, 0) == question::DeleteResult::Done, "question 1 deleted");
    expected.erase(0, 500);
    checkBytes(readAll(fsutil::nativePath(stored)), expected, "deletion keeps the others in order");
    check(entriesIn(scratch) == 1, "no temporary file after a deletion");

    // A read-only bank is neither changed nor replaced.
    makeReadOnly(fsutil::nativePath(stored), true);
    check(fsutil::isReadOnly(fsutil::nativePath(stored)), "read-only bank seen as such");
    check(question::deleteRecord(stored, 0) == question::DeleteResult::OpenFailed, "read-only bank: no deletion");
    file.open(stored); // root may open it on POSIX; the rewrite is refused all the same
    check(!file.rewriteQuestion(1, first, nullptr), "read-only bank: no rewrite");
    file.close();
    makeReadOnly(fsutil::nativePath(stored), false);
    check(readAll(fsutil::nativePath(stored)) == expected, "read-only bank unchanged");

    // A new file gets three template records; an existing one is filled up
    // to a whole record first.
    const fs::path fresh = scratch / "new.txt";
    check(question::appendTemplateRecords(fresh) == question::NewFileResult::Done, "new question file made");
    const std::string record = question::templateRecordBytes();
    checkBytes(readAll(fresh), record + record + record, "three template records");
    check(writeAll(fresh, "abc"), "partial record written");
    check(question::appendTemplateRecords(fresh) == question::NewFileResult::Done, "appended after a partial record");
    check(readAll(fresh).size() == 4 * 500 && readAll(fresh).compare(0, 500, "abc" + std::string(497, ' ')) == 0,
          "partial record filled with spaces");
    // A failed write takes back what it wrote: the old length, or no file.
    const std::string before = readAll(fresh);
    question::setFaultInjector([](FaultPoint p) { return p == FaultPoint::WriteNewFile; });
    check(question::appendTemplateRecords(fresh) == question::NewFileResult::WriteFailed &&
              question::appendTemplateRecords(scratch / "none.txt") == question::NewFileResult::WriteFailed,
          "failed new records reported");
    question::setFaultInjector([](FaultPoint p) { return p == FaultPoint::WritePiece; });
    check(file.open(fsutil::storedName(fresh)) && !file.appendQuestion(first, nullptr), "failed append reported");
    file.close();
    question::setFaultInjector(nullptr);
    check(readAll(fresh) == before && !fs::exists(scratch / "none.txt"), "failed writes leave the file as it was");
    check(question::removeQuestionFile(fresh) && !fs::exists(fresh), "question file removed");
    check(!question::removeQuestionFile(scratch), "a folder is never removed");
}

void checkSettings(const fs::path& samples, const fs::path& scratch)
{
    // The sample settings, written on Windows: CR LF, one section a setting.
    const fs::path ini = scratch / "Parameter.INI";
    const std::string original = readAll(samples / "Parameter.INI");
    check(writeAll(ini, original), "settings copied");
    ProfileStore store(ini);
    check(store.GetProfileIntA("LIFE", "1", 0) == 3 && store.GetProfileIntA("TIME_LIMIT", "1", 0) == 20,
          "numbers read");
    check(store.GetProfileStringA("QUESTION", "1") == "sample0524.txt", "question file read");
    check(store.GetProfileIntA("SOUND", "SW", 0) == 1 && store.GetProfileIntA("NONE", "1", 7) == 7, "switch and default");

    const std::string name = sjis::fromUtf8("ﾃｽﾄ\\表計算①.txt");
    check(store.WriteProfileStringA("QUESTION", "1", name), "Japanese question file name written");
    check(store.GetProfileStringA("QUESTION", "1") == name, "name read back byte for byte");
    std::string expected = original;
    expected.replace(expected.find("sample0524.txt"), 14, name);
    checkBytes(readAll(ini), expected, "only that value changed, CR LF kept");
    check(store.WriteProfileInt("NEW", "1", -5) && store.GetProfileIntA("NEW", "1", 0) == -5, "new section added");
    check(entriesIn(scratch) == 1, "no temporary file after writing");

#ifdef _WIN32
    // The file's attributes survive the replacement, as its mode does on
    // POSIX.
    SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_HIDDEN);
    check(store.WriteProfileInt("LIFE", "1", 3) && (GetFileAttributesW(ini.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0,
          "a hidden settings file stays hidden");
    SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif

    // A temporary file that a crash left long ago goes at the next write.
    const fs::path leftover = scratch / "Parameter.INI.tmp-AbC123";
    check(writeAll(leftover, "old"), "leftover made");
    std::error_code ec;
    fs::last_write_time(leftover, fs::file_time_type::clock::now() - std::chrono::hours(1), ec);
    check(store.WriteProfileInt("LIFE", "1", 4) && !fs::exists(leftover), "old leftover removed");

    // A read-only settings file is never replaced.
    const std::string before = readAll(ini);
    makeReadOnly(ini, true);
    check(!store.WriteProfileInt("LIFE", "1", 9), "read-only settings: write refused");
    makeReadOnly(ini, false);
    check(readAll(ini) == before && entriesIn(scratch) == 1, "read-only settings unchanged");

    // A missing file is made; a folder in the way is no file.
    ProfileStore missing(scratch / "made.INI");
    check(missing.WriteProfileStringA("PW", "1", "secret") && missing.GetProfileStringA("PW", "1") == "secret",
          "missing settings file made");
    fs::create_directory(scratch / "folder.INI", ec);
    check(!ProfileStore(scratch / "folder.INI").WriteProfileInt("LIFE", "1", 1), "a folder is not replaced");
}

// Through a symbolic link the file it names is written; the link stays.
// `folder` holds link.INI, a link to real.INI, or the check makes them
// (Windows makes links only with a privilege, Wine not at all: then the
// caller makes them, as the host's links are links under Wine too).
void checkLink(const fs::path& folder)
{
    const fs::path real = folder / "real.INI";
    const fs::path link = folder / "link.INI";
    check(writeAll(real, "[LIFE]\r\n1=3\r\n"), "link target written");
    std::error_code ec;
    if (!fs::exists(link, ec))
        fs::create_symlink(real.filename(), link, ec);
    if (ec || !fs::exists(link, ec)) {
        std::printf("windows_check: no symbolic link here (%s): links not checked\n", ec.message().c_str());
        return;
    }
    check(ProfileStore(link).WriteProfileInt("LIFE", "1", 5), "written through the link");
    check(readAll(real) == "[LIFE]\r\n1=5\r\n", "the file it names got the value");
    // Still a link: writing through it again reaches the same file.
    check(ProfileStore(link).WriteProfileInt("LIFE", "1", 6) && readAll(real) == "[LIFE]\r\n1=6\r\n",
          "the link stays a link");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--table") == 0)
        return writeTable(argv[2]);
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: windows_check SAMPLE_FOLDER [LINK_FOLDER] | windows_check --table FILE\n");
        return 2;
    }
    const fs::path samples = fs::u8path(argv[1]);
    std::error_code ec;
    const fs::path scratch = fs::temp_directory_path(ec) / ("molvane-check-" + std::to_string(
                                 std::chrono::steady_clock::now().time_since_epoch().count()));
    if (ec || !fs::create_directory(scratch, ec)) {
        std::fprintf(stderr, "windows_check: no scratch folder: %s\n", ec.message().c_str());
        return 2;
    }
    checkShiftJis();
    for (const char* part : {"bank", "settings", "link"}) {
        const fs::path folder = scratch / part;
        fs::create_directory(folder, ec);
        if (part == std::string("bank"))
            checkQuestionFile(samples, folder);
        else if (part == std::string("settings"))
            checkSettings(samples, folder);
        else
            checkLink(argc == 3 ? fs::u8path(argv[2]) : folder);
    }
    fs::remove_all(scratch, ec);
    std::printf("windows_check: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
