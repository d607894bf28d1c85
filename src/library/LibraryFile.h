#pragma once
// The one record for every file the media library shows: a snapshot or movie of the archive
// list, a frame of the GIF maker, a file of the file library, a template. Items are shared by
// reference (LibraryFilePtr): a change made through one list is seen by every list holding it.
//
// Threads: an item may be created and filled on a worker, then handed to the main thread as a
// whole (a queued call); from then on only the main thread reads or writes it.
#include <QImage>
#include <QJsonValue>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

namespace qv::library {

// The kind of a file, from its extension. The raw value is also the label a cell prints.
enum class LibraryFileType { PPT, PNG, JPEG, JPG, GIF, PPTX, KEY, MP4, MOV, PDF, SVG, unknown };

// "PPT", "PNG", ... and " " (one blank) for unknown.
QString rawValue(LibraryFileType type);
// The case whose raw value is exactly `text` (case matters), or none.
std::optional<LibraryFileType> libraryFileTypeFromRawValue(const QString& text);

class LibraryFile {
public:
    LibraryFile();

    const QUuid id;                      // fresh per item, never changes
    std::optional<QUrl> url;             // the file or folder (a folder's path ends with "/")
    std::optional<QUrl> thumbnail;       // the file the item's picture is made from
    std::optional<QString> name;         // shown under the picture
    LibraryFileType type = LibraryFileType::PNG;
    std::optional<QJsonValue> json;      // a template's entry of "templates.json"
    std::optional<QImage> thumbnailImage;  // the decoded picture; lists show a picture only with one
    bool isFavorited = false;

    // Derives name, type and thumbnail from url (which must be set): see LibraryFile.cpp.
    void updateFromURL();
    // The item's text form: its name (empty without one).
    QString description() const;

    // Two items are equal exactly when their ids are.
    bool operator==(const LibraryFile& other) const { return id == other.id; }
};

using LibraryFilePtr = std::shared_ptr<LibraryFile>;

// A new item for `url` with updateFromURL() applied.
LibraryFilePtr makeLibraryFile(const QUrl& url);

// The file-system path of an item's url or thumbnail (a folder keeps no trailing slash).
QString localPath(const std::optional<QUrl>& url);

// Reads the item's picture from the file at its thumbnail address (256 x 144 at the most) on the
// calling thread, a worker's: false, with the picture left as it was, when there is none.
bool attachThumbnail(LibraryFile& item);
// Gives the item a plain picture of a page, for a file whose own picture cannot be read: the
// lists then show it with a name and a delete button like any other. Any thread.
void attachGenericPicture(LibraryFile& item);

}  // namespace qv::library
