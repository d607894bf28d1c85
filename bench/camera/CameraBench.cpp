// Measures the camera view on the synthetic camera: frames shown per second, frames dropped and
// CPU time per shown frame while the view is on screen in a 1280 x 800 window; and the time from
// capturePhoto() to the PNG file on disk.
//
//   qv_camera_bench preview <720|1080|4K> <seconds>
//   qv_camera_bench photo <1080|4K> <count>
//
// Each run prints one line of "key=value" figures for run-camera-bench.sh.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QUrl>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "capture/CameraController.h"
#include "capture/CameraPreviewView.h"
#include "support/CameraWindow.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()>& condition, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms) return false;
        runFor(2);
    }
    return true;
}


QString resolutionSetting(const QString& size) {
    if (size == QLatin1String("4K")) return QStringLiteral("4K@30fps");
    if (size == QLatin1String("720")) return QStringLiteral("720P@30fps");
    return QStringLiteral("1080P@30fps");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s preview|photo <720|1080|4K> <seconds|count>\n", argv[0]);
        return 2;
    }
    qputenv("QUORVANE_SYNTHETIC_DEVICES", QV_TEST_FIXTURES_DIR "/synthetic-devices.json");
    QApplication app(argc, argv);
    const QString mode = QString::fromLatin1(argv[1]);
    const QString size = QString::fromLatin1(argv[2]);
    const int amount = QString::fromLatin1(argv[3]).toInt();
    qv::app::applyResolution(resolutionSetting(size));

    std::vector<QString> captured;
    QObject observer;
    qv::app::NotificationCenter::defaultCenter().addObserver(
        &observer, qv::app::notification::ImageCaptured, [&](const qv::app::Notification& n) {
            captured.push_back(n.userInfo.value(QStringLiteral("url")).toUrl().toLocalFile());
        });

    qv::bench::CameraWindow window;
    if (!window.waitForFrames()) {
        std::fprintf(stderr, "the camera did not start\n");
        return 1;
    }
    auto* controller = window.controller;
    auto* preview = window.preview;
    runFor(1000);  // settle

    if (mode == QLatin1String("preview")) {
        const auto captured0 = controller->framesCaptured();
        const auto painted0 = preview->framesPainted();
        const double cpu0 = cpuSeconds();
        QElapsedTimer clock;
        clock.start();
        runFor(amount * 1000);
        const double seconds = clock.elapsed() / 1000.0;
        const double cpu = cpuSeconds() - cpu0;
        const auto frames = controller->framesCaptured() - captured0;
        // The last frame captured in the window is painted a moment later (well within a frame time).
        runFor(20);
        const auto painted = preview->framesPainted() - painted0;
        const auto frame = controller->latestFrame();
        std::printf("size=%dx%d seconds=%.1f captured=%llu shown=%llu shown_fps=%.2f dropped=%lld cpu_ms_per_frame=%.3f\n",
                    frame ? frame->width() : 0, frame ? frame->height() : 0, seconds, (unsigned long long)frames,
                    (unsigned long long)painted, painted / seconds, std::max(0LL, (long long)frames - (long long)painted),
                    painted ? cpu * 1000.0 / painted : 0.0);
        return 0;
    }

    // Photos: capturePhoto() until "ImageCaptured", one at a time.
    QTemporaryDir saveFolder;
    auto folders = std::make_shared<qv::app::FolderLocations>(qv::app::FolderLocations::forSaveFolder(saveFolder.path()));
    QDir().mkpath(folders->imagesFolderURL);
    qv::app::setFolderLocations(folders);
    std::vector<double> times;
    for (int i = 0; i < amount; ++i) {
        const size_t before = captured.size();
        QElapsedTimer clock;
        clock.start();
        controller->capturePhoto();
        if (!waitUntil([&] { return captured.size() > before; }, 20000)) return 1;
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    // Reference: the same composed picture written by QImage with the default PNG settings.
    const QImage picture(captured.back());
    std::vector<double> reference;
    for (int i = 0; i < std::min(amount, 3); ++i) {
        QElapsedTimer clock;
        clock.start();
        picture.save(saveFolder.filePath(QStringLiteral("reference.png")), "png");
        reference.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(reference.begin(), reference.end());
    const auto frame = controller->latestFrame();
    std::printf("size=%dx%d photos=%d median_ms=%.1f max_ms=%.1f reference_default_png_ms=%.1f\n", frame ? frame->width() : 0,
                frame ? frame->height() : 0, amount, times[times.size() / 2], times.back(), reference[reference.size() / 2]);
    return 0;
}
