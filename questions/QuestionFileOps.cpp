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

constexpr const char* kTemporarySuffix = "_new";

// Copying moves this many bytes at a time.
constexpr std::size_t kCopyBlock = 1 << 20;
// Copied bytes are sent on to the disk in pieces of this size.
constexpr off_t kSyncChunk = 4 << 20;

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
        if (!fsutil::writeAll(out, buffer.data(), chunk))
            return false;
        from += static_cast<off_t>(chunk);
    }
    return true;
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
    return storedName + kTemporarySuffix;
}

void setFaultInjector(FaultInjector f)
{
    injector() = std::move(f);
}

bool faultInjected(FaultPoint point)
{
    return injected(point);
}

DeleteResult deleteRecord(const std::string& storedName, int index)
{
    if (storedName.empty())
        return DeleteResult::OpenFailed;
    const std::filesystem::path path = fsutil::nativePath(storedName);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return DeleteResult::OpenFailed;
    FileDescriptor in(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!in.ok())
        return DeleteResult::OpenFailed;

    const off_t length = ::lseek(in.get(), 0, SEEK_END);
    if (length < 0)
        return DeleteResult::CopyFailed;
    // The file as it is now decides, not what the editor saw when it opened.
    const off_t count = length / kRecordSize;
    if (index < 0 || index >= count)
        return DeleteResult::NoSuchRecord;
    if (count <= 1)
        return DeleteResult::LastRecord;

    fsutil::ReplaceOptions options;
    // A temporary file left over from an interrupted deletion is replaced by
    // a fresh one: only the records copied now go into it.
    options.fixedSuffix = kTemporarySuffix;
    options.failAt = [](fsutil::ReplaceStep step) {
        switch (step) {
        case fsutil::ReplaceStep::CreateTemp:
            return injected(FaultPoint::CreateTemp);
        case fsutil::ReplaceStep::SyncTemp:
            return injected(FaultPoint::SyncTemp);
        case fsutil::ReplaceStep::Rename:
            return injected(FaultPoint::Rename);
        }
        return false;
    };
    std::vector<char> buffer(kCopyBlock);
    const off_t cut = static_cast<off_t>(index) * kRecordSize;
    auto copy = [&](int out) {
        return copyRange(in.get(), out, 0, cut, buffer) &&
               copyRange(in.get(), out, cut + kRecordSize, count * kRecordSize, buffer);
    };
    switch (fsutil::replaceFile(path, copy, options)) {
    case fsutil::ReplaceResult::Done:
        return DeleteResult::Done;
    case fsutil::ReplaceResult::ReadOnly:
    case fsutil::ReplaceResult::NotAFile:
        return DeleteResult::OpenFailed;
    case fsutil::ReplaceResult::TempFailed:
        return DeleteResult::TempFailed;
    case fsutil::ReplaceResult::WriteFailed:
        return DeleteResult::CopyFailed;
    case fsutil::ReplaceResult::RenameFailed:
        break;
    }
    return DeleteResult::ReplaceFailed;
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

    bool ok = !injected(FaultPoint::WriteNewFile) && fsutil::writeAll(fd.get(), bytes.data(), bytes.size());
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
        fsutil::syncFolderOf(path);
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
