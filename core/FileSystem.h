#pragma once
// File helpers shared by the file formats: native paths from stored
// Shift-JIS names, whole-file reads and crash-safe replacement.

#include <filesystem>
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

// Replaces (or creates) a file with the given bytes so that a crash or a full
// disk never leaves it torn: the bytes go to a temporary file beside it,
// which is flushed to disk and then renamed over the target. On failure the
// old file is untouched and false is returned. A file this creates is readable
// by its owner only when ownerOnly is set; an existing file keeps its mode.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool ownerOnly = false);

} // namespace fsutil
