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

#include <fcntl.h>
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

// The main thread's time on a processor and time spent waiting for one (runnable, not running),
// in nanoseconds, from the kernel's scheduler statistics (brought up to date at each switch and
// clock tick, so a figure for one short gap is near, not exact).
class SchedulerClock {
public:
    SchedulerClock() : fd_(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {}
    ~SchedulerClock() {
        if (fd_ >= 0) ::close(fd_);
    }
    SchedulerClock(const SchedulerClock&) = delete;
    SchedulerClock& operator=(const SchedulerClock&) = delete;
    void read(qint64* running, qint64* waiting) const {
        char text[128] = {};
        long long run = 0, wait = 0;
        if (fd_ >= 0 && ::pread(fd_, text, sizeof text - 1, 0) > 0) std::sscanf(text, "%lld %lld", &run, &wait);
        *running = run;
        *waiting = wait;
    }

private:
    int fd_;
};

// A 1 ms timer on the main thread: the longest gap between its ticks is the longest time the
// program could not have answered anything. On a busy machine part of a gap is the thread waiting
// for a processor; the stall the program makes itself is the gap without that wait (its own work
// and any blocking call). Both are kept.
class Heartbeat {
public:
    struct Gap {
        double wallMs = 0, cpuMs = 0, waitMs = 0;
    };
    Heartbeat() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        clock_.start();
        last_ = 0;
        scheduler_.read(&lastRun_, &lastWait_);
        longestWall_ = {};
        longestOwn_ = {};
        timer_.start();
    }
    void stop() {
        tick();
        timer_.stop();
    }
    // The longest gap on the clock, and the longest once the wait for a processor is left out.
    Gap longestWall() const { return longestWall_; }
    Gap longestOwn() const { return longestOwn_; }

private:
    void tick() {
        const qint64 now = clock_.nsecsElapsed();
        qint64 run = 0, wait = 0;
        scheduler_.read(&run, &wait);
        const Gap gap{double(now - last_) / 1e6, double(run - lastRun_) / 1e6, double(wait - lastWait_) / 1e6};
        if (gap.wallMs > longestWall_.wallMs) longestWall_ = gap;
        if (gap.wallMs - gap.waitMs > longestOwn_.wallMs - longestOwn_.waitMs) longestOwn_ = gap;
        last_ = now;
        lastRun_ = run;
        lastWait_ = wait;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    SchedulerClock scheduler_;
    qint64 last_ = 0, lastRun_ = 0, lastWait_ = 0;
    Gap longestWall_, longestOwn_;
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
    double openRowsMs = 0, openPicturesMs = 0;
    int scrollSteps = 0;
    double scrollMs = 0;
    Heartbeat::Gap open[2], scroll[2], close[2];  // the longest on the clock, the longest of its own
    bool ok = false;
};

double ownMs(const Heartbeat::Gap& gap) { return gap.wallMs - gap.waitMs; }

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
    heartbeat.stop();
    f.open[0] = heartbeat.longestWall();
    f.open[1] = heartbeat.longestOwn();

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
    heartbeat.stop();
    f.scroll[0] = heartbeat.longestWall();
    f.scroll[1] = heartbeat.longestOwn();

    // Closing, as the popover is dismissed.
    heartbeat.start();
    delete view;
    runUntil([] { return true; }, 0);
    QCoreApplication::processEvents();
    heartbeat.stop();
    f.close[0] = heartbeat.longestWall();
    f.close[1] = heartbeat.longestOwn();

    qv::app::setFolderLocations(nullptr);
    f.ok = opened && std::max({ownMs(f.open[1]), ownMs(f.scroll[1]), ownMs(f.close[1])}) < stallLimitMs;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COUNT...\n", argv[0]);
        return 2;
    }
    // Per phase two stalls: the longest gap on the clock (with the thread's processor time and its
    // wait for a processor in it), and the longest gap the program made itself (the gap less that
    // wait), which the limit is about.
    std::printf("%9s | %10s | %11s | %-7s | %-36s | %s\n", "bookmarks", "rows shown", "pictures in", "phase",
                "longest gap ms (cpu, wait for cpu)", "longest own stall ms");
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const int count = std::atoi(argv[i]);
        const Figures f = measure(count);
        const struct {
            const char* name;
            const Heartbeat::Gap* gaps;
        } phases[] = {{"open", f.open}, {"scroll", f.scroll}, {"close", f.close}};
        for (const auto& phase : phases) {
            const bool first = phase.gaps == f.open;
            char rows[32] = "", pictures[32] = "";
            if (first) {
                std::snprintf(rows, sizeof rows, "%.0f ms", f.openRowsMs);
                std::snprintf(pictures, sizeof pictures, "%.0f ms", f.openPicturesMs);
            }
            std::printf("%9s | %10s | %11s | %-7s | %8.1f (%6.1f, %6.1f)%12s | %8.1f\n", first ? QByteArray::number(count).constData() : "",
                        rows, pictures, phase.name, phase.gaps[0].wallMs, phase.gaps[0].cpuMs, phase.gaps[0].waitMs, "",
                        ownMs(phase.gaps[1]));
        }
        std::printf("%9s   scrolled %d pages to the end and back in %.0f ms\n", "", f.scrollSteps, f.scrollMs);
        std::fflush(stdout);
        ok = ok && f.ok;
    }
    std::printf("limit (every stall the program makes itself under %.0f ms): %s\n", stallLimitMs, ok ? "yes" : "no");
    return ok ? 0 : 1;
}
