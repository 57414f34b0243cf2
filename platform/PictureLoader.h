#pragma once
// Loads a question picture: a bitmap file, scaled to 212 x 150 pixels.

#include <QPixmap>
#include <string>

namespace PictureLoader {

constexpr int kWidth = 212;
constexpr int kHeight = 150;

// The picture at a stored (Shift-JIS) path, or a null pixmap when the file is
// missing, not a bitmap, or too large to be a picture.
QPixmap load(const std::string& storedPath);

} // namespace PictureLoader
