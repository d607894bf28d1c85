// The bookmark popover's list as the teacher meets it: rows drawn from the list with their
// pictures read as they come on screen, the close mark under a real pointer path, names drawn as
// the text they are, and the popover's measures, read from the pixels it draws.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <memory>

#include "state/AppState.h"
#include "support/QtWait.h"
#include "webpanels/BookmarkListInput.h"
#include "webpanels/BookmarkListView.h"
#include "webpanels/BookmarkPictures.h"
#include "webpanels/Bookmarks.h"
#include "webpanels/BrowserBookmarkView.h"

using namespace qv::webpanels;
using qv::test::waitUntil;

namespace {

// A save folder of its own, set as the program's while the test runs.
struct BookmarkFolder {
    QTemporaryDir root;
    QString folder;
    BookmarkFolder() {
        auto folders = std::make_shared<qv::app::FolderLocations>(qv::app::FolderLocations::forSaveFolder(root.path()));
        folder = folders->bookmarkFolderURL;
        EXPECT_TRUE(QDir().mkpath(folder));
        qv::app::setFolderLocations(folders);
    }
    ~BookmarkFolder() { qv::app::setFolderLocations(nullptr); }

    Bookmark bookmark(int i, const QString& thumbnail = {}) const {
        Bookmark b;
        b.id = QString("ID-%1").arg(i);
        b.url = QString("http://example.org/%1").arg(i);
        b.thumbnail = thumbnail.isEmpty() ? b.id + ".png" : thumbnail;
        b.name = QString("Page %1").arg(i);
        return b;
    }
    void picture(const QString& name, const QColor& colour) const {
        QImage image(320, 180, QImage::Format_ARGB32);
        image.fill(colour);
        EXPECT_TRUE(image.save(QDir(folder).filePath(name)));
    }
    void write(const QList<Bookmark>& list) const {
        EXPECT_EQ(writeWholeFile(bookmarksFilePath(folder), bookmarksJson(list)), "");
    }
    QStringList idsInFile() const {
        QFile f(bookmarksFilePath(folder));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QStringList ids;
        for (const auto& v : QJsonDocument::fromJson(f.readAll()).array()) ids << v.toObject()["id"].toString();
        return ids;
    }
};

// The popover's view in a window of its own, its list read.
struct ShownView {
    QWidget window;
    BrowserBookmarkView* view;
    ShownView() {
        window.resize(300, 700);
        view = new BrowserBookmarkView(&window);
        view->move(80, 20);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_TRUE(waitUntil([&] { return view->loaded(); }, 10000));
    }
    BookmarkListView* list() const { return view->listView(); }
    // Waits until every row on screen shows what its picture file holds (or its placeholder).
    bool picturesOnScreenRead() const {
        return waitUntil([&] {
            for (int row = 0; row < list()->model()->rowCount(); ++row) {
                const QRect cell = list()->visualRect(list()->model()->index(row, 0));
                if (!cell.intersects(list()->viewport()->rect())) continue;
                if (view->pictures()->peek(view->bookmarkList()[row].thumbnail).state == BookmarkPictures::State::loading)
                    return false;
            }
            return true;
        }, 10000);
    }
    // The view as drawn, over transparency.
    QImage drawn() const {
        QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }
};

bool isWhite(const QColor& c) { return c.alpha() > 200 && c.red() > 200 && c.green() > 200 && c.blue() > 200; }

}  // namespace

// The close mark deletes the bookmark and its picture when that lies in the bookmark folder; a
// name in "bookmarks.json" that leads elsewhere deletes nothing there. A click on the picture
// itself deletes nothing. The other bookmarks keep their order, in the list and in the file.
TEST(BookmarkList, CloseMarkDeletesTheBookmarkAndOnlyPicturesInsideTheFolder) {
    BookmarkFolder save;
    const QString victim = save.root.filePath("victim/keep.txt");
    ASSERT_TRUE(QDir().mkpath(save.root.filePath("victim")));
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    ASSERT_TRUE(QFile::link(save.root.filePath("victim"), save.folder + "/out"));
    const QList<Bookmark> stored = {save.bookmark(0), save.bookmark(1, "../../victim/keep.txt"), save.bookmark(2, victim),
                                    save.bookmark(3, "out/keep.txt"), save.bookmark(4)};
    save.picture(stored[0].thumbnail, Qt::red);
    save.picture(stored[4].thumbnail, Qt::blue);
    save.write(stored);

    ShownView shown;
    ASSERT_EQ(shown.view->bookmarkList().size(), 5);
    EXPECT_EQ(shown.list()->hoveredRow(), -1) << "no close mark until the pointer is over a picture";

    // A click on a picture opens it (no browser here): nothing is deleted.
    qv::test::clickBookmarkPicture(shown.list(), 4);
    EXPECT_EQ(shown.view->bookmarkList().size(), 5);
    EXPECT_TRUE(QFileInfo::exists(save.folder + "/" + stored[4].thumbnail));

    // The last one: inside the folder, its picture goes with it.
    qv::test::clickBookmarkCloseMark(shown.list(), 4);
    EXPECT_FALSE(QFileInfo::exists(save.folder + "/" + stored[4].thumbnail));
    EXPECT_EQ(save.idsInFile(), (QStringList{"ID-0", "ID-1", "ID-2", "ID-3"}));
    // Three whose names lead out of the folder: the bookmarks go, the file elsewhere stays.
    for (int row : {3, 2, 1}) qv::test::clickBookmarkCloseMark(shown.list(), row);
    EXPECT_TRUE(QFileInfo::exists(victim));
    EXPECT_EQ(save.idsInFile(), QStringList{"ID-0"});
    ASSERT_EQ(shown.view->bookmarkList().size(), 1);
    EXPECT_EQ(shown.view->bookmarkList()[0].id, "ID-0");
    EXPECT_TRUE(QFileInfo::exists(save.folder + "/" + stored[0].thumbnail));
    // The last one: the list shows "No Bookmarks yet".
    qv::test::clickBookmarkCloseMark(shown.list(), 0);
    EXPECT_TRUE(shown.view->bookmarkList().isEmpty());
    EXPECT_EQ(save.idsInFile(), QStringList{});
    EXPECT_TRUE(shown.view->emptyLabel()->isVisible());
    EXPECT_FALSE(shown.list()->isVisible());
}

// A page's title is drawn as the text it is: markup shows as its characters, in the names'
// white, filling the line (drawn as markup it would be a short bold "Bold red" in part red).
TEST(BookmarkList, NamesAreDrawnAsTheirLiteralText) {
    BookmarkFolder save;
    Bookmark b = save.bookmark(0);
    b.name = "<b>Bold</b> <font color=red>red</font>";
    save.picture(b.thumbnail, Qt::black);
    save.write({b});
    ShownView shown;
    ASSERT_TRUE(shown.picturesOnScreenRead());
    EXPECT_EQ(shown.list()->model()->index(0, 0).data().toString(), b.name);

    const QImage image = shown.drawn();
    const QRect cell = shown.list()->visualRect(shown.list()->model()->index(0, 0)).translated(shown.list()->pos());
    const QRect name = BookmarkThumbnailView::nameRect(cell, shown.list()->fontMetrics());
    int left = name.right(), right = name.left(), reddish = 0;
    for (int y = name.top(); y <= name.bottom(); ++y)
        for (int x = name.left(); x <= name.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 90 && c.blue() < 90) ++reddish;
            if (c.red() > 190 && c.green() > 190 && c.blue() > 190) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    EXPECT_EQ(reddish, 0);
    EXPECT_GT(right - left, 100) << "ink from " << left << " to " << right;
}

// The measures of the popover: a 140-wide stack, corners of radius 10, the button and the
// pictures centred in it; each row holds its picture and, under it, its name; the list is
// (n + 1) x 80 high up to four bookmarks and 500 from five on.
TEST(BookmarkList, PopoverMeasures) {
    const struct {
        int count;
        int height;
    } heights[] = {{0, 80}, {1, 160}, {4, 400}, {5, 500}, {20000, 500}};
    for (const auto& h : heights) EXPECT_EQ(BrowserBookmarkView::listHeight(h.count), h.height) << h.count;

    BookmarkFolder save;
    QList<Bookmark> stored;
    for (int i = 0; i < 2; ++i) {
        stored << save.bookmark(i);
        save.picture(stored.last().thumbnail, QColor(0, 0, 255));
    }
    stored[0].name = "A name far too long to fit on the one line under its picture";
    save.write(stored);
    ShownView shown;
    ASSERT_TRUE(shown.picturesOnScreenRead());
    EXPECT_EQ(shown.view->width(), 140);
    EXPECT_EQ(shown.list()->height(), 240);
    const QImage image = shown.drawn();

    // The rounded corners: radius 10 leaves the pixel (2, 2) outside, radius 8 would cover it.
    for (const QPoint corner : {QPoint(2, 2), QPoint(image.width() - 3, 2), QPoint(2, image.height() - 3),
                                QPoint(image.width() - 3, image.height() - 3)})
        EXPECT_LT(image.pixelColor(corner).alpha(), 60) << corner.x() << "," << corner.y();
    EXPECT_EQ(image.pixelColor(4, 4).alpha(), 255);
    EXPECT_EQ(image.pixelColor(70, 2).alpha(), 255) << "the stack is drawn to its edge";

    // The button, centred.
    const QRect button = shown.view->addButton()->geometry();
    EXPECT_LE(std::abs(button.center().x() - 70), 1) << button.x() << "+" << button.width();

    // Each row: the picture's white border, centred; the name's ink under it, inside the row.
    for (int row = 0; row < 2; ++row) {
        const QRect cell = shown.list()->visualRect(shown.list()->model()->index(row, 0)).translated(shown.list()->pos());
        const int middle = cell.top() + 5 + 36;
        int borderLeft = -1, borderRight = -1;
        for (int x = 0; x < image.width(); ++x)
            if (isWhite(image.pixelColor(x, middle))) {
                if (borderLeft < 0) borderLeft = x;
                borderRight = x;
            }
        EXPECT_EQ(borderRight - borderLeft + 1, 120) << "row " << row;
        EXPECT_LE(std::abs((borderLeft + borderRight + 1) / 2 - 70), 1) << "row " << row << ": " << borderLeft;
        // The picture's bottom border, then the name's first and last lines of ink.
        const int x0 = borderLeft + 15, x1 = borderRight - 15;
        int pictureBottom = -1, inkTop = -1, inkBottom = -1;
        for (int y = middle; y <= cell.bottom(); ++y) {
            int white = 0;
            for (int x = x0; x <= x1; ++x) white += isWhite(image.pixelColor(x, y));
            if (pictureBottom < 0) {
                if (white > (x1 - x0) * 3 / 4) pictureBottom = y;  // the border line
                continue;
            }
            if (white > 0 && white < (x1 - x0) * 3 / 4 && y > pictureBottom + 2) {
                if (inkTop < 0) inkTop = y;
                inkBottom = y;
            }
        }
        ASSERT_GT(pictureBottom, 0) << "row " << row;
        EXPECT_GT(inkTop, pictureBottom + 2) << "row " << row << ": the name lies under the picture";
        EXPECT_LT(inkBottom, cell.bottom()) << "row " << row << ": the name fits its row";
        EXPECT_GE(cell.height(), 72 + 5 + shown.list()->fontMetrics().height()) << "row " << row;
    }
}

// Any number of bookmarks: the list opens with every row, but reads only the pictures of the
// rows on screen; scrolled to the end, the last rows' pictures are read and drawn; a picture
// that cannot be read shows the placeholder, and a row's picture is its own.
TEST(BookmarkList, PicturesAreReadForTheRowsOnScreen) {
    BookmarkFolder save;
    QList<Bookmark> stored;
    const int count = 3000;
    save.picture("red.png", QColor(220, 0, 0));
    save.picture("green.png", QColor(0, 200, 0));
    for (int i = 0; i < count; ++i) {
        stored << save.bookmark(i);
        // Every picture a file of its own; the very last one is missing.
        if (i < count - 1) {
            ASSERT_TRUE(QFile::copy(save.folder + (i % 2 ? "/green.png" : "/red.png"),
                                    save.folder + "/" + stored.last().thumbnail));
        }
    }
    save.write(stored);
    ShownView shown;
    ASSERT_EQ(shown.view->bookmarkList().size(), count);
    ASSERT_TRUE(shown.picturesOnScreenRead());
    auto state = [&](int row) { return shown.view->pictures()->peek(stored[row].thumbnail).state; };
    EXPECT_EQ(state(0), BookmarkPictures::State::shown);
    for (int row : {20, count / 2, count - 2}) EXPECT_EQ(state(row), BookmarkPictures::State::loading) << "row " << row << " is off screen: not read";

    // The colour in the middle of a row's picture.
    auto pictureColour = [&](int row) {
        const QImage image = shown.drawn();
        const QRect cell = shown.list()->visualRect(shown.list()->model()->index(row, 0)).translated(shown.list()->pos());
        return image.pixelColor(BookmarkThumbnailView::pictureRect(cell).center());
    };
    EXPECT_GT(pictureColour(0).red(), 180);
    EXPECT_GT(pictureColour(1).green(), 160);

    // The wheel scrolls the list (its own bar is hidden; the thin one over the margin follows).
    const QPoint middle = shown.list()->viewport()->rect().center();
    QWheelEvent wheel(middle, shown.list()->viewport()->mapToGlobal(middle), QPoint(), QPoint(0, -240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(shown.list()->viewport(), &wheel);
    EXPECT_GT(shown.list()->verticalScrollBar()->value(), 0);
    EXPECT_EQ(shown.list()->overlayScrollBar()->value(), shown.list()->verticalScrollBar()->value());
    EXPECT_TRUE(shown.list()->overlayScrollBar()->isVisible());

    shown.list()->overlayScrollBar()->setValue(shown.list()->overlayScrollBar()->maximum());
    EXPECT_EQ(shown.list()->verticalScrollBar()->value(), shown.list()->verticalScrollBar()->maximum());
    ASSERT_TRUE(shown.picturesOnScreenRead());
    EXPECT_EQ(state(count - 2), BookmarkPictures::State::shown);
    EXPECT_EQ(state(count - 1), BookmarkPictures::State::missing);
    EXPECT_GT(pictureColour(count - 2).red(), 180) << "row " << count - 2 << " is even: red";
    const QColor placeholder = pictureColour(count - 1);
    EXPECT_LT(std::abs(placeholder.red() - placeholder.blue()), 10) << "a gray placeholder";
}
