#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QLineEdit>
#include <QFileInfo>

#include "GifDecode.h"
#include "LibraryTestSupport.h"
#include "library/ArchiveListView.h"
#include "library/GifGeneratorView.h"
#include "library/ThumbnailList.h"
#include "library/ThumbnailView.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/QtWait.h"

using namespace qv::library;
using namespace qv::app;
namespace nt = qv::app::notification;

namespace {

// An archive list on a save folder with two older snapshots found by its load (O2 older than O1).
struct GifFixture : ::testing::Test {
    QTemporaryDir save;
    std::shared_ptr<FolderLocations> folders;
    std::unique_ptr<ArchiveListView> archive;
    QObject observer;
    int toggles = 0;
    int shot = 0;

    void SetUp() override {
        folders = std::make_shared<FolderLocations>(FolderLocations::forSaveFolder(save.path()));
        QDir().mkpath(folders->imagesFolderURL);
        QDir().mkpath(folders->videosFolderURL);
        setFolderLocations(folders);
        older("O2", 100, Qt::darkRed);
        older("O1", 200, Qt::darkBlue);
        archive = std::make_unique<ArchiveListView>();
        archive->collapseDelayMs = 60 * 60 * 1000;
        QSignalSpy loaded(archive.get(), &ArchiveListView::loadFinished);
        archive->show();
        ASSERT_TRUE(loaded.wait(20000));
        NotificationCenter::defaultCenter().addObserver(&observer, nt::OpenGifGenerator,
                                                        [this](const Notification&) { ++toggles; });
    }
    void TearDown() override {
        archive.reset();
        setFolderLocations(nullptr);
    }
    QString image(const QString& name) const { return folders->imagesFolderURL + "/" + name + ".png"; }
    void older(const QString& name, int seconds, QColor colour) {
        qv::test::writePng(image(name), colour, 320, 180);
        namespace fs = std::filesystem;
        fs::last_write_time(fs::path(image(name).toStdString()),
                            fs::file_time_type::clock::now() - std::chrono::seconds(100000 - seconds));
    }
    // Takes a snapshot: writes the file and announces it; waits until the archive list shows it.
    LibraryFilePtr snapshot(const QString& name) {
        const int count = int(archive->fileList().size());
        QImage picture(320, 180, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv((shot++ * 67) % 360, 200, 220));
        QPainter(&picture).fillRect(40, 40, 100, 60, Qt::white);
        picture.save(image(name));
        post(nt::ImageCaptured, {{"url", QUrl::fromLocalFile(image(name))}});
        EXPECT_TRUE(qv::test::waitUntil([&] { return int(archive->fileList().size()) == count + 1; }, 10000));
        return archive->fileList().front();
    }
    QTemporaryDir notes;
    std::unique_ptr<GifGeneratorView> openMaker(QWidget* window = nullptr) {
        auto maker = std::make_unique<GifGeneratorView>(window);
        maker->encoderOptions.recordsFolder = notes.path();
        maker->show();
        return maker;
    }
    static QStringList names(const std::vector<LibraryFilePtr>& frames) {
        QStringList out;
        for (const auto& f : frames) out << f->description();
        return out;
    }
};

TEST_F(GifFixture, OpensWithTheSnapshotsSinceStartAndAddsOlderOnes) {
    snapshot("A");
    snapshot("B");
    snapshot("C");
    auto maker = openMaker();
    EXPECT_EQ(names(maker->frameFileList()), QStringList({"A", "B", "C"}));
    // The frames are the archive list's own items.
    EXPECT_EQ(maker->frameFileList()[2], archive->fileList()[0]);
    EXPECT_TRUE(maker->previewTimerRunning());
    EXPECT_EQ(maker->frameCountLabel()->text(), "3 Frames");

    // Frame-list operations, each from the state the previous one left.
    struct Step {
        const char* what;
        std::function<void()> run;
        QStringList frames;
    } steps[] = {
        {"+1", [&] { maker->button("+1")->click(); }, {"O1", "A", "B", "C"}},
        {"+3 (only one older left)", [&] { maker->button("+3")->click(); }, {"O2", "O1", "A", "B", "C"}},
        {"+5 (none left)", [&] { maker->button("+5")->click(); }, {"O2", "O1", "A", "B", "C"}},
        {"remove B", [&] { maker->removeFrame(maker->frameFileList()[3]); }, {"O2", "O1", "A", "C"}},
        {"remove an item not in the list", [&] { maker->removeFrame(makeLibraryFile(QUrl::fromLocalFile("/x.png"))); },
         {"O2", "O1", "A", "C"}},
        {"append D", [&] { snapshot("D"); qv::test::waitUntil([&] { return maker->frameFileList().size() == 5; }); },
         {"O2", "O1", "A", "C", "D"}},
        {"clear", [&] { maker->button("Clear")->click(); }, {}},
        {"+3 with no frames takes the three newest", [&] { maker->button("+3")->click(); }, {"B", "C", "D"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.run();
        EXPECT_EQ(names(maker->frameFileList()), s.frames);
        EXPECT_EQ(int(maker->frameList()->cells().size()), s.frames.size());
        EXPECT_EQ(maker->frameList()->height(), ThumbnailList::listHeight(int(s.frames.size())));
    }
    // Removing a frame leaves the snapshot on the disk and in the archive list.
    EXPECT_TRUE(QFile::exists(image("B")));
    EXPECT_TRUE(archive->itemForUrl(QUrl::fromLocalFile(image("B"))));
}

TEST_F(GifFixture, WithoutASnapshotSinceStartThereAreNoFramesUntilAsked) {
    auto maker = openMaker();
    EXPECT_TRUE(maker->frameFileList().empty());
    EXPECT_FALSE(maker->previewTimerRunning());
    EXPECT_TRUE(maker->frameList()->emptyLabel()->isVisibleTo(maker.get()));
    EXPECT_EQ(maker->frameList()->emptyLabel()->text(), "Next snapshot will be here.");
    EXPECT_FALSE(maker->previewPart()->isVisibleTo(maker.get()));
    maker->loadPreviousFrames(3);
    EXPECT_EQ(names(maker->frameFileList()), QStringList({"O2", "O1"}));
    EXPECT_TRUE(maker->previewTimerRunning());
}

TEST_F(GifFixture, PreviewCyclesAndClearEmptiesItAtTheNextTick) {
    snapshot("A");
    snapshot("B");
    auto maker = openMaker();
    EXPECT_EQ(maker->gifCurrentFrameFile(), nullptr);
    const QStringList expected = {"A", "B", "A"};
    for (const QString& name : expected) {
        maker->advancePreview();
        ASSERT_TRUE(maker->gifCurrentFrameFile());
        EXPECT_EQ(maker->gifCurrentFrameFile()->description(), name);
    }
    EXPECT_TRUE(maker->previewPart()->isVisibleTo(maker.get()));
    EXPECT_TRUE(maker->button("Clear")->isVisibleTo(maker.get()));
    maker->clearFrames();
    EXPECT_TRUE(maker->gifCurrentFrameFile());  // until the next tick
    maker->advancePreview();
    EXPECT_EQ(maker->gifCurrentFrameFile(), nullptr);
    EXPECT_FALSE(maker->previewPart()->isVisibleTo(maker.get()));
    EXPECT_FALSE(maker->button("Clear")->isVisibleTo(maker.get()));
    EXPECT_TRUE(maker->previewTimerRunning());

    // The real timer shows the first frame one interval after it starts.
    maker->loadPreviousFrames(1);
    EXPECT_TRUE(qv::test::waitUntil([&] { return maker->gifCurrentFrameFile() != nullptr; }, 5000));
}

// Under the picture the controls stand together, each part at its own width with the two spaces of
// 50 between them, and the row is centred.
TEST_F(GifFixture, TheControlsRowIsPackedAndCentred) {
    snapshot("A");
    auto maker = openMaker();
    maker->advancePreview();
    ASSERT_TRUE(maker->previewPart()->isVisibleTo(maker.get()));
    maker->adjustSize();
    qv::test::spin(50);
    QWidget* count = maker->frameCountLabel();
    auto* slow = maker->findChild<QLabel*>("slowLabel");
    auto* fast = maker->findChild<QLabel*>("fastLabel");
    QPushButton* button = maker->button("Export GIF");
    ASSERT_TRUE(slow && fast && button);
    for (QWidget* part : {count, static_cast<QWidget*>(slow), static_cast<QWidget*>(fast)})
        EXPECT_EQ(part->width(), part->sizeHint().width()) << part->objectName().toStdString();
    EXPECT_EQ(button->width(), std::max(80, button->sizeHint().width()));
    EXPECT_EQ(maker->speedSlider()->width(), 150);
    const int spacing = slow->x() - (count->geometry().right() + 1) - 50;
    EXPECT_GE(spacing, 0);
    EXPECT_LE(spacing, 2 * 12);  // the layout's own spacing on both sides of the space
    EXPECT_EQ(button->x() - (fast->geometry().right() + 1), 50 + spacing);
    const int left = count->x(), right = maker->previewPart()->width() - (button->geometry().right() + 1);
    EXPECT_NEAR(left, right, 2);
    EXPECT_GT(left, 30);  // the row is narrower than the 640 of the picture
}

TEST_F(GifFixture, SliderSetsTheInterval) {
    auto maker = openMaker();
    EXPECT_DOUBLE_EQ(maker->gifInterval(), 0.5);
    EXPECT_EQ(maker->speedSlider()->value(), 100);
    const std::pair<int, double> cases[] = {{0, 1.5}, {140, 0.1}, {100, 0.5}, {70, 0.8}};
    for (const auto& [position, interval] : cases) {
        maker->speedSlider()->setValue(position);
        EXPECT_NEAR(maker->gifInterval(), interval, 1e-9) << position;
        EXPECT_TRUE(maker->previewTimerRunning());
    }
}

// The frame appended after "ImageCaptured" is the archive list's item for that file, even when
// the list puts it on top only later, and even when another item is on top meanwhile.
TEST_F(GifFixture, AppendedFrameIsTheArchiveItemForTheAnnouncedFile) {
    snapshot("A");
    auto maker = openMaker();
    maker->appendDelayMs = 20;
    const QString late = image("late");
    qv::test::writePng(late, Qt::magenta, 320, 180);
    const Notification announced{nt::ImageCaptured, {{"url", QUrl::fromLocalFile(late)}}};
    maker->snapshotCaptured(announced);  // the archive list has not heard of it yet
    // Meanwhile a movie goes on top of the archive list.
    const QString movie = folders->videosFolderURL + "/clip.jpg";
    qv::test::writePng(movie, Qt::yellow, 320, 180);
    post(nt::VideoRecorded, {{"url", QUrl::fromLocalFile(movie)}});
    ASSERT_TRUE(qv::test::waitUntil([&] { return archive->fileList().size() == 4; }, 10000));
    qv::test::spin(200);
    EXPECT_EQ(names(maker->frameFileList()), QStringList({"A"}));

    archive->addCapturedFile(announced, LibraryFileType::PNG);
    ASSERT_TRUE(qv::test::waitUntil([&] { return maker->frameFileList().size() == 2; }, 10000));
    EXPECT_EQ(maker->frameFileList().back(), archive->itemForUrl(QUrl::fromLocalFile(late)));
    qv::test::spin(100);
    EXPECT_EQ(maker->frameFileList().size(), 2u);  // appended once
}

struct ExportFixture : GifFixture {
    std::unique_ptr<GifGeneratorView> maker;
    QString target;
    void SetUp() override {
        GifFixture::SetUp();
        snapshot("A");
        snapshot("B");
        snapshot("C");
        maker = openMaker();
        maker->setSliderValue(1.5 - 0.3);
        target = save.filePath("export.gif");
    }
    bool exportTo(const QString& path) {
        QSignalSpy finished(maker.get(), &GifGeneratorView::exportFinished);
        maker->exportGif(path);
        EXPECT_TRUE(maker->exporting());
        EXPECT_TRUE(finished.wait(30000));
        EXPECT_FALSE(maker->exporting());
        return finished.count() == 1 && finished[0][0].toBool();
    }
    QAbstractButton* alertButton(const QString& text) {
        if (!maker->resultAlert()) return nullptr;
        for (QAbstractButton* b : maker->resultAlert()->buttons())
            if (b->text() == text) return b;
        return nullptr;
    }
};

TEST_F(ExportFixture, ThreeFramesExportThenDeleteRemovesTheSnapshots) {
    ASSERT_TRUE(exportTo(target));
    const auto gif = qv::test::decodeGif(target);
    ASSERT_TRUE(gif.ok);
    ASSERT_EQ(gif.frames.size(), 3u);
    EXPECT_EQ(gif.delays, (std::vector<int>{30, 30, 30}));
    EXPECT_FALSE(gif.hasApplicationExtension);
    for (const char* name : {"A", "B", "C"}) {
        const int i = name[0] - 'A';
        EXPECT_GE(qv::test::psnr(gif.frames[size_t(i)], QImage(image(name))), 30.0) << name;
    }

    ASSERT_TRUE(maker->resultAlert());
    EXPECT_EQ(maker->resultAlert()->text(), "Export Successful!");
    EXPECT_EQ(maker->resultAlert()->informativeText(), "Do you want to DELETE original snapshots from your computer?");
    EXPECT_TRUE(maker->showingDeleteAlert());
    ASSERT_TRUE(alertButton("Keep"));

    // The root view destroys the panel as soon as "OpenGifGenerator" arrives.
    QObject closer;
    NotificationCenter::defaultCenter().addObserver(&closer, nt::OpenGifGenerator, [this](const Notification&) { maker.reset(); });
    alertButton("DELETE")->click();
    ASSERT_TRUE(qv::test::waitUntil([&] { return toggles == 1; }));
    EXPECT_EQ(maker, nullptr);
    for (const char* name : {"A", "B", "C"}) EXPECT_FALSE(QFile::exists(image(name))) << name;
    EXPECT_EQ(archive->fileList().size(), 2u);  // the two older snapshots
    EXPECT_EQ(archive->firstFile(), nullptr);
    EXPECT_TRUE(QFile::exists(target));

    // Reopened: no frames until a new snapshot is taken.
    maker = openMaker();
    EXPECT_TRUE(maker->frameFileList().empty());
    maker->appendDelayMs = 20;
    snapshot("E");
    ASSERT_TRUE(qv::test::waitUntil([&] { return maker->frameFileList().size() == 1; }));
    maker.reset();
    auto again = openMaker();
    EXPECT_EQ(names(again->frameFileList()), QStringList({"E"}));
}

TEST_F(ExportFixture, KeepLeavesTheSnapshotsAndCloses) {
    ASSERT_TRUE(exportTo(target));
    alertButton("Keep")->click();
    ASSERT_TRUE(qv::test::waitUntil([&] { return toggles == 1; }));
    for (const char* name : {"A", "B", "C"}) EXPECT_TRUE(QFile::exists(image(name)));
    EXPECT_EQ(archive->fileList().size(), 5u);
    maker->close();
    EXPECT_EQ(toggles, 2);
}

TEST_F(ExportFixture, FailedExportSaysSoAndNeverOffersToDelete) {
    EXPECT_FALSE(exportTo(save.filePath("missing/folder/export.gif")));
    ASSERT_TRUE(maker->resultAlert());
    EXPECT_EQ(maker->resultAlert()->text(), "Export Failed");
    EXPECT_TRUE(maker->resultAlert()->informativeText().contains("missing/folder/export.gif"));
    EXPECT_EQ(alertButton("DELETE"), nullptr);
    EXPECT_EQ(alertButton("Keep"), nullptr);
    EXPECT_FALSE(maker->showingDeleteAlert());
    maker->resultAlert()->accept();
    qv::test::spin(50);
    EXPECT_EQ(toggles, 0);
    for (const char* name : {"A", "B", "C"}) EXPECT_TRUE(QFile::exists(image(name)));
}

TEST_F(ExportFixture, UndecodableFrameIsLeftOutNamedAndKeptFromDelete) {
    QFile::remove(image("B"));  // deleted from the archive list while it stood in the frames
    ASSERT_TRUE(exportTo(target));
    EXPECT_EQ(qv::test::decodeGif(target).frames.size(), 2u);
    EXPECT_EQ(maker->lastExport().skipped, QStringList({"B"}));
    EXPECT_TRUE(maker->resultAlert()->informativeText().contains("B"));
    EXPECT_TRUE(maker->resultAlert()->informativeText().startsWith(
        "Do you want to DELETE original snapshots from your computer?"));
    alertButton("DELETE")->click();
    ASSERT_TRUE(qv::test::waitUntil([&] { return toggles == 1; }));
    EXPECT_FALSE(QFile::exists(image("A")));
    EXPECT_FALSE(QFile::exists(image("C")));
    // B's item was not in the GIF: it stays in the archive list.
    EXPECT_TRUE(archive->itemForUrl(QUrl::fromLocalFile(image("B"))));
}

TEST_F(ExportFixture, NothingToExportWritesNothing) {
    QSignalSpy finished(maker.get(), &GifGeneratorView::exportFinished);
    maker->exportGif(QString());
    maker->clearFrames();
    maker->exportGif(target);
    qv::test::spin(100);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_FALSE(maker->resultAlert());
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(ExportFixture, SavePanelProposesExportGifAndStopsThePreview) {
    maker->showExportPanel();
    ASSERT_TRUE(maker->exportPanel());
    QFileDialog* panel = maker->exportPanel();
    EXPECT_EQ(panel->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(panel->selectedFiles().value(0).section('/', -1), "export.gif");
    EXPECT_TRUE(maker->previewTimerRunning());
    QSignalSpy finished(maker.get(), &GifGeneratorView::exportFinished);
    panel->selectFile(target);
    QMetaObject::invokeMethod(panel, "accept");
    EXPECT_FALSE(maker->previewTimerRunning());
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_TRUE(QFile::exists(target));
}

// The name as typed into the save panel, double quotes and all, is the GIF's name; Qt's dialog
// would have read the quoted part as a name of its own.
TEST_F(ExportFixture, AQuotedNameTypedInThePanelLandsAsTyped) {
    maker->showExportPanel();
    ASSERT_TRUE(maker->exportPanel());
    QFileDialog* panel = maker->exportPanel();
    panel->setDirectory(save.path());
    auto* edit = panel->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_TRUE(edit);
    QSignalSpy finished(maker.get(), &GifGeneratorView::exportFinished);
    edit->selectAll();
    QTest::keyClicks(edit, "my \"class\" #1.gif");
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_TRUE(finished[0][0].toBool()) << maker->lastExport().error.toStdString();
    EXPECT_EQ(qv::test::decodeGif(save.filePath("my \"class\" #1.gif")).frames.size(), 3u);
    EXPECT_FALSE(QFileInfo::exists(save.filePath("class")));
    EXPECT_EQ(QDir(save.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"my \"class\" #1.gif"});
    EXPECT_EQ(maker->resultAlert()->text(), "Export Successful!");
}

// "Close" waits for the export's end; a panel closed another way while it exports (the root view
// toggles it away) stops the export, writes nothing and says so on the window.
TEST_F(ExportFixture, ClosingDuringAnExportStopsItAndSaysSo) {
    QWidget window;
    window.resize(1400, 900);
    window.show();
    maker = openMaker(&window);
    maker->encoderOptions.threads = 1;
    QSignalSpy finished(maker.get(), &GifGeneratorView::exportFinished);
    maker->exportGif(target);
    EXPECT_FALSE(maker->button("Close")->isEnabled());
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_TRUE(maker->button("Close")->isEnabled());
    maker->resultAlert()->reject();
    QFile::remove(target);

    maker->exportGif(target);
    maker.reset();
    QMessageBox* told = nullptr;
    ASSERT_TRUE(qv::test::waitUntil([&] { return (told = window.findChild<QMessageBox*>("exportStoppedAlert")); }));
    EXPECT_TRUE(told->text().contains("the export was stopped and nothing was written")) << told->text().toStdString();
    // The worker ends on its own: then nothing is in the folder, under any name.
    EXPECT_TRUE(qv::test::waitUntil([&] { return QDir(save.path()).entryList(QDir::Files | QDir::Hidden).isEmpty(); }, 10000))
        << QDir(save.path()).entryList(QDir::Files | QDir::Hidden).join(", ").toStdString();
    QThreadPool::globalInstance()->waitForDone(30000);
    EXPECT_TRUE(QDir(save.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(QDir(notes.path()).isEmpty());
}

}  // namespace
