#pragma once
// Where the program's own files are: the folder of the running executable,
// the data and modules of an installed program, the HTML manual, and "the
// program's folder" that the settings dialog makes current.
//
// A program is installed when the sample data sits where the install rules
// put it, relative to the executable (<prefix>/bin/molvane and
// <prefix>/share/molvane/sample). A program in a build tree or copied into a
// folder of one's own is not installed.

#include <filesystem>
#include <optional>
#include <vector>

namespace programpaths {

// "1.4.0": the version of the program and of its package.
const char* version();

// The folder holding the running executable; empty when the system cannot
// tell. Tests may set another one; an empty path returns to the real one.
std::filesystem::path executableFolder();
void setExecutableFolder(const std::filesystem::path& folder);

// Where the install rules put the data of a program whose executable is in
// exeFolder (<prefix>/share/molvane for <prefix>/bin), whether or not it is
// there.
std::filesystem::path dataFolderOf(const std::filesystem::path& exeFolder);

// <prefix>/share/molvane for a program installed under <prefix>; nothing for
// a program that is not installed.
std::optional<std::filesystem::path> installedDataFolder(const std::filesystem::path& exeFolder);

// The installed sample data (the source of the per-user folder).
std::filesystem::path installedSamples(const std::filesystem::path& dataFolder);

// Where the modules loaded on first use (mail, sounds) are looked for:
// beside the program, then where the install rules put them.
std::vector<std::filesystem::path> moduleFolders(const std::filesystem::path& exeFolder);

// The HTML manual's first page: the one bundled beside the program
// (manual/index.html), else the installed one; nothing when neither is there.
std::optional<std::filesystem::path> htmlManual(const std::filesystem::path& exeFolder);

// The program's folder, where a bare question file name is looked up once
// the settings dialog has been opened: the executable's folder, unless the
// start-up chose another (the per-user folder of an installed program).
std::filesystem::path programFolder();
void setProgramFolder(const std::filesystem::path& folder);

} // namespace programpaths
