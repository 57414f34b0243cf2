#pragma once
// Where a question's picture lies: NNN.bmp in the folder "256bitmap" inside
// the question file's folder. A bare question file name has no folder part,
// so its pictures are looked for in "256bitmap" of the current folder.

#include <string>

namespace question {

// Stored (Shift-JIS) path of picture number (three bytes) for a question file.
std::string picturePath(const std::string& questionFile, const std::string& pictureNumber);

} // namespace question
