#include "FileSystem.h"

#include "ShiftJis.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

#ifndef _WIN32
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

#ifndef _WIN32
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool ownerOnly)
{
    struct stat existing {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return false;

    std::string tmpl = path.string() + ".tmp-XXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return false;

    bool ok = true;
    const mode_t mode = exists ? (existing.st_mode & 07777) : (ownerOnly ? 0600 : 0644);
    if (::fchmod(fd, mode) != 0)
        ok = false;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok) {
        ::unlink(tmpl.c_str());
        return false;
    }
    // Make the rename itself durable.
    const std::string folder = path.has_parent_path() ? path.parent_path().string() : std::string(".");
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}
#else
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool)
{
    std::filesystem::path tmp = path;
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
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::filesystem::remove(tmp, ec);
        return false;
    }
    return true;
}
#endif

} // namespace fsutil
