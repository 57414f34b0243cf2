#include "FileSystem.h"

#include "ShiftJis.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

#ifndef _WIN32
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <climits>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>
#endif

namespace fsutil {

std::filesystem::path nativePath(std::string_view cp932)
{
#ifdef _WIN32
    std::string utf8 = sjis::toUtf8(cp932);
    return std::filesystem::u8path(utf8);
#else
    std::string utf8 = sjis::toUtf8(cp932);
    for (char& c : utf8) {
        if (c == '\\')
            c = '/';
    }
    return std::filesystem::path(utf8);
#endif
}

std::string storedName(const std::filesystem::path& path)
{
#ifdef _WIN32
    const auto u8 = path.u8string();
    return sjis::fromUtf8(std::string(u8.begin(), u8.end()));
#else
    return sjis::fromUtf8(path.string());
#endif
}

bool readFile(const std::filesystem::path& path, std::string& out)
{
    out.clear();
    // C stdio, not a stream: a stream sets up the C++ locale machinery, which
    // costs the program's start more memory than the whole read.
#ifdef _WIN32
    std::FILE* in = _wfopen(path.c_str(), L"rb");
#else
    std::FILE* in = std::fopen(path.c_str(), "rb");
#endif
    if (!in)
        return false;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        out.append(buffer, n);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    return !failed;
}

#ifndef _WIN32
std::filesystem::path linkTarget(const std::filesystem::path& path)
{
    std::filesystem::path current = path;
    // As many hops as the system itself follows before it gives up.
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, ec)))
            return current;
        std::filesystem::path next = std::filesystem::read_symlink(current, ec);
        if (ec)
            return current;
        if (next.is_relative())
            next = current.parent_path() / next;
        current = std::move(next);
    }
    return current;
}
#else
std::filesystem::path linkTarget(const std::filesystem::path& path)
{
    // Windows follows every link (symbolic links and junctions, and the
    // host's links under Wine, which shows them as plain files) of a file
    // that exists and names the file it reached. A link to nothing is taken
    // as the file itself.
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return path;
    const HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return path;
    std::wstring name(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    if (n == 0 || n >= name.size())
        return path;
    name.resize(n);
    return std::filesystem::path(name); // "\\?\C:\..." works wherever a path does
}
#endif

#ifndef _WIN32
bool isReadOnly(const std::filesystem::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false; // nothing there yet: it may be created
    if ((st.st_mode & 0222) == 0)
        return true;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void syncFolderOf(const std::filesystem::path& file)
{
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

namespace {

constexpr const char* kTempInfix = ".tmp-";
constexpr std::size_t kTempRandomLength = 6; // the XXXXXX of mkstemp
// A temporary file unchanged for this long belongs to no write in progress:
// writing one takes milliseconds, and the margin covers the clocks of a
// shared folder's server and its clients disagreeing.
constexpr time_t kLeftoverAge = 10 * 60;

// Removes temporary files of the target's name pattern that a crash left.
void removeLeftovers(const std::filesystem::path& target)
{
    const std::string prefix = target.filename().string() + kTempInfix;
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec)
        return;
    const time_t now = ::time(nullptr);
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec)
            return;
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + kTempRandomLength || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (now - st.st_mtime >= kLeftoverAge)
            ::unlink(it->path().c_str());
    }
}

} // namespace

ReplaceResult replaceFile(const std::filesystem::path& path, const std::function<bool(int fd)>& write,
                          const ReplaceOptions& options)
{
    auto fails = [&options](ReplaceStep step) { return options.failAt && options.failAt(step); };

    // Through a link the file it names is replaced; the link stays.
    const std::filesystem::path target = linkTarget(path);
    struct stat existing {};
    bool exists = false;
    if (::lstat(target.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode))
            return ReplaceResult::NotAFile; // a folder, or links going round in circles
        exists = true;
    }
    if (exists && isReadOnly(target))
        return ReplaceResult::ReadOnly;

    std::string temp = target.string();
    int fd = -1;
    if (options.fixedSuffix.empty()) {
        removeLeftovers(target);
        temp += kTempInfix;
        temp += std::string(kTempRandomLength, 'X');
        if (!fails(ReplaceStep::CreateTemp))
            fd = ::mkstemp(temp.data()); // created readable by its owner only
    } else {
        temp += options.fixedSuffix;
        if (::unlink(temp.c_str()) != 0 && errno != ENOENT)
            return ReplaceResult::TempFailed;
        if (!fails(ReplaceStep::CreateTemp))
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    if (fd < 0)
        return ReplaceResult::TempFailed;

    auto discard = [&temp, &fd](ReplaceResult result) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.c_str());
        return result;
    };

    if (!write(fd))
        return discard(ReplaceResult::WriteFailed);
    if (fails(ReplaceStep::SyncTemp) || (options.flush ? options.flush(fd) : ::fdatasync(fd)) != 0)
        return discard(ReplaceResult::WriteFailed);

    // Only now, with the content on disk, does the copy get the old file's
    // owner, group and mode. The owner first: changing it clears set-id bits.
    mode_t mode = options.ownerOnly ? 0600 : 0644;
    if (exists) {
        // Only root may give a file away; a member of the group may still
        // hand the group on.
        const bool handedOn = ::fchown(fd, existing.st_uid, existing.st_gid) == 0 ||
                              ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) == 0;
        (void)handedOn; // else the copy keeps this process's owner and group
        mode = existing.st_mode & 07777;
    }
    if (::fchmod(fd, mode) != 0)
        return discard(ReplaceResult::WriteFailed);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return discard(ReplaceResult::WriteFailed);

    if (fails(ReplaceStep::Rename) || ::rename(temp.c_str(), target.c_str()) != 0)
        return discard(ReplaceResult::RenameFailed);
    syncFolderOf(target);
    return ReplaceResult::Done;
}

int openForUpdate(const std::filesystem::path& path)
{
    return ::open(path.c_str(), O_RDWR | O_CLOEXEC);
}

int openOrCreate(const std::filesystem::path& path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
}

bool closeFile(int fd)
{
    return ::close(fd) == 0;
}

std::int64_t seekToEnd(int fd)
{
    return ::lseek(fd, 0, SEEK_END);
}

bool readAt(int fd, char* data, std::size_t size, std::int64_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

namespace {
// Copied bytes are sent on to the disk in pieces of this size.
constexpr off_t kSyncChunk = 4 << 20;
} // namespace

// Copies what it can of bytes [from, to) without bringing them into this
// process; returns where it got to.

static std::int64_t copyInKernel(int in, int out, std::int64_t from, std::int64_t to)
{
#ifdef __linux__
    while (from < to) {
        loff_t at = from;
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(to - from, kSyncChunk));
        const ssize_t n = ::copy_file_range(in, &at, out, nullptr, chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // not supported here, or the file ended early: copyRange's loop tells
        // Start writing the copy to disk while the rest is copied, so that
        // the final flush has little left to wait for.
        const off_t written = ::lseek(out, 0, SEEK_CUR);
        if (written > 0)
            ::sync_file_range(out, written - n, n, SYNC_FILE_RANGE_WRITE);
        from += n;
    }
#else
    (void)in;
    (void)out;
    (void)to;
#endif
    return from;
}

bool syncFile(int fd)
{
    return ::fsync(fd) == 0;
}

bool truncateFile(int fd, std::int64_t length)
{
    return ::ftruncate(fd, static_cast<off_t>(length)) == 0;
}

bool removeFile(const std::filesystem::path& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlink(path.c_str()) == 0;
}
#else
// Windows: the C runtime's file descriptors over handles opened here, so
// that others may go on reading, renaming and deleting a file this process
// has open (as on POSIX), and files that may hold the password are made
// for their owner only.
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE handleOf(int fd)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// A descriptor that owns the handle from now on; -1 (the handle closed)
// when there is none.
int descriptorOf(HANDLE handle, int flags)
{
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0)
        CloseHandle(handle);
    return fd;
}

// The security of a new file: for its owner only (with the system and the
// administrators, who may take any file on Windows), or what the folder
// hands on.
class NewFileSecurity {
public:
    explicit NewFileSecurity(bool ownerOnly)
    {
        m_attributes.nLength = sizeof m_attributes;
        m_attributes.bInheritHandle = FALSE;
        if (ownerOnly)
            m_ok = ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;OW)(A;;FA;;;SY)(A;;FA;;;BA)",
                                                                        SDDL_REVISION_1, &m_descriptor, nullptr);
        m_attributes.lpSecurityDescriptor = m_descriptor;
    }
    ~NewFileSecurity()
    {
        if (m_descriptor)
            LocalFree(m_descriptor);
    }
    NewFileSecurity(const NewFileSecurity&) = delete;
    NewFileSecurity& operator=(const NewFileSecurity&) = delete;
    // False when owner-only security could not be made: then no file is.
    bool ok() const { return m_ok; }
    SECURITY_ATTRIBUTES* attributes() { return &m_attributes; }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes{};
    bool m_ok = true;
};

constexpr const wchar_t* kTempInfix = L".tmp-";
constexpr std::size_t kTempRandomLength = 6;
// As on POSIX: a temporary file unchanged for ten minutes (in the 100 ns
// units of file times) belongs to no write in progress.
constexpr unsigned long long kLeftoverAge = 10ULL * 60 * 10000000;

unsigned long long asNumber(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Six letters or digits that no other process makes at the same moment.
std::wstring randomSuffix()
{
    static const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local unsigned long long state = 0;
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    state = state * 6364136223846793005ULL + 1442695040888963407ULL +
            (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) + GetCurrentThreadId() +
            static_cast<unsigned long long>(counter.QuadPart);
    unsigned long long bits = state ^ (state >> 29);
    std::wstring out;
    for (std::size_t i = 0; i < kTempRandomLength; ++i) {
        out += kLetters[bits % 62];
        bits /= 62;
    }
    return out;
}

// Removes temporary files of the target's name pattern that a crash left.
void removeLeftovers(const std::filesystem::path& target)
{
    const std::wstring prefix = target.filename().wstring() + kTempInfix;
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec)
        return;
    FILETIME nowTime{};
    GetSystemTimeAsFileTime(&nowTime);
    const unsigned long long now = asNumber(nowTime);
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec)
            return;
        const std::wstring name = it->path().filename().wstring();
        if (name.size() != prefix.size() + kTempRandomLength || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(it->path().c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
            continue;
        if (now >= asNumber(data.ftLastWriteTime) && now - asNumber(data.ftLastWriteTime) >= kLeftoverAge)
            DeleteFileW(it->path().c_str());
    }
}

} // namespace

bool isReadOnly(const std::filesystem::path& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false; // nothing there yet: it may be created
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return false; // the attribute means nothing on a folder
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return true;
    // Whether the file's access list lets this process write: opening it for
    // writing, without truncating or changing it, tells.
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(handle);
    return false;
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX / 2));
        const int n = _write(fd, data, chunk);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void syncFolderOf(const std::filesystem::path&) {}

ReplaceResult replaceFile(const std::filesystem::path& path, const std::function<bool(int fd)>& write,
                          const ReplaceOptions& options)
{
    auto fails = [&options](ReplaceStep step) { return options.failAt && options.failAt(step); };

    const std::filesystem::path target = linkTarget(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ReplaceResult::NotAFile;
    if (exists && isReadOnly(target))
        return ReplaceResult::ReadOnly;

    // The copy is its owner's only while it is written; replacing the file
    // then gives it the old file's access list. A new file keeps the copy's:
    // the owner's only when asked, else what the folder hands on.
    NewFileSecurity security(exists || options.ownerOnly);
    if (!security.ok())
        return ReplaceResult::TempFailed;
    std::wstring temp;
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (!fails(ReplaceStep::CreateTemp)) {
        if (options.fixedSuffix.empty()) {
            removeLeftovers(target);
            for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
                temp = target.wstring() + kTempInfix + randomSuffix();
                handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, security.attributes(), CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
                if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
                    break;
            }
        } else {
            temp = target.native() + std::filesystem::path(options.fixedSuffix).native();
            if (!DeleteFileW(temp.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
                return ReplaceResult::TempFailed;
            handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, security.attributes(), CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        }
    }
    int fd = descriptorOf(handle, _O_WRONLY);
    if (fd < 0)
        return ReplaceResult::TempFailed;

    auto discard = [&temp, &fd](ReplaceResult result) {
        if (fd >= 0)
            _close(fd);
        DeleteFileW(temp.c_str());
        return result;
    };

    if (!write(fd))
        return discard(ReplaceResult::WriteFailed);
    if (fails(ReplaceStep::SyncTemp) || !FlushFileBuffers(handleOf(fd)))
        return discard(ReplaceResult::WriteFailed);
    const int closed = _close(fd);
    fd = -1;
    if (closed != 0)
        return discard(ReplaceResult::WriteFailed);

    // The attributes that say how the file is shown stay with it, as the
    // mode does on POSIX (replacing keeps the access list, not these).
    constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (exists && (attributes & kKeptAttributes) != 0 &&
        !SetFileAttributesW(temp.c_str(), attributes & kKeptAttributes))
        return discard(ReplaceResult::WriteFailed);

    if (fails(ReplaceStep::Rename))
        return discard(ReplaceResult::RenameFailed);
    if (!exists) {
        // Without MOVEFILE_REPLACE_EXISTING: a file that appeared meanwhile
        // is not replaced.
        if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return discard(ReplaceResult::RenameFailed);
        return ReplaceResult::Done;
    }
    // ReplaceFile keeps what Windows keeps of a file across such a swap: its
    // access list, attributes, creation time and short name.
    if (ReplaceFileW(target.c_str(), temp.c_str(), nullptr, 0, nullptr, nullptr))
        return ReplaceResult::Done;
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        // The old file is gone and the new content is still under the
        // temporary name: it must not be lost now.
        if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return ReplaceResult::Done;
        return ReplaceResult::RenameFailed;
    }
    return discard(ReplaceResult::RenameFailed);
}

int openForUpdate(const std::filesystem::path& path)
{
    return descriptorOf(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr),
                        _O_RDWR);
}

int openOrCreate(const std::filesystem::path& path)
{
    return descriptorOf(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr),
                        _O_WRONLY);
}

bool closeFile(int fd)
{
    return _close(fd) == 0;
}

std::int64_t seekToEnd(int fd)
{
    return _lseeki64(fd, 0, SEEK_END);
}

bool readAt(int fd, char* data, std::size_t size, std::int64_t offset)
{
    const HANDLE handle = handleOf(fd);
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(static_cast<unsigned long long>(offset) & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(offset) >> 32);
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!ReadFile(handle, data, chunk, &n, &at) || n == 0)
            return false;
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

static std::int64_t copyInKernel(int, int, std::int64_t from, std::int64_t)
{
    return from;
}

bool syncFile(int fd)
{
    return FlushFileBuffers(handleOf(fd)) != 0;
}

bool truncateFile(int fd, std::int64_t length)
{
    return _chsize_s(fd, length) == 0;
}

bool removeFile(const std::filesystem::path& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return DeleteFileW(path.c_str()) != 0;
}
#endif

bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool ownerOnly)
{
    ReplaceOptions options;
    options.ownerOnly = ownerOnly;
    return replaceFile(
               path, [bytes](int fd) { return writeAll(fd, bytes.data(), bytes.size()); }, options) ==
           ReplaceResult::Done;
}

bool copyRange(int in, int out, std::int64_t from, std::int64_t to, std::vector<char>& buffer)
{
    from = copyInKernel(in, out, from, to);
    while (from < to) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::int64_t>(to - from, static_cast<std::int64_t>(buffer.size())));
        if (!readAt(in, buffer.data(), chunk, from) || !writeAll(out, buffer.data(), chunk))
            return false;
        from += static_cast<std::int64_t>(chunk);
    }
    return true;
}

} // namespace fsutil
