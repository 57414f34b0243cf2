#pragma once
// The settings store: one value of an initialisation file read or written per
// call. Sections begin with "[name]" lines, entries are "name=value" lines,
// text is Shift-JIS. Nothing is cached: every call reads the file afresh.

#include <filesystem>
#include <string>

class ProfileStore {
public:
    explicit ProfileStore(std::filesystem::path path = {});

    void setPath(std::filesystem::path path) { m_path = std::move(path); }
    const std::filesystem::path& path() const { return m_path; }

    // The entry's text, or def when the file, section or entry is missing.
    std::string GetProfileStringA(const std::string& section, const std::string& entry,
                                  const std::string& def = std::string()) const;

    // The decimal number at the start of the entry's value, or def when the
    // entry is missing or empty. A value that starts with no number reads as
    // 0; one beyond the 32-bit range is held at the nearer end of it.
    int GetProfileIntA(const std::string& section, const std::string& entry, int def) const;

    // Stores the text in place of the old value; a missing entry goes to the
    // end of its section, a missing section to the end of the file, a missing
    // file is created. The file is replaced atomically. Returns false when the
    // file could not be written (the old file is then left as it was).
    bool WriteProfileStringA(const std::string& section, const std::string& entry, const std::string& value);
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value);

private:
    std::filesystem::path m_path;
};

// Parsing of the file's text, exposed for tests.
namespace ini {
// Finds the value of section/entry in text. Returns false when missing.
bool findValue(const std::string& text, const std::string& section, const std::string& entry, std::string& value);
// Returns text with section/entry set to value.
std::string setValue(const std::string& text, const std::string& section, const std::string& entry,
                     const std::string& value);
// Parses a stored integer the way the readers do.
int parseInt(const std::string& value);
} // namespace ini
