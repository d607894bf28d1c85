#include "library/LibraryFile.h"

#include <QFileInfo>

#include <array>
#include <utility>

#include "helpers/Thumbnails.h"

namespace qv::library {

namespace {

constexpr std::array<std::pair<LibraryFileType, const char*>, 12> kRawValues{{
    {LibraryFileType::PPT, "PPT"},   {LibraryFileType::PNG, "PNG"},   {LibraryFileType::JPEG, "JPEG"},
    {LibraryFileType::JPG, "JPG"},   {LibraryFileType::GIF, "GIF"},   {LibraryFileType::PPTX, "PPTX"},
    {LibraryFileType::KEY, "KEY"},   {LibraryFileType::MP4, "MP4"},   {LibraryFileType::MOV, "MOV"},
    {LibraryFileType::PDF, "PDF"},   {LibraryFileType::SVG, "SVG"},   {LibraryFileType::unknown, " "},
}};

// The extensions that make a file its own picture source, in the order they are tried.
constexpr std::array<std::pair<const char*, LibraryFileType>, 8> kPictureExtensions{{
    {"PNG", LibraryFileType::PNG}, {"JPG", LibraryFileType::JPG}, {"GIF", LibraryFileType::GIF},
    {"JPEG", LibraryFileType::JPEG}, {"SVG", LibraryFileType::SVG}, {"MP4", LibraryFileType::MP4},
    {"MOV", LibraryFileType::MOV}, {"PDF", LibraryFileType::PDF},
}};

// The last path component of a url, a folder's trailing "/" left out.
QString lastPathComponent(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) p.chop(1);
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? p : p.mid(slash + 1);
}

// The text after the last "." of a component ("" without one; a leading dot starts no extension).
QString pathExtension(const QString& component) {
    const qsizetype dot = component.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? QString() : component.mid(dot + 1);
}

QString deletingPathExtension(const QString& component) {
    const qsizetype dot = component.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? component : component.left(dot);
}

}  // namespace

QString rawValue(LibraryFileType type) {
    for (const auto& [t, text] : kRawValues)
        if (t == type) return QString::fromLatin1(text);
    return QStringLiteral(" ");
}

std::optional<LibraryFileType> libraryFileTypeFromRawValue(const QString& text) {
    for (const auto& [t, raw] : kRawValues)
        if (text == QLatin1String(raw)) return t;
    return std::nullopt;
}

LibraryFile::LibraryFile() : id(QUuid::createUuid()) {}

void LibraryFile::updateFromURL() {
    if (!url) return;
    const QString path = url->path();
    const QString component = lastPathComponent(path);
    const bool isDirectory = path.endsWith(QLatin1Char('/'));

    name = isDirectory ? component : deletingPathExtension(component);

    const QString extension = pathExtension(component);
    for (const auto& [ext, t] : kPictureExtensions) {
        if (extension.compare(QLatin1String(ext), Qt::CaseInsensitive) == 0) {
            type = t;
            thumbnail = url;
            return;
        }
    }
    if (isDirectory) {
        // A converted presentation: a folder of slide images, the first named after the folder.
        type = LibraryFileType::PPT;
        thumbnail = QUrl::fromLocalFile(localPath(url) + QLatin1Char('/') + component + QStringLiteral(".001.png"));
        return;
    }
    type = LibraryFileType::unknown;
    thumbnail = url;
}

QString LibraryFile::description() const { return name.value_or(QString()); }

LibraryFilePtr makeLibraryFile(const QUrl& url) {
    auto item = std::make_shared<LibraryFile>();
    item->url = url;
    item->updateFromURL();
    return item;
}

QString localPath(const std::optional<QUrl>& url) {
    if (!url) return {};
    QString path = url->toLocalFile();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
    return path;
}

bool attachThumbnail(LibraryFile& item) {
    const QString path = localPath(item.thumbnail);
    if (path.isEmpty() || !QFileInfo::exists(path)) return false;
    std::optional<QImage> image = app::makeThumbnail(path, nullptr);
    if (!image || image->isNull()) return false;
    item.thumbnailImage = std::move(*image);
    return true;
}

void attachGenericPicture(LibraryFile& item) {
    item.thumbnailImage = app::genericThumbnail();
}

}  // namespace qv::library
