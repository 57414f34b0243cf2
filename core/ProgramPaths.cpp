#include "ProgramPaths.h"

#include "InstallLayout.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace programpaths {
namespace {

std::filesystem::path& executableFolderOverride()
{
    static std::filesystem::path folder;
    return folder;
}

std::filesystem::path& programFolderChoice()
{
    static std::filesystem::path folder;
    return folder;
}

std::filesystem::path runningExecutable()
{
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size())
        return {};
    buffer.resize(n);
    return std::filesystem::path(buffer);
#else
    std::error_code ec;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : path;
#endif
}

bool isFolder(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

bool isFile(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

} // namespace

const char* version()
{
    return MOLVANE_VERSION;
}

std::filesystem::path executableFolder()
{
    if (!executableFolderOverride().empty())
        return executableFolderOverride();
    static const std::filesystem::path folder = runningExecutable().parent_path();
    return folder;
}

void setExecutableFolder(const std::filesystem::path& folder)
{
    executableFolderOverride() = folder;
}

std::filesystem::path dataFolderOf(const std::filesystem::path& exeFolder)
{
    return (exeFolder / MOLVANE_DATA_FROM_BIN).lexically_normal();
}

std::optional<std::filesystem::path> installedDataFolder(const std::filesystem::path& exeFolder)
{
    if (exeFolder.empty())
        return std::nullopt;
    const std::filesystem::path data = dataFolderOf(exeFolder);
    if (!isFolder(installedSamples(data)))
        return std::nullopt;
    return data;
}

std::filesystem::path installedSamples(const std::filesystem::path& dataFolder)
{
    return dataFolder / "sample";
}

std::vector<std::filesystem::path> moduleFolders(const std::filesystem::path& exeFolder)
{
    if (exeFolder.empty())
        return {};
    return {exeFolder, (exeFolder / MOLVANE_MODULES_FROM_BIN).lexically_normal()};
}

std::optional<std::filesystem::path> htmlManual(const std::filesystem::path& exeFolder)
{
    if (exeFolder.empty())
        return std::nullopt;
    const std::filesystem::path bundled = exeFolder / "manual" / "index.html";
    if (isFile(bundled))
        return bundled;
    const std::filesystem::path installed = dataFolderOf(exeFolder) / "manual" / "index.html";
    if (isFile(installed))
        return installed;
    return std::nullopt;
}

std::filesystem::path programFolder()
{
    if (!programFolderChoice().empty())
        return programFolderChoice();
    return executableFolder();
}

void setProgramFolder(const std::filesystem::path& folder)
{
    programFolderChoice() = folder;
}

} // namespace programpaths
