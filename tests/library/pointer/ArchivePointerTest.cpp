#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <filesystem>

#include "library/ArchiveListView.h"
#include "library/ThumbnailList.h"
#include "library/ThumbnailView.h"
#include "state/AppState.h"
#include "support/QtWait.h"
#include "support/WindowPicture.h"

using namespace qv::library;
using qv::test::waitUntil;

namespace {

bool xdotool(const QStringList& arguments) { return QProcess::execute("xdotool", arguments) == 0; }
bool pointerTo(const QWidget* w, QPoint local) {
    const QPoint at = w->mapToGlobal(local);
    return xdotool({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())});
}
// One notch of the wheel: button 5 turns it down, button 4 up.
bool wheel(bool down) { return xdotool({"click", down ? "5" : "4"}); }

// Twenty snapshots a second apart, each with its number on it, the newest last.
void writeSnapshots(const QString& folder, int count) {
    const auto now = std::filesystem::file_time_type::clock::now();
    for (int i = 0; i < count; ++i) {
        QImage image(640, 360, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 360 / count, 140, 210));
        QPainter p(&image);
        p.setPen(Qt::black);
        p.setFont(QFont("Sans", 120, QFont::Bold));
        p.drawText(image.rect(), Qt::AlignCenter, QString::number(i + 1));
        p.end();
        const QString path = QDir(folder).filePath(QString("20260301_0900%1.png").arg(i, 2, 10, QChar('0')));
        ASSERT_TRUE(image.save(path));
        std::filesystem::last_write_time(path.toStdString(), now - std::chrono::seconds(count - i));
    }
}

// The wheel scrolls the list from the newest snapshot down to the oldest and back; the row under
// the pointer shows its delete button, as a teacher's mouse finds it.
TEST(ArchiveUnderAPointer, TheWheelScrollsTwentySnapshots) {
    QTemporaryDir save;
    auto folders = std::make_shared<qv::app::FolderLocations>(qv::app::FolderLocations::forSaveFolder(save.path()));
    QDir().mkpath(folders->imagesFolderURL);
    QDir().mkpath(folders->videosFolderURL);
    writeSnapshots(folders->imagesFolderURL, 20);
    qv::app::setFolderLocations(folders);

    QWidget window;
    window.setWindowTitle("Archive list");
    window.resize(1000, 700);
    QPalette ground = window.palette();  // a dark camera picture's colour behind the list
    ground.setColor(QPalette::Window, QColor(0x2b, 0x3a, 0x2b));
    window.setPalette(ground);
    window.setAutoFillBackground(true);
    auto* archive = new ArchiveListView(&window);
    archive->collapseDelayMs = 3600 * 1000;
    QSignalSpy loaded(archive, &ArchiveListView::loadFinished);
    window.move(100, 80);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(loaded.count() > 0 || loaded.wait(20000));  // it may have come while the window was shown
    // The list centres itself in the window as it grows: let it settle before pointing at it.
    QRect settled;
    ASSERT_TRUE(waitUntil(
        [&] {
            const QRect now = archive->geometry();
            const bool same = now == settled;
            settled = now;
            return same;
        },
        5000));
    ThumbnailList* list = archive->list();
    QScrollBar* bar = list->verticalScrollBar();
    ASSERT_EQ(list->count(), 20);
    ASSERT_EQ(list->height(), 500);

    ThumbnailView* second = list->cells().at(1);
    ASSERT_TRUE(pointerTo(second, second->thumbnailRect().center()));
    ASSERT_TRUE(waitUntil([&] { return second->showsDeleteButton(); }, 5000))
        << "cell at " << second->mapToGlobal(QPoint(0, 0)).x() << "," << second->mapToGlobal(QPoint(0, 0)).y() << " size "
        << second->width() << "x" << second->height() << " visible " << second->isVisible() << " under "
        << (QApplication::widgetAt(QCursor::pos()) ? QApplication::widgetAt(QCursor::pos())->objectName().toStdString() : "none")
        << " cursor " << QCursor::pos().x() << "," << QCursor::pos().y();
    qv::test::spin(200);
    qv::test::saveWindowPicture(window, "archive-list-20-top.png");

    for (int turn = 0; turn < 60 && bar->value() < bar->maximum(); ++turn) {
        ASSERT_TRUE(wheel(true));
        waitUntil([&] { return false; }, 30);
    }
    ASSERT_TRUE(waitUntil([&] { return bar->value() == bar->maximum(); }, 5000)) << bar->value() << " of " << bar->maximum();
    EXPECT_GT(bar->maximum(), 0);
    ASSERT_FALSE(list->cells().empty());
    EXPECT_EQ(list->cells().back()->libraryFileItem(), archive->fileList().back());
    EXPECT_EQ(archive->fileList().back()->description(), "20260301_090000");
    qv::test::spin(200);
    qv::test::saveWindowPicture(window, "archive-list-20-scrolled.png");

    for (int turn = 0; turn < 60 && bar->value() > 0; ++turn) {
        ASSERT_TRUE(wheel(false));
        waitUntil([&] { return false; }, 30);
    }
    ASSERT_TRUE(waitUntil([&] { return bar->value() == 0; }, 5000));
    EXPECT_EQ(list->cells().front()->libraryFileItem(), archive->fileList().front());
    qv::app::setFolderLocations(nullptr);
}

}  // namespace
