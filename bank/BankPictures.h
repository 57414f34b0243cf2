#pragma once
// Question pictures as a bank keeps them: NNN.bmp in the folder 256bitmap
// beside the question file, shown at 212 x 150 pixels.
//
// An import brings pictures in from files or from bytes embedded in the file
// it reads: each becomes a 212 x 150 bitmap under a number of its own. A
// picture keeps the number its name gives ("005.png" wants 005) when that
// number is free or already holds the same bitmap; otherwise it gets the
// lowest free number. A bitmap that the folder already holds under any number
// is not stored twice.

#include "BankQuestion.h"

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace bank {

constexpr int kPictureWidth = 212;
constexpr int kPictureHeight = 150;

enum class PictureState { Ok, Missing, NotBitmap, WrongSize };

// Whether a picture file is what the test run shows: a readable bitmap of
// 212 x 150 pixels. `size` gets the size found ("640x480").
PictureState checkPicture(const std::filesystem::path& file, std::string* size = nullptr);

enum class ConvertResult { Ok, Unreadable, TooLarge };

// Image bytes of any format Qt reads, as a 212 x 150 bitmap: scaled to fit
// with the aspect ratio kept, centred on white. A bitmap that already has
// that size is kept byte for byte.
ConvertResult toBankBitmap(const std::string& image, std::string& bitmap);

class PictureImporter {
public:
    // pictureFolder: the bank's 256bitmap. sourceFolder: where picture numbers
    // and relative names are looked for first (--pictures); inputFolder: the
    // folder of the file being read, where relative names are looked for
    // next.
    PictureImporter(std::filesystem::path pictureFolder, std::optional<std::filesystem::path> sourceFolder,
                    std::filesystem::path inputFolder);

    // The three-digit picture number of a question (see the class comment):
    // "000" for none. False, with the problem, when the picture cannot be had.
    bool resolve(const ParsedQuestion& q, std::string& number, Problem& problem);

    // Writes the pictures that are new, each atomically, creating the folder
    // when needed. On failure removes what it wrote and names the file.
    bool commit(std::string& failedFile);
    // Removes the files commit() wrote (the bank could not be written).
    void rollback();

    // The pictures brought in: number and where it came from.
    const std::vector<std::pair<std::string, std::string>>& added() const { return m_added; }

private:
    bool bringIn(const std::string& key, const std::string& bytes, const std::string& preferred, int line,
                 const std::string& what, std::string& number, Problem& problem);
    bool existsInFolder(const std::string& number) const;
    const std::string* existingBytes(const std::string& number);
    void hashFolder();

    std::filesystem::path m_folder;
    std::optional<std::filesystem::path> m_source;
    std::filesystem::path m_input;
    std::set<std::string> m_present;          // NNN of files in the folder
    std::map<std::string, std::string> m_byKey;   // source key -> number
    std::map<std::string, std::string> m_pending; // number -> bitmap still to write
    std::map<std::size_t, std::vector<std::string>> m_byHash; // bitmap hash -> numbers holding it
    std::map<std::string, std::string> m_existing; // number -> bytes of a file read back
    bool m_hashed = false;
    std::vector<std::pair<std::string, std::string>> m_added;
    std::vector<std::filesystem::path> m_written;
    bool m_createdFolder = false;
};

} // namespace bank
