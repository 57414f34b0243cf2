#pragma once
// File helpers shared by the file formats: native paths from stored
// Shift-JIS names, whole-file reads and crash-safe replacement.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

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

#ifndef _WIN32
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
// untouched and no temporary file is left.
ReplaceResult replaceFile(const std::filesystem::path& path, const std::function<bool(int fd)>& write,
                          const ReplaceOptions& options = {});

// Writes all of `size` bytes to a file descriptor, going on after signals.
bool writeAll(int fd, const char* data, std::size_t size);

// Flushes a file's folder, so that a rename or a new file in it is on disk.
void syncFolderOf(const std::filesystem::path& file);
#endif

// replaceFile with the given bytes; false on any failure.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool ownerOnly = false);

} // namespace fsutil
