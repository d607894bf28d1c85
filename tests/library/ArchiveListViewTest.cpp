#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "LibraryTestSupport.h"
#include "library/ArchiveListView.h"
#include "library/MainThreadHandover.h"
#include "library/ThumbnailList.h"
#include "library/ThumbnailView.h"
#include "state/AppState.h"
#include "state/Failures.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/QtWait.h"
#include "support/ScopedEnv.h"

using namespace qv::library;
using namespace qv::app;
namespace nt = qv::app::notification;

namespace {

// A save folder with "images/" and "videos/", published as the app-wide folder locations.
struct ArchiveFixture : ::testing::Test {
    QTemporaryDir save;
    std::shared_ptr<FolderLocations> folders;

    void SetUp() override {
        folders = std::make_shared<FolderLocations>(FolderLocations::forSaveFolder(save.path()));
        QDir().mkpath(folders->imagesFolderURL);
        QDir().mkpath(folders->videosFolderURL);
        setFolderLocations(folders);
    }
    void TearDown() override { setFolderLocations(nullptr); }

    QString image(const QString& name) const { return folders->imagesFolderURL + "/" + name; }
    QString video(const QString& name) const { return folders->videosFolderURL + "/" + name; }
    // A picture file modified `seconds` after the base time.
    QString picture(const QString& path, int seconds, QColor colour = Qt::darkGreen) {
        qv::test::writePng(path, colour);
        touch(path, seconds);
        return path;
    }
    // Files and folders alike: `seconds` after a base time well in the past.
    static void touch(const QString& path, int seconds) {
        namespace fs = std::filesystem;
        fs::last_write_time(fs::path(path.toStdString()),
                            fs::file_time_type::clock::now() - std::chrono::seconds(100000 - seconds));
    }
    static QStringList names(const ArchiveListView& list) {
        QStringList out;
        for (const auto& item : list.fileList()) out << item->description();
        return out;
    }
    static std::unique_ptr<ArchiveListView> shownList() {
        auto list = std::make_unique<ArchiveListView>();
        list->collapseDelayMs = 60 * 60 * 1000;
        list->openFolder = [](const QString&, std::function<void(bool)> settled) { settled(true); };
        list->show();
        return list;
    }
};

void announce(const char* name, const QString& path) { post(name, {{"url", QUrl::fromLocalFile(path)}}); }

TEST_F(ArchiveFixture, ListsBothFoldersNewestFirstWithoutHiddenFilesOrBareSlideFolders) {
    picture(image("a.png"), 100);
    picture(video("b.jpg"), 200);  // the videos folder interleaves by date
    picture(image("c.png"), 300);
    picture(image(".hidden.png"), 400);  // hidden: not listed
    QDir().mkpath(image("Lesson"));
    picture(image("Lesson/Lesson.001.png"), 10);
    touch(image("Lesson"), 250);  // a converted presentation, listed as PPT
    QDir().mkpath(image("Empty"));
    touch(image("Empty"), 260);  // a folder without its first slide: skipped
    QFile broken(image("broken.png"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    touch(image("broken.png"), 350);  // no thumbnail: left out
    picture(video("d.png"), 500);

    testing::internal::CaptureStdout();
    auto list = shownList();
    QSignalSpy done(list.get(), &ArchiveListView::loadFinished);
    ASSERT_TRUE(done.wait(20000));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Total Files in Images: 5\n"), std::string::npos) << out;

    EXPECT_EQ(names(*list), QStringList({"d", "c", "Lesson", "b", "a"}));
    const auto& items = list->fileList();
    EXPECT_EQ(items[2]->type, LibraryFileType::PPT);
    EXPECT_EQ(items[3]->type, LibraryFileType::JPG);
    for (const auto& item : items) EXPECT_TRUE(item->thumbnailImage);
    EXPECT_EQ(list->firstFile(), nullptr);  // a load never sets it
    EXPECT_EQ(qv::app::archiveListView.data(), list.get());
    // One cell per item, in order.
    ASSERT_EQ(list->list()->cells().size(), 5u);
    EXPECT_EQ(list->list()->cells()[0]->libraryFileItem(), items[0]);
}

TEST_F(ArchiveFixture, AnnouncedSnapshotGoesOnTopAndTheFirstOneIsRemembered) {
    picture(image("old.png"), 100);
    auto list = shownList();
    QSignalSpy done(list.get(), &ArchiveListView::loadFinished);
    ASSERT_TRUE(done.wait(20000));

    const QString first = picture(image("20260101_120000.png"), 1000, Qt::red);
    announce(nt::ImageCaptured, first);
    ASSERT_TRUE(qv::test::waitUntil([&] { return list->fileList().size() == 2; }, 10000));
    EXPECT_EQ(list->fileList()[0]->description(), "20260101_120000");
    EXPECT_EQ(list->fileList()[0]->type, LibraryFileType::PNG);
    ASSERT_TRUE(list->firstFile());
    EXPECT_EQ(list->firstFile(), list->fileList()[0]);

    // A movie goes on top but never becomes the first file; nor does a later snapshot.
    announce(nt::VideoRecorded, picture(video("movie.jpg"), 1100));
    const QString second = picture(image("20260101_120005.png"), 1200, Qt::blue);
    announce(nt::ImageCaptured, second);
    ASSERT_TRUE(qv::test::waitUntil([&] { return list->fileList().size() == 4; }, 10000));
    EXPECT_EQ(list->fileList()[0]->description(), "20260101_120005");
    EXPECT_EQ(list->fileList()[1]->type, LibraryFileType::MP4);
    EXPECT_EQ(list->firstFile()->description(), "20260101_120000");
    EXPECT_EQ(list->itemForUrl(QUrl::fromLocalFile(second)), list->fileList()[0]);

    // Without "url", or with a file that gives no picture: nothing happens.
    post(nt::ImageCaptured, {});
    announce(nt::ImageCaptured, image("missing.png"));
    qv::test::spin(300);
    EXPECT_EQ(list->fileList().size(), 4u);
}

TEST_F(ArchiveFixture, ListHeightFollowsTheItemCount) {
    auto list = shownList();
    QSignalSpy done(list.get(), &ArchiveListView::loadFinished);
    ASSERT_TRUE(done.wait(20000));
    EXPECT_TRUE(list->list()->emptyLabel()->isVisibleTo(list.get()));
    EXPECT_EQ(list->list()->emptyLabel()->text(), "No Snapshots yet.");
    const std::pair<int, int> cases[] = {{0, 80}, {1, 160}, {4, 400}, {5, 500}, {7, 500}};
    int announced = 0;
    for (const auto& [count, height] : cases) {
        while (announced < count) {
            announce(nt::ImageCaptured, picture(image(QString("s%1.png").arg(announced)), 100 + announced));
            ++announced;
            ASSERT_TRUE(qv::test::waitUntil([&] { return int(list->fileList().size()) == announced; }, 10000));
        }
        EXPECT_EQ(ThumbnailList::listHeight(count), height);
        EXPECT_EQ(list->list()->height(), height) << count << " items";
        EXPECT_EQ(list->list()->emptyLabel()->isVisibleTo(list.get()), count == 0);
    }
}

// Twenty snapshots: the list stays 500 high, every row keeps the full height of its cell (picture
// and name), and the wheel scrolls it down to the oldest.
TEST_F(ArchiveFixture, ALongListScrollsWithRowsOfFullHeight) {
    for (int i = 0; i < 20; ++i) picture(image(QString("s%1.png").arg(i, 2, 10, QChar('0'))), 100 + i);
    auto list = shownList();
    QSignalSpy done(list.get(), &ArchiveListView::loadFinished);
    ASSERT_TRUE(done.wait(20000));
    ThumbnailList* rows = list->list();
    EXPECT_EQ(rows->height(), 500);
    std::vector<ThumbnailView*> cells = rows->cells();
    ASSERT_FALSE(cells.empty());
    const int rowHeight = cells[0]->sizeHint().height();
    EXPECT_GT(rowHeight, ThumbnailView::thumbnailHeight);
    EXPECT_LE(cells.size(), size_t(500 / rowHeight + 2));  // only what is in view has a cell
    for (size_t i = 0; i < cells.size(); ++i) {
        EXPECT_EQ(cells[i]->height(), rowHeight) << i;
        EXPECT_EQ(cells[i]->mapTo(rows->viewport(), QPoint(0, 0)).y(), int(i) * rowHeight) << i;
    }
    EXPECT_EQ(cells.front()->libraryFileItem(), list->fileList().front());

    QScrollBar* bar = rows->verticalScrollBar();
    for (int turn = 0; turn < 40 && bar->value() < bar->maximum(); ++turn) {
        const QPointF at(rows->viewport()->width() / 2.0, 250);
        QWheelEvent wheel(at, rows->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(rows->viewport(), &wheel);
    }
    EXPECT_GT(bar->value(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    cells = rows->cells();
    ASSERT_FALSE(cells.empty());
    EXPECT_EQ(cells.back()->libraryFileItem(), list->fileList().back());
    EXPECT_EQ(cells.back()->mapTo(rows->viewport(), QPoint(0, 0)).y() + rowHeight, rows->viewport()->height());
}

TEST_F(ArchiveFixture, WithoutSaveFolderRetriesAndFillsOnceOneIsChosen) {
    setFolderLocations(nullptr);
    picture(image("a.png"), 100);
    auto list = std::make_unique<ArchiveListView>();
    list->retryDelayMs = 100;
    list->collapseDelayMs = 200;
    testing::internal::CaptureStdout();
    list->show();
    ASSERT_TRUE(qv::test::waitUntil([&] { return list->hideArchiveList(); }));
    qv::test::spin(250);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_GE(std::count(out.begin(), out.end(), '\n'), 2) << out;
    EXPECT_NE(out.find("NO Archive Library yet\n"), std::string::npos);
    EXPECT_TRUE(list->fileList().empty());

    setFolderLocations(folders);
    ASSERT_TRUE(qv::test::waitUntil([&] { return list->fileList().size() == 1; }, 10000));
    EXPECT_TRUE(list->hideArchiveList());  // stays collapsed until the handle is tapped
}

TEST_F(ArchiveFixture, CollapseSlidesOutAndTheHandleBringsItBack) {
    auto list = shownList();
    EXPECT_FALSE(list->hideArchiveList());
    EXPECT_TRUE(list->handlePointsLeft());
    post(nt::HideArchiveList);
    EXPECT_TRUE(list->hideArchiveList());
    ASSERT_TRUE(qv::test::waitUntil([&] { return list->shift() == 140; }));
    EXPECT_FALSE(list->handlePointsLeft());
    // Only the handle's rim stays in view and takes the pointer.
    EXPECT_LE(list->mask().boundingRect().width(), 20);
    qv::test::clickAt(list->handle(), QPoint(45, 25));
    EXPECT_FALSE(list->hideArchiveList());
    ASSERT_TRUE(qv::test::waitUntil([&] { return list->shift() == 0; }));
}

TEST_F(ArchiveFixture, OpenInFinderOpensTheRootFolderOrWarnsWithoutOne) {
    auto list = shownList();
    // The desktop's words, as the sharing menu has them ("Show in File Manager").
    QStringList texts;
    for (QLabel* label : list->openInFinderRow()->findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("Open in File Manager")) << texts.join(", ").toStdString();
    QString opened;
    list->openFolder = [&](const QString& folder, std::function<void(bool)> settled) {
        opened = folder;
        settled(true);
    };
    qv::test::clickAt(list->openInFinderRow(), list->openInFinderRow()->rect().center());
    EXPECT_EQ(opened, folders->rootFolderURL);
    EXPECT_TRUE(list->hideArchiveList());
    EXPECT_EQ(list->shift(), 140);  // without animation

    list->toggleCollapsed();
    setFolderLocations(nullptr);
    opened.clear();
    list->openInFinder();
    ASSERT_TRUE(list->noFolderAlert());
    EXPECT_EQ(list->noFolderAlert()->text(),
              "No Permissions granted to save files on your computer, please restart app and choose a folder to save files!");
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_FALSE(list->hideArchiveList());
    list->noFolderAlert()->accept();
}

// The desktop's own opener, xdg-open, as a stand-in on PATH: missing, finding no file manager,
// opening the folder, or staying with the file manager it started.
TEST_F(ArchiveFixture, OpenInFileManagerSaysWhenNoFileManagerCouldShowTheFolderAndTheListStays) {
    struct Case {
        const char* name;
        const char* script;  // null: no xdg-open at all
        bool opens;
    };
    const Case cases[] = {
        {"no xdg-open", nullptr, false},
        {"no file manager", "#!/bin/sh\necho 'xdg-open: no method available for opening' >&2\nexit 3\n",
         false},
        {"opened", "#!/bin/sh\nexit 0\n", true},
        {"file manager keeps running", "#!/bin/sh\nexec /bin/sleep 4\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir bin;
        if (c.script) {
            QFile script(bin.filePath("xdg-open"));
            ASSERT_TRUE(script.open(QIODevice::WriteOnly));
            script.write(c.script);
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const qv::test::ScopedEnv path("PATH", bin.path().toUtf8());
        QStringList shown;
        setFailureDisplay([&](const QString& text) { shown << text; });
        auto list = std::make_unique<ArchiveListView>();  // the desktop's opener, as the program has it
        list->collapseDelayMs = 60 * 60 * 1000;
        list->show();
        qv::test::clickAt(list->openInFinderRow(), list->openInFinderRow()->rect().center());
        if (c.opens) {
            EXPECT_TRUE(qv::test::waitUntil([&] { return list->hideArchiveList(); }, 15000));
            EXPECT_EQ(list->shift(), 140);
            EXPECT_TRUE(shown.isEmpty()) << shown.join(" | ").toStdString();
        } else {
            ASSERT_TRUE(qv::test::waitUntil([&] { return !shown.isEmpty(); }, 15000));
            EXPECT_TRUE(
                shown.first().startsWith("No file manager could show the folder:\n" + folders->rootFolderURL))
                << shown.first().toStdString();
            qv::test::spin(300);  // nothing slides later either
            EXPECT_FALSE(list->hideArchiveList());
            EXPECT_EQ(list->shift(), 0);
        }
        setFailureDisplay({});
    }
}

TEST_F(ArchiveFixture, TapShowsSideBySideAndCellDeleteRemovesFileAndRow) {
    const QString a = picture(image("a.png"), 100), b = picture(image("b.png"), 200);
    auto list = shownList();
    QSignalSpy done(list.get(), &ArchiveListView::loadFinished);
    ASSERT_TRUE(done.wait(20000));
    EXPECT_EQ(list->generateGifRow(), nullptr);  // the Vemo edition

    QObject observer;
    QVariantMap sideBySide;
    NotificationCenter::defaultCenter().addObserver(&observer, nt::OpenSideBySide,
                                                    [&](const Notification& n) { sideBySide = n.userInfo; });
    ThumbnailView* cellB = list->list()->cells()[0];
    cellB->tap();
    EXPECT_EQ(sideBySide.value("url").toUrl(), QUrl::fromLocalFile(b));
    EXPECT_EQ(sideBySide.size(), 1);

    cellB->requestDeletion();
    ASSERT_TRUE(cellB->deleteAlert());
    for (QAbstractButton* button : cellB->deleteAlert()->buttons())
        if (button->text() == "Yes") button->click();
    ASSERT_TRUE(qv::test::waitUntil([&] { return list->fileList().size() == 1; }));
    EXPECT_FALSE(QFile::exists(b));
    EXPECT_TRUE(QFile::exists(a));
    EXPECT_EQ(names(*list), QStringList({"a"}));
    ASSERT_TRUE(qv::test::waitUntil([&] { return list->list()->cells().size() == 1; }));
}

// A list closed while its load runs: the worker's next hand-over finds the list gone, is refused,
// and the worker stops there instead of making the rest of the thumbnails for nobody. On a busy
// machine the worker may have handed over everything before the list closes; that round shows
// nothing, and the test tries again with a new list.
TEST_F(ArchiveFixture, ListGoneDuringALoadIsNeverTouched) {
    constexpr int pictures = 300;
    for (int i = 0; i < pictures; ++i) picture(image(QString("p%1.png").arg(i)), i, QColor(i % 256, 0, 0));
    bool closedDuringLoad = false;
    for (int attempt = 0; attempt < 10 && !closedDuringLoad; ++attempt) {
        auto list = shownList();
        const std::shared_ptr<MainThreadHandover> handover = list->handover();
        ASSERT_TRUE(qv::test::waitUntil([&] { return !list->fileList().empty(); }, 20000));
        list.reset();
        EXPECT_FALSE(handover->alive());
        // Every picture and the closing word handed over, or a refusal: the worker has ended.
        ASSERT_TRUE(qv::test::waitUntil(
            [&] { return handover->refused() > 0 || handover->handed() == pictures + 1; }, 20000));
        if (handover->refused() == 0) continue;
        closedDuringLoad = true;
        qv::test::spin(300);
        EXPECT_EQ(handover->refused(), 1);
        EXPECT_LT(handover->handed(), pictures + 1);
    }
    EXPECT_TRUE(closedDuringLoad) << "the worker finished before the list closed, ten times";
    EXPECT_TRUE(qv::app::archiveListView.isNull());
}

}  // namespace
