#include "FileSystem.h"

#include "ShiftJis.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

#ifndef _WIN32
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
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

bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool ownerOnly)
{
    ReplaceOptions options;
    options.ownerOnly = ownerOnly;
    return replaceFile(
               path, [bytes](int fd) { return writeAll(fd, bytes.data(), bytes.size()); }, options) ==
           ReplaceResult::Done;
}
#else
bool isReadOnly(const std::filesystem::path& path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status))
        return false;
    return (status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
}

bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool)
{
    const std::filesystem::path target = linkTarget(path);
    if (isReadOnly(target))
        return false;
    std::filesystem::path tmp = target;
    tmp += L".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ec;
            std::filesystem::remove(tmp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, target, ec);
    if (ec) {
        std::filesystem::remove(tmp, ec);
        return false;
    }
    return true;
}
#endif

} // namespace fsutil
