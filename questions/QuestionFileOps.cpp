#include "QuestionFileOps.h"

#include "QuestionRecord.h"
#include "core/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace question {

namespace {

FaultInjector& injector()
{
    static FaultInjector f;
    return f;
}

bool injected(FaultPoint point)
{
    return injector() && injector()(point);
}

// Copying moves this many bytes at a time.
constexpr std::size_t kCopyBlock = 1 << 20;
// Copied bytes are sent on to the disk in pieces of this size.
constexpr off_t kSyncChunk = 4 << 20;

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

// Reads exactly `size` bytes at `offset`; false on an error or a short file.
bool readExactly(int fd, char* data, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, offset);
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

// Copies bytes [from, to) of `in` to the end of `out`: inside the kernel
// where the system can, else through the buffer.
bool copyRange(int in, int out, off_t from, off_t to, std::vector<char>& buffer)
{
    if (injected(FaultPoint::WriteTemp))
        return false;
#ifdef __linux__
    while (from < to) {
        loff_t at = from;
        const std::size_t chunk = static_cast<std::size_t>(std::min<off_t>(to - from, kSyncChunk));
        const ssize_t n = ::copy_file_range(in, &at, out, nullptr, chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // not supported here, or the file ended early: the loop below tells
        // Start writing the copy to disk while the rest is copied, so that
        // the final flush has little left to wait for.
        const off_t written = ::lseek(out, 0, SEEK_CUR);
        if (written > 0)
            ::sync_file_range(out, written - n, n, SYNC_FILE_RANGE_WRITE);
        from += n;
    }
#endif
    while (from < to) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<off_t>(to - from, static_cast<off_t>(buffer.size())));
        if (!readExactly(in, buffer.data(), chunk, from))
            return false;
        if (!writeAll(out, buffer.data(), chunk))
            return false;
        from += static_cast<off_t>(chunk);
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

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }
    bool close()
    {
        if (m_fd < 0)
            return true;
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0;
    }

private:
    int m_fd;
};

} // namespace

std::string temporaryNameOf(const std::string& storedName)
{
    return storedName + "_new";
}

void setFaultInjector(FaultInjector f)
{
    injector() = std::move(f);
}

DeleteResult deleteRecord(const std::string& storedName, int index)
{
    if (storedName.empty())
        return DeleteResult::OpenFailed;
    std::filesystem::path target = fsutil::nativePath(storedName);
    std::filesystem::path temp = fsutil::nativePath(temporaryNameOf(storedName));
    std::error_code ec;
    // A link keeps pointing at the bank: the copy replaces the file it names.
    if (std::filesystem::is_symlink(target, ec)) {
        const auto resolved = std::filesystem::canonical(target, ec);
        if (!ec) {
            target = resolved;
            temp = target;
            temp += "_new";
        }
    }

    struct stat st {};
    if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return DeleteResult::OpenFailed;
    FileDescriptor in(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (!in.ok())
        return DeleteResult::OpenFailed;

    const off_t length = ::lseek(in.get(), 0, SEEK_END);
    if (length < 0)
        return DeleteResult::CopyFailed;
    const off_t count = length / kRecordSize;
    if (index < 0 || index >= count)
        return DeleteResult::CopyFailed;

    // A temporary file left over from an interrupted deletion is replaced
    // by a fresh one: only the records copied now go into it.
    if (::unlink(temp.c_str()) != 0 && errno != ENOENT)
        return DeleteResult::TempFailed;
    if (injected(FaultPoint::CreateTemp))
        return DeleteResult::TempFailed;
    FileDescriptor out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.ok())
        return DeleteResult::TempFailed;

    auto discard = [&](DeleteResult result) {
        out.close();
        ::unlink(temp.c_str());
        return result;
    };

    // The copy gets the question file's permissions.
    if (::fchmod(out.get(), st.st_mode & 07777) != 0)
        return discard(DeleteResult::CopyFailed);

    std::vector<char> buffer(kCopyBlock);
    const off_t cut = static_cast<off_t>(index) * kRecordSize;
    if (!copyRange(in.get(), out.get(), 0, cut, buffer) ||
        !copyRange(in.get(), out.get(), cut + kRecordSize, count * kRecordSize, buffer))
        return discard(DeleteResult::CopyFailed);
    if (injected(FaultPoint::SyncTemp) || ::fdatasync(out.get()) != 0)
        return discard(DeleteResult::CopyFailed);
    if (!out.close()) {
        ::unlink(temp.c_str());
        return DeleteResult::CopyFailed;
    }
    in.close();

    if (injected(FaultPoint::Rename) || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return DeleteResult::ReplaceFailed;
    }
    syncFolderOf(target);
    return DeleteResult::Done;
}

NewFileResult appendTemplateRecords(const std::filesystem::path& path)
{
    struct stat st {};
    const bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed && !S_ISREG(st.st_mode))
        return NewFileResult::OpenFailed;
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.ok())
        return NewFileResult::OpenFailed;

    const off_t oldLength = ::lseek(fd.get(), 0, SEEK_END);
    if (oldLength < 0)
        return NewFileResult::WriteFailed;

    std::string bytes;
    const off_t partial = oldLength % kRecordSize;
    if (partial != 0)
        bytes.assign(static_cast<std::size_t>(kRecordSize - partial), ' ');
    const std::string record = templateRecordBytes();
    for (int i = 0; i < 3; ++i)
        bytes += record;

    bool ok = !injected(FaultPoint::WriteNewFile) && writeAll(fd.get(), bytes.data(), bytes.size());
    ok = ok && ::fsync(fd.get()) == 0;
    if (!ok) {
        // Nothing half-written stays behind.
        if (existed) {
            if (::ftruncate(fd.get(), oldLength) == 0)
                ::fsync(fd.get());
            fd.close();
        } else {
            fd.close();
            ::unlink(path.c_str());
        }
        return NewFileResult::WriteFailed;
    }
    if (!fd.close())
        return NewFileResult::WriteFailed;
    if (!existed)
        syncFolderOf(path);
    return NewFileResult::Done;
}

bool isConfiguredFile(const std::filesystem::path& chosen, const std::string& configuredStored)
{
    if (configuredStored.empty())
        return false;
    if (fsutil::storedName(chosen) == configuredStored)
        return true;
    const std::filesystem::path configured = fsutil::nativePath(configuredStored);
    std::error_code ec;
    if (std::filesystem::equivalent(chosen, configured, ec) && !ec)
        return true;
    ec.clear();
    const auto a = std::filesystem::weakly_canonical(std::filesystem::absolute(chosen, ec), ec);
    if (ec)
        return false;
    const auto b = std::filesystem::weakly_canonical(std::filesystem::absolute(configured, ec), ec);
    if (ec)
        return false;
    return a == b;
}

bool isReadMeFile(const std::filesystem::path& chosen)
{
    std::string name = chosen.filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name == "ReadMe";
}

bool removeQuestionFile(const std::filesystem::path& chosen)
{
    struct stat st {};
    if (::lstat(chosen.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlink(chosen.c_str()) == 0;
}

} // namespace question
