// What camera movies leave behind in the process: one movie after another through the camera
// controller (as the record button makes them) on the synthetic camera at 1920 x 1080, each
// recorded for a few seconds, finished and announced with its thumbnail. After each: open
// descriptors, threads and resident memory once the process has settled.
//
//   qv_movie_memory_bench <movies> <seconds per movie>
//
// Prints one line per movie "movie=N descriptors=... threads=... heap_mb=... rss_mb=..." (heap:
// what the allocator has handed out and not got back) and a last line comparing the movies after
// the second (the first two load plug-ins, start the threads that stay and fill the allocator's
// arenas): "descriptor_growth=... thread_growth=... heap_growth_mb=..." from the second movie to
// the last, and "rss_early_mb=... rss_late_mb=..." the lowest resident memory over the earlier
// and over the later half of the movies after the second, for run-movie-memory-bench.sh. (The
// resident memory moves by tens of MB from one movie to the next with where the allocator put the
// live camera's frames; what stays behind for good raises its floor.)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/CameraWindow.h"
#include "support/ProcessUsage.h"
#include "support/QtWait.h"

namespace {

double heapMegabytes() {
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

struct Usage {
    int descriptors = 0;
    int threads = 0;
    double heapMb = 0;
    double rssMb = 0;
};

// Threads and pipelines end a little after the movie is announced: wait until the descriptors and
// threads stop falling (at most `ms`), then read.
Usage settledUsage(int ms) {
    Usage usage{qv::test::openDescriptors(), qv::test::threadCount()};
    QElapsedTimer timer;
    timer.start();
    int quietRounds = 0;
    while (timer.elapsed() < ms && quietRounds < 20) {
        qv::test::spin(50);
        const Usage now{qv::test::openDescriptors(), qv::test::threadCount()};
        quietRounds = (now.descriptors == usage.descriptors && now.threads == usage.threads) ? quietRounds + 1 : 0;
        usage = now;
    }
    usage.heapMb = heapMegabytes();
    usage.rssMb = qv::test::statusMegabytes("VmRSS:");
    return usage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <movies> <seconds per movie>\n", argv[0]);
        return 2;
    }
    qputenv("QUORVANE_SYNTHETIC_DEVICES", QV_TEST_FIXTURES_DIR "/synthetic-devices.json");
    QApplication app(argc, argv);
    const int movies = std::max(4, QString::fromLatin1(argv[1]).toInt());
    const int seconds = std::max(1, QString::fromLatin1(argv[2]).toInt());
    qv::app::applyResolution(QStringLiteral("1080P@30fps"));

    QTemporaryDir saveFolder;
    auto folders = std::make_shared<qv::app::FolderLocations>(qv::app::FolderLocations::forSaveFolder(saveFolder.path()));
    QDir().mkpath(folders->videosFolderURL);
    qv::app::setFolderLocations(folders);

    int announced = 0;
    QObject observer;
    qv::app::NotificationCenter::defaultCenter().addObserver(
        &observer, qv::app::notification::VideoRecorded, [&](const qv::app::Notification&) { ++announced; });

    qv::bench::CameraWindow window;
    if (!window.waitForFrames()) {
        std::fprintf(stderr, "the camera did not start\n");
        return 1;
    }
    auto* controller = window.controller;

    Usage warm;
    Usage last;
    std::vector<double> resident;  // after the second movie
    for (int i = 1; i <= movies; ++i) {
        const int before = announced;
        controller->startMovieRecording();
        qv::test::spin(seconds * 1000);
        controller->startMovieRecording();  // the second press stops it
        if (!qv::test::waitUntil([&] { return announced > before; }, 120000)) {
            std::fprintf(stderr, "movie %d was not announced\n", i);
            return 1;
        }
        last = settledUsage(10000);
        if (i == 2) warm = last;
        if (i > 2) resident.push_back(last.rssMb);
        std::printf("movie=%d descriptors=%d threads=%d heap_mb=%.1f rss_mb=%.1f\n", i, last.descriptors, last.threads,
                    last.heapMb, last.rssMb);
        std::fflush(stdout);
    }
    const auto half = resident.begin() + std::ptrdiff_t(resident.size() / 2);
    std::printf("descriptor_growth=%d thread_growth=%d heap_growth_mb=%.1f rss_early_mb=%.1f rss_late_mb=%.1f\n",
                last.descriptors - warm.descriptors, last.threads - warm.threads, last.heapMb - warm.heapMb,
                *std::min_element(resident.begin(), half), *std::min_element(half, resident.end()));
    return 0;
}
