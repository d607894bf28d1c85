#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>

#include "helpers/Thumbnails.h"
#include "library/ThumbnailView.h"
#include "library/files/FileLibraryView.h"
#include "library/files/PanelFixture.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/BigPhoto.h"
#include "support/BigPng.h"
#include "support/Processes.h"
#include "support/QtWait.h"
#include "support/ScopedEnv.h"
#include "support/WindowPicture.h"

using namespace qv::library;
using qv::test::processGone;
using qv::test::readPid;
using qv::app::FolderLocations;
using qv::test::waitUntil;
using namespace qv::test;

namespace {

using FileLibraryPanel = PanelFixture;

TEST_F(FileLibraryPanel, MyFilesNewestFirstWithSlideFoldersAsOneEntry) {
    writePng(lib("old.png"), Qt::red);
    setAge(lib("old.png"), 300);
    QImage(64, 36, QImage::Format_RGB32).save(lib("old.jpg"));  // another file of the same name
    setAge(lib("old.jpg"), 250);
    writePdf(lib("sheet.pdf"));
    setAge(lib("sheet.pdf"), 200);
    QDir().mkpath(lib("deck"));
    writePng(lib("deck/deck.001.png"), Qt::green);
    writePng(lib("deck/deck.002.png"), Qt::green);
    setAge(lib("deck"), 100);
    QDir().mkpath(lib("broken"));  // a slide folder without its first slide
    writePng(lib("broken/other.png"), Qt::green);
    writePng(lib(".hidden.png"), Qt::green);  // what an import makes of a hidden name: listed
    setAge(lib(".hidden.png"), 50);
    writeText(lib("notes.txt"), "not a picture");  // no thumbnail: listed with a plain picture
    setAge(lib("notes.txt"), 40);

    FileLibraryView panel(services());
    panel.show();
    ASSERT_TRUE(waitUntil([&] { return panel.fileList().size() == 6; }, 20000));
    qv::test::spin(200);
    EXPECT_EQ(names(panel.fileList()), (QStringList{"notes", ".hidden", "deck", "sheet", "old", "old"}));
    EXPECT_EQ(rawValue(panel.fileList()[0]->type), " ");
    EXPECT_EQ(rawValue(panel.fileList()[2]->type), "PPT");
    EXPECT_EQ(rawValue(panel.fileList()[3]->type), "PDF");
    EXPECT_EQ(rawValue(panel.fileList()[4]->type), "JPG");
    EXPECT_EQ(panel.tabs()->tabText(0), "My Files (6)");
    EXPECT_EQ(panel.fileCells().size(), 6u);
    EXPECT_TRUE(panel.myFilesEmptyText()->isHidden());

    // Deleting through a cell removes exactly that item, also with another of the same name before
    // it in the list.
    auto* cell = static_cast<ThumbnailView*>(panel.fileCells()[5]);
    ASSERT_EQ(cell->libraryFileItem()->url, QUrl::fromLocalFile(lib("old.png")));
    cell->requestDeletion();
    cell->deleteConfirmed();
    EXPECT_EQ(names(panel.fileList()), (QStringList{"notes", ".hidden", "deck", "sheet", "old"}));
    EXPECT_EQ(panel.fileList()[4]->url, QUrl::fromLocalFile(lib("old.jpg")));
    EXPECT_FALSE(QFileInfo::exists(lib("old.png")));
    EXPECT_TRUE(QFileInfo::exists(lib("old.jpg")));
    EXPECT_EQ(panel.tabs()->tabText(0), "My Files (5)");
    ASSERT_EQ(panel.fileCells().size(), 5u);
    EXPECT_EQ(static_cast<ThumbnailView*>(panel.fileCells()[4])->libraryFileItem(), panel.fileList()[4]);
}

TEST_F(FileLibraryPanel, EmptyLibraryShowsTheImportRowAndTheDropText) {
    FileLibraryView panel(services());
    panel.show();
    qv::test::spin(300);
    EXPECT_EQ(panel.tabs()->tabText(0), "My Files (0)");
    EXPECT_TRUE(panel.myFilesEmptyText()->isVisible());
    EXPECT_EQ(panel.myFilesEmptyText()->text(), "Drag & Drop or import files into here for image insertion");
    EXPECT_TRUE(panel.importRow()->isVisible());
}

TEST_F(FileLibraryPanel, SlidesOutAfterAppearingAndTheHandleBringsItBack) {
    FileLibraryView panel(services(300));
    panel.show();
    EXPECT_FALSE(panel.hideFileLibrary());
    ASSERT_TRUE(waitUntil([&] { return panel.hideFileLibrary() && panel.shift() == 400; }, 10000));
    panel.toggleCollapsed();
    EXPECT_FALSE(panel.hideFileLibrary());
    ASSERT_TRUE(waitUntil([&] { return panel.shift() == 0; }, 10000));
}

TEST_F(FileLibraryPanel, WithoutASaveFolderItStaysCollapsedAndFillsOnceOneIsKnown) {
    qv::app::setFolderLocations(nullptr);
    writePng(lib("a.png"), Qt::red);
    FileLibraryView panel(services());
    panel.show();
    EXPECT_TRUE(panel.hideFileLibrary());
    EXPECT_FALSE(panel.importDropped({QUrl::fromLocalFile(lib("a.png"))}));  // a drop is not taken
    qv::test::spin(350);
    EXPECT_TRUE(panel.hideFileLibrary());
    EXPECT_TRUE(panel.fileList().empty());
    qv::app::setFolderLocations(folders);
    ASSERT_TRUE(waitUntil([&] { return panel.fileList().size() == 1; }, 10000));
    EXPECT_FALSE(panel.hideFileLibrary());
}

TEST_F(FileLibraryPanel, TemplatesWithWrappedChipsSearchAndCategories) {
    writeCatalogue(kCatalogue);
    writeTemplatePictures(*this);
    FileLibraryView panel(services());
    panel.resize(panel.sizeHint());
    panel.show();
    ASSERT_TRUE(waitUntil([&] { return panel.templatesLoaded(); }, 20000));
    // The missing picture is left out; the rest keep the catalogue's order.
    EXPECT_EQ(names(panel.templateList()), (QStringList{"Grid Paper", "Lined paper", "World map", "Music staff"}));
    EXPECT_EQ(names(panel.templateListFiltered()), names(panel.templateList()));
    EXPECT_EQ(panel.tabs()->tabText(1), "Templates (4)");
    EXPECT_EQ(panel.categoryList(), (QStringList{"All", "Favorite", "Math", "Writing", "Science", "Geography", "Music",
                                                 "Planning", "Games", "Early Years"}));

    // The chips: one per category, in order, 8 apart from the leading edge, wrapping into lanes.
    panel.tabs()->setCurrentIndex(1);
    qv::test::spin(100);
    const QList<QLabel*> chips = panel.chips();
    ASSERT_EQ(chips.size(), 10);
    for (int i = 0; i < chips.size(); ++i) EXPECT_EQ(chips[i]->text(), panel.categoryList()[i]);
    EXPECT_EQ(chips[0]->x(), 0);
    EXPECT_EQ(chips[1]->x(), chips[0]->geometry().right() + 1 + 8);
    std::set<int> lanes;
    for (QLabel* chip : chips) lanes.insert(chip->y());
    EXPECT_GE(lanes.size(), 2u);
    for (QLabel* chip : chips) EXPECT_LE(chip->geometry().right(), panel.chipRow()->width());

    // A chip: exact, case-sensitive match ("math" on the staff does not count).
    panel.selectCategory(2);
    EXPECT_EQ(panel.selectedCategory(), "Math");
    EXPECT_EQ(names(panel.templateListFiltered()), (QStringList{"Grid Paper"}));
    // Typing searches the whole catalogue, ignoring case; the count of the tab stays.
    panel.searchField()->setText("PAPER");
    EXPECT_EQ(panel.selectedCategory(), "NONE");
    EXPECT_EQ(names(panel.templateListFiltered()), (QStringList{"Grid Paper", "Lined paper"}));
    EXPECT_EQ(panel.tabs()->tabText(1), "Templates (4)");
    // A chip tap with text in the field empties it and keeps the chip's result, unhighlighted.
    panel.selectCategory(5);  // Geography
    EXPECT_EQ(panel.searchField()->text(), "");
    EXPECT_EQ(panel.selectedCategory(), "NONE");
    EXPECT_EQ(names(panel.templateListFiltered()), (QStringList{"World map"}));
    panel.selectCategory(5);
    EXPECT_EQ(panel.selectedCategory(), "Geography");
    // Nothing found: "No templates."
    panel.searchField()->setText("zebra");
    EXPECT_TRUE(panel.templateListFiltered().empty());
    EXPECT_TRUE(panel.noTemplatesText()->isVisible());
    panel.searchField()->setText("");
    EXPECT_EQ(panel.templateListFiltered().size(), 4u);

    // Hovering is tried with a real pointer (pointer/PointerTest.cpp).
}

TEST_F(FileLibraryPanel, FavoritesRoundTrip) {
    writeCatalogue(kCatalogue);
    writeTemplatePictures(*this);
    writeText(tpl("favorites.json"), R"(["lined.png","retired.png","missing.png"])");
    {
        FileLibraryView panel(services());
        panel.show();
        ASSERT_TRUE(waitUntil([&] { return panel.templatesLoaded(); }, 20000));
        EXPECT_EQ(panel.favoriteTemplates(), (QStringList{"lined.png", "retired.png", "missing.png"}));
        ASSERT_EQ(panel.templateList().size(), 4u);
        EXPECT_TRUE(panel.templateList()[1]->isFavorited);  // lined.png
        EXPECT_FALSE(panel.templateList()[0]->isFavorited);

        // Marked through the cells: the map (a "url" with a folder part) on, lined paper off.
        panel.tabs()->setCurrentIndex(1);
        for (QWidget* w : panel.templateCells()) {
            auto* cell = static_cast<ThumbnailView*>(w);
            if (cell->libraryFileItem()->name == "World map") cell->setFavorited(true);
            if (cell->libraryFileItem()->name == "Lined paper") cell->setFavorited(false);
        }
        panel.selectCategory(1);  // Favorite
        EXPECT_EQ(names(panel.templateListFiltered()), (QStringList{"World map"}));
        panel.hide();  // taken off screen: saved
    }
    // Names the catalogue does not list (or whose picture is missing) stay.
    EXPECT_EQ(read(tpl("favorites.json")), R"(["maps/world.png","retired.png","missing.png"])");

    FileLibraryView again(services());
    again.show();
    ASSERT_TRUE(waitUntil([&] { return again.templatesLoaded(); }, 20000));
    QStringList favorited;
    for (const auto& item : again.templateList())
        if (item->isFavorited) favorited << *item->name;
    EXPECT_EQ(favorited, QStringList{"World map"});
}

TEST_F(FileLibraryPanel, FavoritesAreNotWrittenBeforeACompleteLoad) {
    writeCatalogue(kCatalogue);
    writeTemplatePictures(*this);
    writeText(tpl("favorites.json"), R"(["grid.png"])");
    {
        FileLibraryView panel(services());
        panel.show();
        panel.hide();  // gone before the catalogue has loaded
        EXPECT_FALSE(panel.templatesLoaded());
    }
    EXPECT_EQ(read(tpl("favorites.json")), R"(["grid.png"])");
    // No catalogue at all: nothing loads, nothing is written.
    QFile::remove(tpl("templates.json"));
    {
        FileLibraryView panel(services());
        panel.show();
        qv::test::spin(200);
        panel.hide();
    }
    EXPECT_EQ(read(tpl("favorites.json")), R"(["grid.png"])");
}

// A favorites file that cannot be read is kept aside, never written over: the teacher's marks stay
// on the disk, and the panel says where.
TEST_F(FileLibraryPanel, ADamagedFavoritesFileIsKeptAside) {
    writeCatalogue(kCatalogue);
    writeTemplatePictures(*this);
    const QByteArray damaged = R"(["grid.png", "lined.png")";  // cut short
    writeText(tpl("favorites.json"), damaged);
    {
        FileLibraryView panel(services());
        panel.show();
        ASSERT_TRUE(waitUntil([&] { return panel.templatesLoaded(); }, 20000));
        for (const auto& item : panel.templateList()) EXPECT_FALSE(item->isFavorited);
        EXPECT_TRUE(panel.errorText().contains("favorites.json.unreadable-")) << panel.errorText().toStdString();
        panel.templateList()[2]->isFavorited = true;  // the map, marked now
        panel.hide();
    }
    const QStringList aside = QDir(tpl()).entryList({"favorites.json.unreadable-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(read(tpl(aside[0])), damaged);
    EXPECT_EQ(read(tpl("favorites.json")), R"(["maps/world.png"])");
}

TEST_F(FileLibraryPanel, ImportsCopyPasteTheFirstAndIgnoreTheRest) {
    QTemporaryDir outside;
    writePng(outside.filePath("photo.PNG"), Qt::red);
    writePdf(outside.filePath("handout.pdf"));
    writeText(outside.filePath("notes.txt"), "ignored");
    writePng(lib("already.png"), Qt::yellow);

    FileLibraryView panel(services());
    panel.show();
    qv::test::spin(100);
    panel.collapse();
    chosen = {outside.filePath("photo.PNG"), outside.filePath("handout.pdf"), outside.filePath("notes.txt"),
              lib("already.png")};
    qv::app::NotificationCenter::defaultCenter().post(QString::fromLatin1(qv::app::notification::OpenFiles));
    EXPECT_EQ(panelsOpened, 1);
    EXPECT_FALSE(panel.hideFileLibrary());  // revealed for the import
    ASSERT_TRUE(panel.waitForImports(30000));
    ASSERT_TRUE(waitUntil([&] { return panel.fileList().size() >= 3; }, 20000));
    qv::test::spin(200);
    // Inserted at the front as each arrives (copies run side by side: in either order); the file
    // from the library itself changes nothing.
    QStringList front = names(panel.fileList()).mid(0, 2);
    front.sort();
    EXPECT_EQ(front, (QStringList{"handout", "photo"}));
    EXPECT_EQ(names(panel.fileList()).count("already"), 1);
    EXPECT_EQ(read(lib("already.png")).isEmpty(), false);
    EXPECT_TRUE(QFileInfo::exists(lib("photo.PNG")));
    EXPECT_TRUE(QFileInfo::exists(lib("handout.pdf")));
    EXPECT_FALSE(QFileInfo::exists(lib("notes.txt")));
    // Only the first file is pasted: its copy's URL, not the picked file's.
    EXPECT_EQ(keys->posts, 1);
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(lib("photo.PNG"))});

    // Dropped files are imported without a paste.
    writePng(outside.filePath("dropped.gif"), Qt::blue);
    EXPECT_TRUE(panel.importDropped({QUrl::fromLocalFile(outside.filePath("dropped.gif"))}));
    ASSERT_TRUE(panel.waitForImports(30000));
    ASSERT_TRUE(waitUntil([&] { return panel.fileList().front()->name == "dropped"; }, 20000));
    EXPECT_EQ(keys->posts, 1);
}

// Writes a two-slide presentation as LibreOffice's flat XML, then has LibreOffice itself save it
// as .pptx. Returns the .pptx path (empty on failure).
QString makePptx(const QString& folder) {
    writeText(folder + "/deck.fodp", R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:body><office:presentation>
  <draw:page draw:name="One"><draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm"><draw:text-box><text:p>Slide one</text:p></draw:text-box></draw:frame></draw:page>
  <draw:page draw:name="Two"><draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm"><draw:text-box><text:p>Slide two</text:p></draw:text-box></draw:frame></draw:page>
 </office:presentation></office:body></office:document>
)");
    QProcess office;
    office.start("soffice", {"-env:UserInstallation=" + QUrl::fromLocalFile(folder + "/profile").toString(), "--headless",
                             "--convert-to", "pptx", "--outdir", folder + "/pptx", folder + "/deck.fodp"});
    if (!office.waitForStarted(60000) || !office.waitForFinished(600000)) return {};
    const QString pptx = folder + "/pptx/deck.pptx";
    return QFileInfo::exists(pptx) ? pptx : QString();
}

TEST_F(FileLibraryPanel, APresentationBecomesOneEntryOfSlidePictures) {
    ASSERT_FALSE(QStandardPaths::findExecutable("soffice").isEmpty()) << "LibreOffice (scripts/deps) is missing";
    QTemporaryDir outside;
    const QString pptx = makePptx(outside.path());
    ASSERT_FALSE(pptx.isEmpty()) << "LibreOffice could not make the test presentation";

    // LibreOffice is slow on a loaded machine: a generous limit.
    FileLibraryServices slow = services();
    slow.conversionTimeoutMs = 600000;
    FileLibraryView panel(slow);
    panel.show();
    bool sheetSeen = false;
    QObject::connect(&panel, &FileLibraryView::changed, [&] {
        if (panel.showingConvertingAlert() && panel.convertingSheet()->isVisible()) sheetSeen = true;
    });
    chosen = {pptx};
    panel.showImportPanel();
    ASSERT_TRUE(panel.waitForImports(700000));
    ASSERT_TRUE(waitUntil([&] { return !panel.fileList().empty(); }, 20000)) << panel.errorText().toStdString();
    EXPECT_TRUE(sheetSeen);
    EXPECT_FALSE(panel.showingConvertingAlert());
    EXPECT_TRUE(panel.convertingSheet()->isHidden());
    EXPECT_EQ(panel.errorText(), "");

    EXPECT_TRUE(QFileInfo::exists(lib("deck/deck.001.png")));
    EXPECT_TRUE(QFileInfo::exists(lib("deck/deck.002.png")));
    EXPECT_EQ(QDir(lib("deck")).entryList(QDir::Files | QDir::Hidden), (QStringList{"deck.001.png", "deck.002.png"}));
    EXPECT_EQ(QImage(lib("deck/deck.001.png")).width(), 1920);
    ASSERT_EQ(panel.fileList().size(), 1u);
    EXPECT_EQ(panel.fileList()[0]->name, "deck");
    EXPECT_EQ(rawValue(panel.fileList()[0]->type), "PPT");
    EXPECT_EQ(keys->posts, 0);  // a presentation is never pasted
    // Nothing else is left in the library.
    EXPECT_EQ(QDir(lib()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"deck"});

    // Listed again, the folder is one PPT entry "deck".
    FileLibraryView again(services());
    again.show();
    ASSERT_TRUE(waitUntil([&] { return again.fileList().size() == 1; }, 20000));
    EXPECT_EQ(again.fileList()[0]->name, "deck");
    EXPECT_EQ(rawValue(again.fileList()[0]->type), "PPT");
}

TEST_F(FileLibraryPanel, AFailedConversionSaysSoInThePanel) {
    QTemporaryDir outside;
    writeText(outside.filePath("talk.key"), "not a presentation");
    writeText(outside.filePath("office"), "#!/bin/sh\necho 'Error: source file could not be loaded'\n");
    QFile::setPermissions(outside.filePath("office"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    FileLibraryServices s = services();
    s.officeProgram = outside.filePath("office");
    FileLibraryView panel(s);
    panel.show();
    EXPECT_TRUE(panel.importDropped({QUrl::fromLocalFile(outside.filePath("talk.key"))}));
    ASSERT_TRUE(panel.waitForImports(60000));
    ASSERT_TRUE(waitUntil([&] { return !panel.errorText().isEmpty(); }, 10000));
    EXPECT_TRUE(panel.errorText().contains("talk.key")) << panel.errorText().toStdString();
    EXPECT_FALSE(panel.showingConvertingAlert());
    EXPECT_TRUE(panel.fileList().empty());
    EXPECT_TRUE(QDir(lib()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

// A teacher's real files, dropped together: a phone photo of 48 MP, a name of 250 bytes, and a PNG
// and a PDF that are damaged. The good ones are listed with their pictures; each damaged one is
// named in the panel, both at once, and listed with a plain picture.
TEST_F(FileLibraryPanel, RealFilesAreListedAndEveryFailureIsNamed) {
    QTemporaryDir outside;
    const QString photo = outside.filePath("IMG_20260301_081500.jpg");
    ASSERT_TRUE(qv::test::writeBigPhoto(photo));
    const QString longName = outside.filePath(QString(123, QChar(0x0416)) + ".png");
    writePng(longName, Qt::magenta);
    writeText(outside.filePath("scan.png"), QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(200, 'x'));
    writeText(outside.filePath("worksheet.pdf"), "%PDF-1.4\nthis is not the rest of a PDF\n");

    FileLibraryView panel(services());
    panel.show();
    ASSERT_TRUE(panel.importDropped({QUrl::fromLocalFile(photo), QUrl::fromLocalFile(longName),
                                     QUrl::fromLocalFile(outside.filePath("scan.png")),
                                     QUrl::fromLocalFile(outside.filePath("worksheet.pdf"))}));
    ASSERT_TRUE(panel.waitForImports(120000));
    ASSERT_TRUE(
        waitUntil([&] { return panel.fileList().size() == 4 && panel.errorText().count('\n') == 1; }, 20000))
        << names(panel.fileList()).join(", ").toStdString() << " / " << panel.errorText().toStdString();
    QStringList listed = names(panel.fileList());
    listed.sort();
    // The damaged ones with a plain picture, so that the teacher can delete them.
    EXPECT_EQ(listed, (QStringList{"IMG_20260301_081500", "scan", "worksheet", QString(123, QChar(0x0416))}));
    for (const auto& item : panel.fileList()) {
        ASSERT_TRUE(item->thumbnailImage) << item->name->toStdString();
        if (item->name == "IMG_20260301_081500") EXPECT_EQ(item->thumbnailImage->size(), QSize(192, 144));
        EXPECT_EQ(*item->thumbnailImage == qv::app::genericThumbnail(),
                  item->name == "scan" || item->name == "worksheet")
            << item->name->toStdString();
    }
    EXPECT_EQ(panel.fileCells().size(), 4u);
    EXPECT_TRUE(QFileInfo::exists(lib(QFileInfo(longName).fileName())));
    const QStringList errors = panel.errorText().split('\n');
    ASSERT_EQ(errors.size(), 2);
    for (const char* name : {"scan.png", "worksheet.pdf"})
        EXPECT_EQ(errors.filter(QString(name) + " was copied into the library, but it cannot be shown").size(), 1)
            << name << ": " << panel.errorText().toStdString();
    qv::test::spin(200);
    qv::test::saveWindowPicture(panel, "file-library-import-failures.png");
}

// The My Files tab's scroll area and the rows it shows.
QScrollArea* myFilesScroll(const FileLibraryView& panel) {
    return qobject_cast<QScrollArea*>(panel.tabs()->widget(0));
}

// Every cell shown keeps the height of a cell with its picture and name, side by side in rows that
// do not overlap, and lies in the scroll area's content.
void expectWholeCells(const FileLibraryView& panel) {
    const std::vector<QWidget*> cells = panel.fileCells();
    ASSERT_FALSE(cells.empty());
    const int full = ThumbnailView::heightWithPicture(cells.front()->font());
    EXPECT_GE(full, 90);
    QRect previous;
    for (QWidget* cell : cells) {
        EXPECT_EQ(cell->height(), full)
            << static_cast<ThumbnailView*>(cell)->libraryFileItem()->name->toStdString();
        EXPECT_GE(cell->width(), ThumbnailView::thumbnailWidth);
        const QRect r(cell->mapTo(myFilesScroll(panel)->widget(), QPoint(0, 0)), cell->size());
        if (!previous.isNull()) EXPECT_FALSE(r.intersects(previous));
        previous = r;
    }
}

// A term of imports: My Files with 60 and with 300 files keeps every cell at its full height and
// scrolls; the failures bar takes no height from the tab. Only the rows in view have cells.
TEST_F(FileLibraryPanel, MyFilesKeepsEveryCellWholeAndScrollsThroughALongLibrary) {
    for (int count : {60, 300}) {
        SCOPED_TRACE(count);
        QDir(lib()).removeRecursively();
        QDir().mkpath(lib());
        for (int i = 0; i < count; ++i) {
            const QString path = lib(QString("page-%1.png").arg(i, 3, 10, QChar('0')));
            writePng(path, QColor::fromHsv(i * 7 % 360, 200, 220));
            setAge(path, 1000 + i);  // page-000 newest
        }
        FileLibraryView panel(services());
        panel.show();
        ASSERT_TRUE(waitUntil([&] { return panel.fileList().size() == size_t(count); }, 60000));
        spin(100);
        QScrollArea* scroll = myFilesScroll(panel);
        ASSERT_NE(scroll, nullptr);
        QScrollBar* bar = scroll->verticalScrollBar();
        const int full = ThumbnailView::heightWithPicture(panel.fileCells().front()->font());
        const int rows = (count + 2) / 3;
        EXPECT_GE(scroll->widget()->height(), rows * full);
        EXPECT_GE(bar->maximum(), rows * full - scroll->viewport()->height());
        expectWholeCells(panel);
        EXPECT_LE(panel.fileCells().size(), 3u * (scroll->viewport()->height() / full + 2));

        // The wheel scrolls the tab (a real wheel over the cells: the pointer tests).
        QWidget* viewport = scroll->viewport();
        const QPoint at = viewport->rect().center();
        QWheelEvent wheel(QPointF(at), QPointF(viewport->mapToGlobal(at)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
        EXPECT_GT(bar->value(), 0);

        // Half-way and at the end, the cells in view are whole, and the last file has its own.
        bar->setValue(bar->maximum() / 2);
        spin(50);
        expectWholeCells(panel);
        bar->setValue(bar->maximum());
        spin(50);
        expectWholeCells(panel);
        const auto* last = static_cast<ThumbnailView*>(panel.fileCells().back());
        EXPECT_EQ(last->libraryFileItem(), panel.fileList().back());
        const QRect inView(last->mapTo(scroll->viewport(), QPoint(0, 0)), last->size());
        EXPECT_TRUE(scroll->viewport()->rect().contains(inView));

        // A failure named below the tab leaves the tab its height.
        const int tabHeight = panel.tabs()->height();
        const int viewportHeight = viewport->height();
        panel.importFile(lib("../nowhere/missing.png"), false);
        ASSERT_TRUE(panel.waitForImports(30000));
        ASSERT_TRUE(waitUntil([&] { return !panel.errorText().isEmpty(); }, 10000));
        spin(50);
        EXPECT_EQ(panel.tabs()->height(), tabHeight);
        EXPECT_EQ(viewport->height(), viewportHeight);
        expectWholeCells(panel);
        if (count == 60) qv::test::saveWindowPicture(panel, "file-library-60-files-at-the-end.png");
    }
}

// Hidden names: what an import makes of ".hidden.png" and ".talk.pptx" is listed, also by the next
// start; the program's working files and the desktop's own hidden files are not.
TEST_F(FileLibraryPanel, AHiddenNameImportIsListedAfterARestart) {
    QTemporaryDir outside;
    writePng(outside.filePath(".hidden.png"), Qt::green);
    writeText(outside.filePath(".talk.pptx"), "a presentation");
    writePdf(outside.filePath("slides.pdf"));
    // A stand-in LibreOffice: the PDF under the document's base name in --outdir.
    writeText(outside.filePath("office"),
              QString("#!/bin/sh\n"
                      "for a; do case \"$prev\" in --outdir) out=$a;; esac; prev=$a; doc=$a; done\n"
                      "b=$(basename \"$doc\"); cp '%1' \"$out/${b%.*}.pdf\"\n")
                  .arg(outside.filePath("slides.pdf"))
                  .toUtf8());
    QFile::setPermissions(outside.filePath("office"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    FileLibraryServices s = services();
    s.officeProgram = outside.filePath("office");
    const auto sorted = [](QStringList l) {
        l.sort();
        return l;
    };
    {
        FileLibraryView panel(s);
        panel.show();
        ASSERT_TRUE(panel.importDropped({QUrl::fromLocalFile(outside.filePath(".hidden.png")),
                                         QUrl::fromLocalFile(outside.filePath(".talk.pptx"))}));
        ASSERT_TRUE(panel.waitForImports(60000));
        ASSERT_TRUE(waitUntil([&] { return panel.fileList().size() == 2; }, 20000))
            << panel.errorText().toStdString();
        EXPECT_EQ(sorted(names(panel.fileList())), (QStringList{".hidden", ".talk"}));
    }
    // What the program and the desktop keep under hidden names stays out.
    writeText(lib(".notes.png.copy-abc123.part"), "a copy on its way");
    QDir().mkpath(lib(".Lesson.slides-abc123"));
    writePng(lib(".Lesson.slides-abc123/Lesson.001.png"), Qt::blue);
    writeText(lib(".directory"), "[Desktop Entry]\n");
    QDir().mkpath(lib(".Trash-1000/files"));
    writeText(lib(".DS_Store"), "x");

    FileLibraryView again(s);
    again.show();
    ASSERT_TRUE(waitUntil([&] { return again.fileList().size() >= 2; }, 20000));
    spin(300);
    EXPECT_EQ(sorted(names(again.fileList())), (QStringList{".hidden", ".talk"}));
    for (const auto& item : again.fileList()) {
        ASSERT_TRUE(item->thumbnailImage);
        EXPECT_NE(*item->thumbnailImage, qv::app::genericThumbnail()) << item->name->toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(lib(".talk/.talk.001.png")));
    EXPECT_EQ(again.fileCells().size(), 2u);
}

// Every file of the library has a cell the teacher can delete: one that cannot be read shows a
// plain picture (also after a restart) instead of going unlisted, and a 16-bit PNG of 48 MP
// shows its own.
TEST_F(FileLibraryPanel, EveryFileOfTheLibraryHasACellTheTeacherCanDelete) {
    QTemporaryDir outside;
    writeText(outside.filePath("scan.png"), QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(200, 'x'));
    ASSERT_TRUE(writeBigPng(outside.filePath("poster.png"), 8000, 6000));
    writeText(lib("notes.txt"), "not a picture");
    {
        FileLibraryView panel(services());
        panel.show();
        ASSERT_TRUE(waitUntil([&] { return panel.fileList().size() == 1; }, 20000));
        ASSERT_TRUE(panel.importDropped({QUrl::fromLocalFile(outside.filePath("scan.png")),
                                         QUrl::fromLocalFile(outside.filePath("poster.png"))}));
        ASSERT_TRUE(panel.waitForImports(120000));
        ASSERT_TRUE(waitUntil([&] { return panel.fileList().size() == 3; }, 20000))
            << panel.errorText().toStdString();
        // The damaged copy is named, and listed.
        EXPECT_TRUE(
            panel.errorText().contains("scan.png was copied into the library, but it cannot be shown"))
            << panel.errorText().toStdString();
        EXPECT_FALSE(panel.errorText().contains("poster.png")) << panel.errorText().toStdString();
    }
    FileLibraryView panel(services());
    panel.show();
    ASSERT_TRUE(waitUntil([&] { return panel.fileList().size() == 3; }, 30000));
    spin(200);
    QStringList listed = names(panel.fileList());
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"notes", "poster", "scan"}));
    ASSERT_EQ(panel.fileCells().size(), 3u);
    const QImage generic = qv::app::genericThumbnail();
    for (QWidget* w : panel.fileCells()) {
        auto* cell = static_cast<ThumbnailView*>(w);
        const LibraryFilePtr item = cell->libraryFileItem();
        ASSERT_TRUE(item->thumbnailImage) << item->name->toStdString();
        EXPECT_EQ(*item->thumbnailImage == generic, item->name != "poster") << item->name->toStdString();
        EXPECT_EQ(cell->height(), ThumbnailView::heightWithPicture(cell->font()));
    }
    // The plain picture's delete button removes the copy.
    for (QWidget* w : panel.fileCells()) {
        auto* cell = static_cast<ThumbnailView*>(w);
        if (cell->libraryFileItem()->name != "scan") continue;
        cell->requestDeletion();
        cell->deleteConfirmed();
        break;
    }
    EXPECT_FALSE(QFileInfo::exists(lib("scan.png")));
    EXPECT_EQ(panel.fileList().size(), 2u);
}

// A stand-in LibreOffice: its launcher starts a child (as soffice starts soffice.bin), notes both,
// and waits until "go" appears before it writes the PDF under the document's base name.
QString writeStallingOffice(const QString& folder, const QString& pdf) {
    const QString path = folder + "/office";
    writeText(path, QString("#!/bin/sh\n"
                            "for a; do case \"$prev\" in --outdir) out=$a;; esac; prev=$a; doc=$a; done\n"
                            "sleep 1000 & echo $! > '%1/child'; echo $$ > '%1/launcher'\n"
                            "while [ ! -e '%1/go' ]; do sleep 0.05; done\n"
                            "cp '%2' \"$out/$(basename \"${doc%.*}\").pdf\"\n"
                            "kill $!\n")
                        .arg(folder, pdf)
                        .toUtf8());
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    return path;
}

// Copies go side by side with a conversion: a photo dropped while a presentation converts is
// listed at once. The presentation has a hidden name, and converts all the same.
TEST_F(FileLibraryPanel, APhotoDroppedDuringAConversionIsListedAtOnce) {
    QTemporaryDir outside;
    writePdf(outside.filePath("pages.pdf"));
    writeText(outside.filePath(".lesson.pptx"), "a presentation");
    writePng(outside.filePath("photo.png"), Qt::red);
    FileLibraryServices s = services();
    s.officeProgram = writeStallingOffice(outside.path(), outside.filePath("pages.pdf"));
    const auto noStray = qScopeGuard([&] {
        if (const qint64 child = readPid(outside.filePath("child")); child > 0 && !processGone(child)) ::kill(pid_t(child), SIGKILL);
    });
    FileLibraryView panel(s);
    panel.show();

    ASSERT_TRUE(panel.importDropped({QUrl::fromLocalFile(outside.filePath(".lesson.pptx"))}));
    ASSERT_TRUE(waitUntil([&] { return panel.showingConvertingAlert() && readPid(outside.filePath("child")) > 0; }, 20000));
    ASSERT_TRUE(panel.importDropped({QUrl::fromLocalFile(outside.filePath("photo.png"))}));
    ASSERT_TRUE(waitUntil([&] { return panel.fileList().size() == 1; }, 20000));
    EXPECT_EQ(panel.fileList()[0]->name, "photo");
    EXPECT_TRUE(panel.showingConvertingAlert());  // the conversion still runs

    writeText(outside.filePath("go"), "");
    ASSERT_TRUE(panel.waitForImports(60000));
    ASSERT_TRUE(waitUntil([&] { return panel.fileList().size() == 2; }, 20000)) << panel.errorText().toStdString();
    EXPECT_EQ(panel.fileList()[0]->name, ".lesson");
    EXPECT_EQ(rawValue(panel.fileList()[0]->type), "PPT");
    EXPECT_TRUE(QFileInfo::exists(lib(".lesson/.lesson.001.png")));
    EXPECT_FALSE(panel.showingConvertingAlert());
    EXPECT_EQ(panel.errorText(), "");
}

// The program quits while LibreOffice stalls: the panel goes, and with it LibreOffice, its child,
// its folders in the temporary folder and the slides' working folder.
TEST_F(FileLibraryPanel, QuittingDuringAConversionLeavesNothingRunning) {
    QTemporaryDir outside, temp;
    writePdf(outside.filePath("pages.pdf"));
    writeText(outside.filePath("talk.pptx"), "a presentation");
    FileLibraryServices s = services();
    s.officeProgram = writeStallingOffice(outside.path(), outside.filePath("pages.pdf"));
    const qv::test::ScopedEnv tmp("TMPDIR", temp.path().toUtf8());
    {
        FileLibraryView panel(s);
        panel.show();
        ASSERT_TRUE(panel.importDropped({QUrl::fromLocalFile(outside.filePath("talk.pptx"))}));
        ASSERT_TRUE(waitUntil([&] { return readPid(outside.filePath("child")) > 0; }, 20000));
    }
    for (const char* which : {"child", "launcher"}) {
        const qint64 pid = readPid(outside.filePath(which));
        EXPECT_TRUE(waitUntil([&] { return processGone(pid); }, 5000)) << which;
        if (!processGone(pid)) ::kill(pid_t(pid), SIGKILL);  // not left behind by a failure
    }
    EXPECT_TRUE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_TRUE(QDir(lib()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

}  // namespace
