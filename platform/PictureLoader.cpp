#include "PictureLoader.h"

#include "core/FileSystem.h"

#include <QImage>
#include <QImageReader>
#include <QString>

namespace PictureLoader {

QPixmap load(const std::string& storedPath)
{
    const QString path = QString::fromStdString(fsutil::nativePath(storedPath).string());
    QImageReader reader(path, "bmp");
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    // A picture file is a small bitmap; a header claiming a giant image is
    // not read at all.
    if (!size.isValid() || size.width() > 8192 || size.height() > 8192)
        return QPixmap();
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return QPixmap();
    return QPixmap::fromImage(image.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

} // namespace PictureLoader
