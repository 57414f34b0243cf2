#pragma once
// The application: fixes the settings file as Parameter.INI in the working
// directory of the moment it is created, then runs the main window modally;
// the program ends when the main window closes.

#include <filesystem>

class CTestApp {
public:
    // Captures the working directory and points the settings store at
    // <working directory>/Parameter.INI.
    CTestApp();

    // Loads the Japanese translations of the toolkit's own texts (standard
    // buttons, file dialogs), runs the main window, returns when it closes.
    bool InitInstance();

    const std::filesystem::path& profilePath() const { return m_profilePath; }

private:
    std::filesystem::path m_profilePath;
};

// The profile path for a working directory: the directory, a separator and
// "Parameter.INI", whatever the directory ends with.
std::filesystem::path profilePathFor(const std::filesystem::path& workingDirectory);
