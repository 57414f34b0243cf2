#include "UserFolder.h"

#include "FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace userfolder {
namespace {

namespace fs = std::filesystem;

// Whether something (a file, a folder, a link, even a dangling one) has the
// name. When the system cannot tell, the name counts as taken, so nothing is
// written there.
bool present(const fs::path& path)
{
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec)
        return ec != std::errc::no_such_file_or_directory;
    return status.type() != fs::file_type::not_found;
}

#ifndef _WIN32
mode_t currentUmask()
{
    // Read without changing it: set, then put it back at once (start-up runs
    // on one thread).
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

// Writes `bytes` to a new file beside `target` and then gives it the target's
// name only if that name is still free: link() never replaces anything.
std::error_code createWhole(const fs::path& target, const std::string& bytes, mode_t mode)
{
    std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return {errno, std::generic_category()};
    std::error_code result;
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            result.assign(errno, std::generic_category());
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (!result && fchmod(fd, mode) != 0)
        result.assign(errno, std::generic_category());
    if (!result && fsync(fd) != 0)
        result.assign(errno, std::generic_category());
    if (close(fd) != 0 && !result)
        result.assign(errno, std::generic_category());
    if (!result && link(temp.c_str(), target.c_str()) != 0)
        result.assign(errno, std::generic_category());
    unlink(temp.c_str());
    return result;
}
#endif

// Copies one file unless something of that name is there already. Returns
// the error, if any; `copied` tells whether a file was made.
std::error_code copyIfAbsent(const fs::path& from, const fs::path& to, bool ownerOnly, bool& copied)
{
    copied = false;
    std::string bytes;
    if (!fsutil::readFile(from, bytes))
        return std::make_error_code(std::errc::io_error);
#ifdef _WIN32
    (void)ownerOnly;
    std::error_code result;
    fs::copy_file(from, to, fs::copy_options::none, result);
#else
    std::error_code ec;
    const fs::perms sourcePerms = fs::status(from, ec).permissions();
    mode_t mode = ownerOnly ? 0600 : static_cast<mode_t>(sourcePerms & fs::perms::mask);
    mode &= ~currentUmask();
    mode |= S_IRUSR | S_IWUSR;
    const std::error_code result = createWhole(to, bytes, mode);
#endif
    // Whatever has the name already stays as it is; that is no failure, even
    // where the folder could not have been written.
    if (result && present(to))
        return {};
    copied = !result;
    return result;
}

} // namespace

fs::path homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home);
#ifdef _WIN32
    if (const char* profile = std::getenv("USERPROFILE"); profile && *profile)
        return fs::path(profile);
#else
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && *entry->pw_dir)
        return fs::path(entry->pw_dir);
#endif
    return {};
}

fs::path perUserFolder(const fs::path& home)
{
    return home / "Molvane";
}

bool needsFilling(const fs::path& folder)
{
    return !present(folder / kSettingsFile);
}

FillReport fill(const fs::path& samples, const fs::path& folder)
{
    FillReport report;
    auto fail = [&report](const fs::path& relative, std::error_code ec) {
        report.failed.push_back(relative);
        if (!report.error)
            report.error = ec ? ec : std::make_error_code(std::errc::io_error);
    };

    std::error_code ec;
    if (!present(folder)) {
        fs::create_directories(folder, ec);
#ifndef _WIN32
        if (!ec)
            fs::permissions(folder, fs::perms::owner_all, ec);
#endif
        if (ec) {
            report.folderMade = false;
            fail(fs::path("."), ec);
            return report;
        }
    }

    // Every sample, folders before what they hold, the settings file last.
    std::vector<fs::path> entries;
    for (fs::recursive_directory_iterator it(samples, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path().lexically_relative(samples));
    if (ec) {
        fail(fs::path("."), ec);
        return report;
    }
    std::sort(entries.begin(), entries.end());
    const auto settings = std::find(entries.begin(), entries.end(), fs::path(kSettingsFile));
    if (settings != entries.end())
        std::rotate(settings, settings + 1, entries.end());

    std::vector<fs::path> failedFolders;
    for (const fs::path& relative : entries) {
        // What lies in a folder that could not be made is not listed again.
        const bool inFailedFolder = std::any_of(failedFolders.begin(), failedFolders.end(), [&](const fs::path& f) {
            return relative.parent_path().string().rfind(f.string(), 0) == 0;
        });
        if (inFailedFolder)
            continue;
        const fs::path from = samples / relative;
        const fs::path to = folder / relative;
        std::error_code statError;
        if (fs::is_directory(from, statError)) {
            if (present(to))
                continue;
            std::error_code made;
            fs::create_directory(to, made);
            if (made) {
                fail(relative, made);
                failedFolders.push_back(relative);
            }
            continue;
        }
        bool copied = false;
        const std::error_code copyError = copyIfAbsent(from, to, relative == fs::path(kSettingsFile), copied);
        if (copyError)
            fail(relative, copyError);
        else if (copied)
            report.copied.push_back(relative);
    }
    return report;
}

} // namespace userfolder
