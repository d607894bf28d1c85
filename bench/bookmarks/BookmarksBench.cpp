// The bookmark popover benchmark's program: for each count given, a save folder with that many
// bookmarks, each with a picture file of its own; the popover's list opened in a window, scrolled
// page by page to the end and flung back, then closed. Prints one row per count and whether the
// longest stall stayed under the limit (exit status 1 when not).
//   qv_bookmarks_bench COUNT...
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "state/AppState.h"
#include "webpanels/BookmarkListView.h"
#include "webpanels/BookmarkPictures.h"
#include "webpanels/Bookmarks.h"
#include "webpanels/BrowserBookmarkView.h"

namespace {

using qv::webpanels::BookmarkPictures;
using qv::webpanels::BrowserBookmarkView;

constexpr double stallLimitMs = 100;

// A 1 ms timer on the main thread: the longest gap between its ticks is the longest time the
// program could not have answered anything.
class Heartbeat {
public:
    Heartbeat() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        clock_.start();
        last_ = 0;
        longest_ = 0;
        timer_.start();
    }
    double stopMs() {
        tick();
        timer_.stop();
        return double(longest_) / 1e6;
    }

private:
    void tick() {
        const qint64 now = clock_.nsecsElapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

// Runs the event loop until `done` holds; false after `timeoutMs`.
bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// Counts the list's paints.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

bool picturesOnScreenKnown(BrowserBookmarkView* view) {
    auto* list = view->listView();
    const QRect shown = list->viewport()->rect();
    for (int row = list->indexAt(shown.topLeft()).row(); row >= 0 && row < list->model()->rowCount(); ++row) {
        if (!list->visualRect(list->model()->index(row, 0)).intersects(shown)) break;
        if (view->pictures()->peek(view->bookmarkList()[row].thumbnail).state == BookmarkPictures::State::loading)
            return false;
    }
    return true;
}

struct Figures {
    double openRowsMs = 0, openPicturesMs = 0, openStallMs = 0;
    int scrollSteps = 0;
    double scrollMs = 0, scrollStallMs = 0, closeStallMs = 0;
    bool ok = false;
};

Figures measure(int count) {
    Figures f;
    QTemporaryDir save;
    auto folders = std::make_shared<qv::app::FolderLocations>(qv::app::FolderLocations::forSaveFolder(save.path()));
    const QString folder = folders->bookmarkFolderURL;
    QDir().mkpath(folder);
    qv::app::setFolderLocations(folders);

    // Six snapshots of a page; every bookmark's picture a file of its own (a hard link to one).
    for (int c = 0; c < 6; ++c) {
        QImage picture(600, 360, QImage::Format_ARGB32);
        picture.fill(QColor::fromHsv(c * 60, 160, 200));
        QPainter p(&picture);
        p.setPen(Qt::white);
        p.setFont(QFont("DejaVu Sans", 48));
        p.drawText(picture.rect(), Qt::AlignCenter, QString("Page %1").arg(c + 1));
        p.end();
        picture.save(QDir(folder).filePath(QString("source%1.png").arg(c)));
    }
    QList<qv::webpanels::Bookmark> list;
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        auto b = qv::webpanels::makeBookmark(QString("http://lessons.example/%1").arg(i),
                                             QString("Lesson %1: a page with a long title").arg(i));
        const QByteArray from = QDir(folder).filePath(QString("source%1.png").arg(i % 6)).toLocal8Bit();
        const QByteArray to = QDir(folder).filePath(b.thumbnail).toLocal8Bit();
        if (::link(from.constData(), to.constData()) != 0) std::perror("link");
        list << b;
    }
    qv::webpanels::writeWholeFile(qv::webpanels::bookmarksFilePath(folder), qv::webpanels::bookmarksJson(list));

    QWidget window;
    window.resize(300, 620);
    window.show();
    runUntil([&] { return window.isVisible(); }, 5000);
    QCoreApplication::processEvents();

    // Opening: as the browser panel does, a new popover view shown.
    Heartbeat heartbeat;
    PaintCounter painted;
    QElapsedTimer clock;
    heartbeat.start();
    clock.start();
    auto* view = new BrowserBookmarkView(&window);
    view->listView()->viewport()->installEventFilter(&painted);
    view->move(80, 20);
    view->show();
    bool opened = runUntil([&] { return view->loaded() && view->bookmarkList().size() == count && painted.paints > 0; }, 60000);
    f.openRowsMs = double(clock.nsecsElapsed()) / 1e6;
    opened = opened && runUntil([&] { return picturesOnScreenKnown(view); }, 60000);
    f.openPicturesMs = double(clock.nsecsElapsed()) / 1e6;
    f.openStallMs = heartbeat.stopMs();

    // Scrolling: page by page to the end, each page drawn before the next, then back to the top.
    QScrollBar* bar = view->listView()->verticalScrollBar();
    heartbeat.start();
    clock.restart();
    for (int value = 0; value <= bar->maximum(); value += bar->pageStep()) {
        const int before = painted.paints;
        bar->setValue(value);
        runUntil([&] { return painted.paints > before; }, 5000);
        ++f.scrollSteps;
    }
    bar->setValue(0);
    runUntil([&] { return picturesOnScreenKnown(view); }, 60000);
    f.scrollMs = double(clock.nsecsElapsed()) / 1e6;
    f.scrollStallMs = heartbeat.stopMs();

    // Closing, as the popover is dismissed.
    heartbeat.start();
    delete view;
    runUntil([] { return true; }, 0);
    QCoreApplication::processEvents();
    f.closeStallMs = heartbeat.stopMs();

    qv::app::setFolderLocations(nullptr);
    f.ok = opened && std::max({f.openStallMs, f.scrollStallMs, f.closeStallMs}) < stallLimitMs;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COUNT...\n", argv[0]);
        return 2;
    }
    std::printf("%10s | %14s | %14s | %14s | %22s | %14s | %14s\n", "bookmarks", "rows shown ms", "pictures ms",
                "stall open ms", "scrolled (pages, ms)", "stall scroll ms", "stall close ms");
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const int count = std::atoi(argv[i]);
        const Figures f = measure(count);
        std::printf("%10d | %14.1f | %14.1f | %14.1f | %9d pages %6.0f | %14.1f | %14.1f\n", count, f.openRowsMs,
                    f.openPicturesMs, f.openStallMs, f.scrollSteps, f.scrollMs, f.scrollStallMs, f.closeStallMs);
        std::fflush(stdout);
        ok = ok && f.ok;
    }
    std::printf("limit (every stall under %.0f ms): %s\n", stallLimitMs, ok ? "yes" : "no");
    return ok ? 0 : 1;
}
