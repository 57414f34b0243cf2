#include "BankPictures.h"

#include "core/FileSystem.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <functional>

namespace bank {

namespace {

constexpr int kMaxImageSide = 8192;
constexpr std::uintmax_t kMaxImageFileBytes = 16 * 1024 * 1024;

QString qpath(const std::filesystem::path& p)
{
    return QString::fromStdString(p.string());
}

bool isDigits(std::string_view s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// "5" -> "005"; empty when s is no number of one to three digits.
std::string threeDigits(std::string_view s)
{
    if (!isDigits(s) || s.size() > 3)
        return {};
    return std::string(3 - s.size(), '0') + std::string(s);
}

std::string pictureName(const std::string& number)
{
    return number + ".bmp";
}

std::string trimmed(std::string_view s)
{
    const std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    const std::size_t e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

} // namespace

PictureState checkPicture(const std::filesystem::path& file, std::string* size)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return PictureState::Missing;
    QImageReader reader(qpath(file), "bmp");
    reader.setDecideFormatFromContent(false);
    const QSize s = reader.size();
    if (!s.isValid() || s.width() > kMaxImageSide || s.height() > kMaxImageSide)
        return PictureState::NotBitmap;
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return PictureState::NotBitmap;
    if (size)
        *size = std::to_string(s.width()) + "x" + std::to_string(s.height());
    if (s.width() != kPictureWidth || s.height() != kPictureHeight)
        return PictureState::WrongSize;
    return PictureState::Ok;
}

ConvertResult toBankBitmap(const std::string& image, std::string& bitmap)
{
    QByteArray data = QByteArray::fromRawData(image.data(), static_cast<qsizetype>(image.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid())
        return ConvertResult::Unreadable;
    if (size.width() > kMaxImageSide || size.height() > kMaxImageSide)
        return ConvertResult::TooLarge;
    const QByteArray format = reader.format();
    QImage source;
    if (!reader.read(&source) || source.isNull())
        return ConvertResult::Unreadable;
    if (format == "bmp" && source.width() == kPictureWidth && source.height() == kPictureHeight) {
        bitmap = image;
        return ConvertResult::Ok;
    }

    // Scaled to fit, centred, on white; transparency blended with the white.
    const QImage scaled = source.convertToFormat(QImage::Format_ARGB32)
                              .scaled(kPictureWidth, kPictureHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage canvas(kPictureWidth, kPictureHeight, QImage::Format_RGB888);
    canvas.fill(Qt::white);
    const int left = (kPictureWidth - scaled.width()) / 2;
    const int top = (kPictureHeight - scaled.height()) / 2;
    for (int y = 0; y < scaled.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(scaled.constScanLine(y));
        uchar* out = canvas.scanLine(top + y) + 3 * left;
        for (int x = 0; x < scaled.width(); ++x) {
            const int a = qAlpha(in[x]);
            const auto blend = [a](int c) { return static_cast<uchar>((c * a + 255 * (255 - a) + 127) / 255); };
            out[3 * x] = blend(qRed(in[x]));
            out[3 * x + 1] = blend(qGreen(in[x]));
            out[3 * x + 2] = blend(qBlue(in[x]));
        }
    }
    QByteArray written;
    QBuffer target(&written);
    target.open(QIODevice::WriteOnly);
    QImageWriter writer(&target, "bmp");
    if (!writer.write(canvas))
        return ConvertResult::Unreadable;
    bitmap.assign(written.constData(), static_cast<std::size_t>(written.size()));
    return ConvertResult::Ok;
}

PictureImporter::PictureImporter(std::filesystem::path pictureFolder, std::optional<std::filesystem::path> sourceFolder,
                                 std::filesystem::path inputFolder)
    : m_folder(std::move(pictureFolder)), m_source(std::move(sourceFolder)), m_input(std::move(inputFolder))
{
    std::error_code ec;
    for (std::filesystem::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() == 7 && name.substr(3) == ".bmp" && isDigits(name.substr(0, 3)))
            m_present.insert(name.substr(0, 3));
    }
    // The picture shown between tests comes along when the bank's folder has none.
    if (m_source && !m_present.count("000")) {
        std::string bytes;
        const std::filesystem::path waiting = *m_source / pictureName("000");
        if (checkPicture(waiting) != PictureState::Missing && fsutil::readFile(waiting, bytes)) {
            m_pending["000"] = bytes;
            m_added.emplace_back("000", waiting.string());
        }
    }
}

bool PictureImporter::existsInFolder(const std::string& number) const
{
    return m_present.count(number) > 0;
}

const std::string* PictureImporter::existingBytes(const std::string& number)
{
    auto it = m_existing.find(number);
    if (it == m_existing.end()) {
        std::string bytes;
        fsutil::readFile(m_folder / pictureName(number), bytes);
        it = m_existing.emplace(number, std::move(bytes)).first;
    }
    return &it->second;
}

void PictureImporter::hashFolder()
{
    if (m_hashed)
        return;
    m_hashed = true;
    for (const std::string& n : m_present) {
        if (n == "000")
            continue;
        m_byHash[std::hash<std::string>()(*existingBytes(n))].push_back(n);
    }
}

bool PictureImporter::bringIn(const std::string& key, const std::string& bytes, const std::string& preferred, int line,
                              const std::string& what, std::string& number, Problem& problem)
{
    if (!key.empty()) {
        const auto known = m_byKey.find(key);
        if (known != m_byKey.end()) {
            number = known->second;
            return true;
        }
    }
    std::string bitmap;
    switch (toBankBitmap(bytes, bitmap)) {
    case ConvertResult::Ok:
        break;
    case ConvertResult::Unreadable:
        problem = Problem{line, Problem::Kind::PictureUnreadable, what, false};
        return false;
    case ConvertResult::TooLarge:
        problem = Problem{line, Problem::Kind::PictureTooLarge, what, false};
        return false;
    }
    hashFolder();
    const std::size_t hash = std::hash<std::string>()(bitmap);
    for (const std::string& n : m_byHash[hash]) {
        const auto pending = m_pending.find(n);
        const std::string& held = pending != m_pending.end() ? pending->second : *existingBytes(n);
        if (held == bitmap) {
            number = n;
            if (!key.empty())
                m_byKey[key] = n;
            return true;
        }
    }
    const auto free = [&](const std::string& n) { return n != "000" && !existsInFolder(n) && !m_pending.count(n); };
    number.clear();
    if (!preferred.empty() && free(preferred)) {
        number = preferred;
    } else {
        for (int i = 1; i <= 999 && number.empty(); ++i) {
            const std::string n = threeDigits(std::to_string(i));
            if (free(n))
                number = n;
        }
    }
    if (number.empty()) {
        problem = Problem{line, Problem::Kind::PicturesFull, what, false};
        return false;
    }
    m_pending[number] = std::move(bitmap);
    m_byHash[hash].push_back(number);
    m_added.emplace_back(number, what);
    if (!key.empty())
        m_byKey[key] = number;
    return true;
}

bool PictureImporter::resolve(const ParsedQuestion& q, std::string& number, Problem& problem)
{
    const int line = q.pictureLine > 0 ? q.pictureLine : q.line;
    if (!q.embeddedData.empty()) {
        const std::string stem = std::filesystem::path(q.embeddedName).stem().string();
        return bringIn({}, q.embeddedData, threeDigits(stem), line, q.embeddedName, number, problem);
    }
    std::string spec = trimmed(q.picture);
    if (spec.empty() || spec.find_first_not_of('0') == std::string::npos) {
        number = "000";
        return true;
    }
    if (isDigits(spec)) {
        number = threeDigits(spec);
        if (number.empty()) {
            problem = Problem{line, Problem::Kind::BadPictureNumber, spec, false};
            return false;
        }
        if (m_source) {
            const std::filesystem::path file = *m_source / pictureName(number);
            std::string bytes;
            std::error_code ec;
            if (std::filesystem::is_regular_file(file, ec)) {
                if (std::filesystem::file_size(file, ec) > kMaxImageFileBytes) {
                    problem = Problem{line, Problem::Kind::PictureTooLarge, file.string(), false};
                    return false;
                }
                if (!fsutil::readFile(file, bytes)) {
                    problem = Problem{line, Problem::Kind::PictureUnreadable, file.string(), false};
                    return false;
                }
                const std::string wanted = number;
                return bringIn(std::filesystem::weakly_canonical(file, ec).string(), bytes, wanted, line,
                               file.string(), number, problem);
            }
        }
        if (existsInFolder(number))
            return true;
        problem = Problem{line, Problem::Kind::PictureMissing, (m_folder / pictureName(number)).string(), false};
        return false;
    }
    // A file name, written on Windows perhaps.
    for (char& c : spec)
        if (c == '\\')
            c = '/';
    if (spec.find("://") != std::string::npos) {
        problem = Problem{line, Problem::Kind::PictureMissing, spec, false};
        return false;
    }
    std::filesystem::path file(spec);
    std::error_code ec;
    if (file.is_relative()) {
        // In the picture folder given first, then beside the file read.
        const std::filesystem::path named = file;
        file = m_input / named;
        if (m_source && std::filesystem::is_regular_file(*m_source / named, ec))
            file = *m_source / named;
    }
    if (!std::filesystem::is_regular_file(file, ec)) {
        problem = Problem{line, Problem::Kind::PictureMissing, file.string(), false};
        return false;
    }
    if (std::filesystem::file_size(file, ec) > kMaxImageFileBytes) {
        problem = Problem{line, Problem::Kind::PictureTooLarge, file.string(), false};
        return false;
    }
    std::string bytes;
    if (!fsutil::readFile(file, bytes)) {
        problem = Problem{line, Problem::Kind::PictureUnreadable, file.string(), false};
        return false;
    }
    return bringIn(std::filesystem::weakly_canonical(file, ec).string(), bytes, threeDigits(file.stem().string()), line,
                   file.string(), number, problem);
}

bool PictureImporter::commit(std::string& failedFile)
{
    if (m_pending.empty())
        return true;
    std::error_code ec;
    if (!std::filesystem::is_directory(m_folder, ec)) {
        if (!std::filesystem::create_directories(m_folder, ec)) {
            failedFile = m_folder.string();
            return false;
        }
        m_createdFolder = true;
    }
    for (const auto& [number, bytes] : m_pending) {
        const std::filesystem::path file = m_folder / pictureName(number);
        // Never replace a picture that appeared meanwhile.
        if (std::filesystem::exists(std::filesystem::symlink_status(file, ec)) ||
            !fsutil::writeFileAtomically(file, bytes)) {
            failedFile = file.string();
            rollback();
            return false;
        }
        m_written.push_back(file);
    }
    return true;
}

void PictureImporter::rollback()
{
    std::error_code ec;
    for (const auto& file : m_written)
        std::filesystem::remove(file, ec);
    m_written.clear();
    if (m_createdFolder)
        std::filesystem::remove(m_folder, ec); // only when empty
    m_createdFolder = false;
}

} // namespace bank
