#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>

#include "library/ThumbnailView.h"
#include "LibraryTestSupport.h"
#include "support/QtWait.h"

using namespace qv::library;
using qv::test::clickAt;
using qv::test::hoverAt;

namespace {

struct CellFixture : ::testing::Test {
    QTemporaryDir dir;
    QString file;
    LibraryFilePtr item;
    int removed = 0;
    int clicked = 0;

    void SetUp() override {
        file = qv::test::writePng(dir.filePath("20260101_101010.png"), Qt::red);
        item = qv::test::itemWithPicture(file);
    }
    std::unique_ptr<ThumbnailView> cell(const QString& source, bool showFav = false) {
        auto view = std::make_unique<ThumbnailView>(
            source, showFav, item, [this] { ++removed; }, [this] { ++clicked; });
        view->resize(view->sizeHint());
        view->show();
        return view;
    }
    QPushButton* alertButton(ThumbnailView& view, bool yes) {
        QMessageBox* alert = view.deleteAlert();
        if (!alert) return nullptr;
        for (QAbstractButton* b : alert->buttons())
            if ((alert->buttonRole(b) == QMessageBox::AcceptRole) == yes) return qobject_cast<QPushButton*>(b);
        return nullptr;
    }
};

TEST_F(CellFixture, GifFrameDeleteButtonRemovesAtOnceAndKeepsTheFile) {
    auto view = cell("gif");
    hoverAt(view.get(), view->thumbnailRect().center());
    ASSERT_TRUE(view->showsDeleteButton());
    clickAt(view.get(), view->hoverControlRect().center());
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(view->deleteAlert(), nullptr);
    EXPECT_FALSE(view->showingDeleteAlert());
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_EQ(clicked, 0);
}

TEST_F(CellFixture, ArchiveCellAsksThenDeletesTheFileOnYes) {
    auto view = cell("archive");
    hoverAt(view.get(), view->thumbnailRect().center());
    clickAt(view.get(), view->hoverControlRect().center());
    ASSERT_TRUE(view->showingDeleteAlert());
    ASSERT_TRUE(view->deleteAlert());
    EXPECT_EQ(view->deletingLibraryFile(), item);
    EXPECT_EQ(view->deleteAlert()->text(), "Are you sure you want to delete this file?");
    EXPECT_EQ(view->deleteAlert()->informativeText(),
              "20260101_101010\n\n This will DELETE the file from your computer.");
    EXPECT_EQ(removed, 0);
    alertButton(*view, true)->click();
    EXPECT_TRUE(qv::test::waitUntil([&] { return removed == 1; }));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_FALSE(view->showingDeleteAlert());
}

TEST_F(CellFixture, CancelLeavesFileAndRow) {
    auto view = cell("archive");
    view->requestDeletion();
    ASSERT_TRUE(view->deleteAlert());
    alertButton(*view, false)->click();
    EXPECT_TRUE(qv::test::waitUntil([&] { return !view->showingDeleteAlert(); }));
    qv::test::spin(50);
    EXPECT_EQ(removed, 0);
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_EQ(view->deletingLibraryFile(), item);  // kept until the next request
}

TEST_F(CellFixture, LibraryCellAsksAboutTheBarWithTheBareName) {
    auto view = cell("library");
    view->requestDeletion();
    ASSERT_TRUE(view->deleteAlert());
    EXPECT_EQ(view->deleteAlert()->text(), "Are you sure you want to remove this file from the plimsk bar?");
    EXPECT_EQ(view->deleteAlert()->informativeText(), "20260101_101010");
    view->deleteAlert()->reject();
}

// A file's name is shown as it is, also when it looks like markup.
TEST_F(CellFixture, TheNameInTheQuestionIsPlainText) {
    item->name = "<b>Test</b> &amp; <i>answers</i>";
    auto view = cell("archive");
    view->requestDeletion();
    ASSERT_TRUE(view->deleteAlert());
    auto* informative = view->deleteAlert()->findChild<QLabel*>("qt_msgbox_informativelabel");
    ASSERT_TRUE(informative);
    EXPECT_EQ(informative->textFormat(), Qt::PlainText);
    EXPECT_TRUE(informative->text().startsWith("<b>Test</b> &amp; <i>answers</i>"));
    view->deleteAlert()->reject();
}

TEST_F(CellFixture, FailedRemovalStillDropsTheItem) {
    auto view = cell("archive");
    QFile::remove(file);
    view->requestDeletion();
    alertButton(*view, true)->click();
    EXPECT_TRUE(qv::test::waitUntil([&] { return removed == 1; }));
}

// A converted presentation is a folder and goes whole; a link goes as a link, and what it points
// to (outside the list's folder) stays as it is.
TEST_F(CellFixture, FoldersGoWholeAndLinksGoAsLinks) {
    QDir(dir.path()).mkpath("elsewhere/Lesson");
    const QString outside = dir.filePath("elsewhere/Lesson/Lesson.001.png");
    qv::test::writePng(outside, Qt::blue);
    QDir(dir.path()).mkpath("list/Lesson");
    qv::test::writePng(dir.filePath("list/Lesson/Lesson.001.png"), Qt::blue);
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere/Lesson"), dir.filePath("list/Linked")));
    ASSERT_TRUE(QFile::link(outside, dir.filePath("list/alias.png")));
    const struct {
        const char* entry;
        const char* url;  // as the lists make it: a folder's ends with "/"
    } cases[] = {{"Lesson", "list/Lesson/"}, {"Linked", "list/Linked/"}, {"alias.png", "list/alias.png"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        item = qv::test::itemWithPicture(dir.filePath(c.url));
        removed = 0;
        auto view = cell("library");
        view->requestDeletion();
        alertButton(*view, true)->click();
        EXPECT_TRUE(qv::test::waitUntil([&] { return removed == 1; }));
        const QFileInfo gone(dir.filePath("list/") + c.entry);
        EXPECT_FALSE(gone.exists() || gone.isSymLink());
        EXPECT_TRUE(QFileInfo(outside).isFile());
    }
    EXPECT_EQ(QDir(dir.filePath("elsewhere/Lesson")).entryList(QDir::Files), QStringList{"Lesson.001.png"});
}

TEST_F(CellFixture, TemplateCellTogglesTheFavoriteAndNeverOffersDelete) {
    auto view = cell("library", /*showFav=*/true);
    EXPECT_FALSE(view->showsFavoriteButton());
    hoverAt(view.get(), view->thumbnailRect().center());
    EXPECT_TRUE(view->hovered());
    EXPECT_TRUE(view->showsFavoriteButton());
    EXPECT_FALSE(view->showsDeleteButton());
    const bool refreshBefore = view->refresh();
    clickAt(view.get(), view->hoverControlRect().center());
    EXPECT_TRUE(item->isFavorited);
    EXPECT_NE(view->refresh(), refreshBefore);
    EXPECT_EQ(view->deleteAlert(), nullptr);

    // Not hovered: the favorited marker stays, and its tap clears the flag.
    hoverAt(view.get(), QPoint(view->width() - 1, view->height() - 1));
    EXPECT_FALSE(view->hovered());
    EXPECT_TRUE(view->showsFavoritedMarker());
    clickAt(view.get(), view->hoverControlRect().center());
    EXPECT_FALSE(item->isFavorited);
    EXPECT_FALSE(view->showsFavoritedMarker());
    EXPECT_EQ(clicked, 0);
    EXPECT_EQ(removed, 0);
}

TEST_F(CellFixture, TapPrintsAndCallsOnClicked) {
    auto view = cell("archive");
    testing::internal::CaptureStdout();
    clickAt(view.get(), view->thumbnailRect().center() + QPoint(20, 10));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "clicked Image\n");
    EXPECT_EQ(clicked, 1);
    // A tap under the picture (on the name) is no tap on the thumbnail.
    clickAt(view.get(), QPoint(view->width() / 2, view->height() - 3));
    EXPECT_EQ(clicked, 1);
}

TEST_F(CellFixture, ItemWithoutPictureShowsOnlyItsName) {
    item->thumbnailImage.reset();
    auto view = cell("archive");
    EXPECT_TRUE(view->thumbnailRect().isEmpty());
    hoverAt(view.get(), QPoint(view->width() / 2, 5));
    clickAt(view.get(), QPoint(view->width() / 2, 5));
    EXPECT_FALSE(view->showsDeleteButton());
    EXPECT_EQ(clicked, 0);
    EXPECT_EQ(view->deleteAlert(), nullptr);
    EXPECT_LT(view->sizeHint().height(), ThumbnailView::thumbnailHeight);
}

TEST_F(CellFixture, DragCarriesTheFileUrl) {
    auto view = cell("archive");
    std::unique_ptr<QMimeData> data(view->dragMimeData());
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->hasFormat("text/uri-list"));
    ASSERT_EQ(data->urls().size(), 1);
    EXPECT_EQ(data->urls()[0], QUrl::fromLocalFile(file));
    EXPECT_EQ(QString::fromUtf8(data->data("text/uri-list")).trimmed(), QUrl::fromLocalFile(file).toString());
}

}  // namespace
