#pragma once
// The application: fixes the settings file as Parameter.INI in its working
// folder, then runs the main window modally; the program ends when the main
// window closes.
//
// The working folder is the directory the program was started in, as it has
// always been, unless the program is installed (see core/ProgramPaths.h):
// then it is the user's own folder ~/Molvane, filled from the installed
// samples at the first start, and that folder is also "the program's folder"
// that the settings dialog makes current.

#include <filesystem>
#include <optional>

// What the start-up decision is made from.
struct StartPlace {
    std::filesystem::path workingDirectory;
    std::filesystem::path executableFolder;
    std::optional<std::filesystem::path> installedData; // set for an installed program
    std::filesystem::path home;

    static StartPlace ofThisProcess();
};

class CTestApp {
public:
    // Decides the working folder for this process and points the settings
    // store at its Parameter.INI. Nothing is created or changed yet.
    CTestApp();
    explicit CTestApp(const StartPlace& place);

    // For an installed program: makes the per-user folder (filling it from
    // the samples when it has no settings file yet) and makes it current.
    // Problems are reported in message boxes; false when the program cannot
    // work at all. Does nothing for a program that is not installed.
    bool PrepareWorkFolder();

    // Runs the main window, returns when it closes.
    bool InitInstance();

    const std::filesystem::path& profilePath() const { return m_profilePath; }
    // The per-user folder, for an installed program.
    const std::optional<std::filesystem::path>& userFolder() const { return m_userFolder; }

private:
    StartPlace m_place;
    std::filesystem::path m_profilePath;
    std::optional<std::filesystem::path> m_userFolder;
};

// Installs the toolkit's Japanese texts (standard buttons, file dialogs, the
// edit menus of text fields): the embedded copy where there is one, else the
// one installed with the toolkit. False when neither is found.
bool installToolkitTranslations();

// The profile path for a working directory: the directory, a separator and
// "Parameter.INI", whatever the directory ends with.
std::filesystem::path profilePathFor(const std::filesystem::path& workingDirectory);
