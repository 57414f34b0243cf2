#pragma once
// File helpers shared by the file formats: native paths from stored
// Shift-JIS names, whole-file reads and crash-safe replacement, and the few
// operations on open files that the formats need. Every call into the
// operating system's file interface is made here, with a POSIX branch and a
// Windows branch, so the code above works the same on both.
//
// Open files are file descriptors: the system's own on POSIX, the C
// runtime's (over a Windows handle) on Windows.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace fsutil {

// The path a stored Shift-JIS file name names on this machine. On systems
// whose file names are UTF-8 the name is converted, and backslashes (folder
// separators in names written on Windows) become slashes.
std::filesystem::path nativePath(std::string_view cp932);

// A native path back as Shift-JIS text, with the platform's separators.
std::string storedName(const std::filesystem::path& path);

// Reads a whole file. Returns false when it cannot be opened or read.
bool readFile(const std::filesystem::path& path, std::string& out);

// The file a path finally names: symbolic links are followed one by one
// (relative ones from the link's folder), even when the last one names no
// file yet. A path that is no link comes back unchanged.
std::filesystem::path linkTarget(const std::filesystem::path& path);

// True when this process must not change the file: it exists and either
// the system refuses this process write access, or no one at all has write
// permission on it. The second rule holds for root too, so a file an
// administrator made read-only stays so, as a read-only attribute does.
bool isReadOnly(const std::filesystem::path& path);

// How replaceFile ended.
enum class ReplaceResult {
    Done,
    ReadOnly,     // the file is read-only for this process (isReadOnly)
    NotAFile,     // a folder or some other thing that is no plain file
    TempFailed,   // the temporary file could not be created
    WriteFailed,  // writing the temporary file, or flushing it to disk, failed
    RenameFailed, // the temporary file could not take the file's place
};

// The steps of replaceFile at which tests can make it fail.
enum class ReplaceStep { CreateTemp, SyncTemp, Rename };

struct ReplaceOptions {
    // Empty: the temporary file gets a fresh name, the file's name followed by
    // ".tmp-" and six characters, and temporary files of that pattern that an
    // earlier crash left (unchanged for ten minutes) are removed first.
    // Otherwise the temporary file is the file's name followed by this suffix;
    // a file of that name left over is replaced.
    std::string fixedSuffix;
    // A file that does not exist yet is created readable by its owner only.
    bool ownerOnly = false;
    // Returns true to make the step fail. Empty: nothing fails.
    std::function<bool(ReplaceStep)> failAt;
    // Flushes the written temporary file to disk before it takes the file's
    // place; returns 0 or -1 as fdatasync does. Empty: fdatasync. Tests put
    // a recorder here.
    std::function<int(int fd)> flush;
};

// Writes a file anew so that a crash or a full disk never leaves it torn: the
// content goes to a temporary file beside the file (beside the file a link
// names; the link stays), which is flushed to disk, given the old file's
// owner, group and mode (owner and group as far as the system allows) and
// then renamed over it. Until then the temporary file is readable by its
// owner only. `write` writes the content to the open temporary file and
// returns false when that fails. On any result but Done the old file is
// untouched and no temporary file is left. On Windows the copy takes the old
// file's access list and its hidden and system attributes instead (Windows
// files have no group and no mode), and a read-only attribute is read-only.
ReplaceResult replaceFile(const std::filesystem::path& path, const std::function<bool(int fd)>& write,
                          const ReplaceOptions& options = {});

// Writes all of `size` bytes to a file descriptor, going on after signals.
bool writeAll(int fd, const char* data, std::size_t size);

// Flushes a file's folder, so that a rename or a new file in it is on disk.
// (Windows has no such flush: there a rename is written through and a new
// file's entry goes to disk with the file.)
void syncFolderOf(const std::filesystem::path& file);

// Opens an existing file for reading and writing; -1 when it cannot. On
// Windows others may still read, write, rename and delete it meanwhile, as
// on POSIX.
int openForUpdate(const std::filesystem::path& path);

// Opens a file for writing, creating it (0644 less the umask) when it is
// missing and never truncating it; -1 when it cannot.
int openOrCreate(const std::filesystem::path& path);

// Closes an open file; false when the system reports a failure, such as a
// write that did not reach the file.
bool closeFile(int fd);

// Moves to the end of an open file and returns its length; -1 on failure.
std::int64_t seekToEnd(int fd);

// Reads exactly `size` bytes at `offset`, whatever the file position; false
// on an error or when the file ends first.
bool readAt(int fd, char* data, std::size_t size, std::int64_t offset);

// Appends bytes [from, to) of `in` at the position of `out`: inside the
// kernel where the system can, else through `buffer` (not empty).
bool copyRange(int in, int out, std::int64_t from, std::int64_t to, std::vector<char>& buffer);

// Flushes a file's content, and what is needed to find it, to disk.
bool syncFile(int fd);

// Cuts a file (or fills it with zero bytes) to `length` bytes.
bool truncateFile(int fd, std::int64_t length);

// Removes a file or a link, never a folder; false when nothing was removed.
// A file with Windows' read-only attribute is not removed there.
bool removeFile(const std::filesystem::path& path);

// An open file that is closed when it goes out of scope.
class FileHandle {
public:
    explicit FileHandle(int fd = -1) : m_fd(fd) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }
    bool close()
    {
        if (m_fd < 0)
            return true;
        const bool closed = closeFile(m_fd);
        m_fd = -1;
        return closed;
    }

private:
    int m_fd;
};

// replaceFile with the given bytes; false on any failure.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool ownerOnly = false);

} // namespace fsutil
