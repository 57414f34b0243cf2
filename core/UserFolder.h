#pragma once
// The per-user folder of an installed program: "Molvane" in the home folder,
// where the settings file, the question files and the pictures of one user
// live. The first start fills it from the installed sample data; from then on
// it belongs to the user and is never filled again.

#include <filesystem>
#include <system_error>
#include <vector>

namespace userfolder {

// The user's home folder: $HOME, else the account's entry; empty when
// neither is known.
std::filesystem::path homeFolder();

// "Molvane" in the given home folder.
std::filesystem::path perUserFolder(const std::filesystem::path& home);

// The file whose presence marks a filled folder. It is copied last, so a
// first start that was cut short is finished by the next one.
inline constexpr const char* kSettingsFile = "Parameter.INI";

// True while the folder lacks its settings file.
bool needsFilling(const std::filesystem::path& folder);

struct FillReport {
    bool folderMade = true;                      // false: the folder itself could not be made
    std::vector<std::filesystem::path> copied;   // relative to the folder
    std::vector<std::filesystem::path> failed;   // relative to the folder
    std::error_code error;                       // the first failure
};

// Copies into `folder` every file of `samples` (with its subfolders) that the
// folder lacks, making the folder (owner-only) when it does not exist yet.
// Nothing already there is replaced or changed, whatever it holds; each copy
// appears whole under its name or not at all. The settings file comes last
// and is readable by its owner only, since it will hold the mail password.
FillReport fill(const std::filesystem::path& samples, const std::filesystem::path& folder);

} // namespace userfolder
