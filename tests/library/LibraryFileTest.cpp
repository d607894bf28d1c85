#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "library/LibraryFile.h"

using namespace qv::library;

namespace {

struct TypeCase {
    const char* url;  // a folder ends with "/"
    LibraryFileType type;
    const char* name;
    const char* thumbnail;  // "" means: the url itself
};

const TypeCase kTypeCases[] = {
    {"/s/clip.mov", LibraryFileType::MOV, "clip", ""},
    {"/s/scan.jpeg", LibraryFileType::JPEG, "scan", ""},
    {"/s/Photo.JPG", LibraryFileType::JPG, "Photo", ""},
    {"/s/PHOTO.Png", LibraryFileType::PNG, "PHOTO", ""},
    {"/s/anim.gif", LibraryFileType::GIF, "anim", ""},
    {"/s/shape.svg", LibraryFileType::SVG, "shape", ""},
    {"/s/movie.MP4", LibraryFileType::MP4, "movie", ""},
    {"/s/paper.pdf", LibraryFileType::PDF, "paper", ""},
    {"/s/notes.txt", LibraryFileType::unknown, "notes", ""},
    {"/s/README", LibraryFileType::unknown, "README", ""},
    {"/s/a.tar.gz", LibraryFileType::unknown, "a.tar", ""},
    {"/s/talk.pptx", LibraryFileType::unknown, "talk", ""},
    {"/s/talk.key", LibraryFileType::unknown, "talk", ""},
    {"/s/Lesson/", LibraryFileType::PPT, "Lesson", "/s/Lesson/Lesson.001.png"},
    {"/s/Lesson.key/", LibraryFileType::PPT, "Lesson.key", "/s/Lesson.key/Lesson.key.001.png"},
    {"/s/My Slides/", LibraryFileType::PPT, "My Slides", "/s/My Slides/My Slides.001.png"},
    // The extension test comes first: such a folder is its own picture source.
    {"/s/pics.png/", LibraryFileType::PNG, "pics.png", ""},
};

TEST(LibraryFile, TypeNameAndThumbnailFollowTheUrl) {
    for (const TypeCase& c : kTypeCases) {
        SCOPED_TRACE(c.url);
        QString path = QString::fromUtf8(c.url);
        QUrl url = QUrl::fromLocalFile(path);
        ASSERT_EQ(url.path().endsWith('/'), path.endsWith('/'));
        LibraryFilePtr item = makeLibraryFile(url);
        EXPECT_EQ(item->type, c.type);
        ASSERT_TRUE(item->name);
        EXPECT_EQ(*item->name, QString::fromUtf8(c.name));
        EXPECT_EQ(item->description(), QString::fromUtf8(c.name));
        ASSERT_TRUE(item->thumbnail);
        const QUrl expected = *c.thumbnail ? QUrl::fromLocalFile(QString::fromUtf8(c.thumbnail)) : url;
        EXPECT_EQ(*item->thumbnail, expected);
        EXPECT_NE(item->type, LibraryFileType::PPTX);
        EXPECT_NE(item->type, LibraryFileType::KEY);
    }
}

TEST(LibraryFile, UpdateLeavesIdentityPictureAndFavoriteAlone) {
    LibraryFile item;
    const QUuid id = item.id;
    item.url = QUrl::fromLocalFile("/s/one.png");
    item.json = QJsonValue(QStringLiteral("entry"));
    item.thumbnailImage = QImage(4, 4, QImage::Format_RGB32);
    item.isFavorited = true;
    item.updateFromURL();
    EXPECT_EQ(item.id, id);
    EXPECT_EQ(*item.url, QUrl::fromLocalFile("/s/one.png"));
    EXPECT_EQ(item.json->toString(), QStringLiteral("entry"));
    EXPECT_TRUE(item.thumbnailImage);
    EXPECT_TRUE(item.isFavorited);
}

TEST(LibraryFile, FreshItemHoldsTheInitialValues) {
    LibraryFile a, b;
    EXPECT_NE(a.id, b.id);
    EXPECT_FALSE(a.id.isNull());
    EXPECT_FALSE(a.url || a.thumbnail || a.name || a.json || a.thumbnailImage);
    EXPECT_EQ(a.type, LibraryFileType::PNG);
    EXPECT_FALSE(a.isFavorited);
}

TEST(LibraryFileType, RawValuesRoundTripAndMatchCase) {
    const std::pair<LibraryFileType, const char*> all[] = {
        {LibraryFileType::PPT, "PPT"}, {LibraryFileType::PNG, "PNG"},   {LibraryFileType::JPEG, "JPEG"},
        {LibraryFileType::JPG, "JPG"}, {LibraryFileType::GIF, "GIF"},   {LibraryFileType::PPTX, "PPTX"},
        {LibraryFileType::KEY, "KEY"}, {LibraryFileType::MP4, "MP4"},   {LibraryFileType::MOV, "MOV"},
        {LibraryFileType::PDF, "PDF"}, {LibraryFileType::SVG, "SVG"},   {LibraryFileType::unknown, " "},
    };
    for (const auto& [type, raw] : all) {
        SCOPED_TRACE(raw);
        EXPECT_EQ(rawValue(type), QString::fromLatin1(raw));
        EXPECT_EQ(libraryFileTypeFromRawValue(QString::fromLatin1(raw)), type);
    }
    for (const char* text : {"png", "Png", "", "  ", "PNG ", "jpeg"})
        EXPECT_FALSE(libraryFileTypeFromRawValue(QString::fromLatin1(text))) << '"' << text << '"';
}

TEST(LibraryFile, ItemsForTheSameFileAreDistinct) {
    const QUrl url = QUrl::fromLocalFile("/s/same.png");
    LibraryFilePtr a = makeLibraryFile(url), b = makeLibraryFile(url);
    EXPECT_FALSE(*a == *b);
    EXPECT_TRUE(*a == *a);
    std::vector<LibraryFilePtr> list{a, b};
    auto it = std::find_if(list.begin(), list.end(), [&](const LibraryFilePtr& x) { return *x == *a; });
    list.erase(it);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], b);
}

}  // namespace
