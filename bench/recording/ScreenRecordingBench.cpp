// CPU time per recorded second of a screen recording through the screen recorder, with or without
// highlighted clicks (a click every half second through XTest while highlighting, so the rings are
// really drawn).
//
//   qv_screen_recording_bench <seconds> <output.mp4> <highlight: 0|1>
//
// Run it on a display whose picture moves. Prints one line
// "cpu_s=... recorded_s=... cpu_per_recorded_s=..." for run-recording-bench.sh.
#include <sys/resource.h>

#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

#include "capture/ScreenRecorder.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <seconds> <output.mp4> <highlight: 0|1>\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const int seconds = std::atoi(argv[1]);
    const bool highlight = std::atoi(argv[3]) != 0;
    qv::capture::ScreenRecorder recorder(QString::fromLocal8Bit(argv[2]), 30, std::nullopt, true, highlight,
                                         qv::capture::mainDisplayID(), nullptr, QStringLiteral("avc1"));
    const double cpuStart = cpuSeconds();
    int status = 0;
    double recorded = 0;
    recorder.onFinish = [&](const QString&, const std::optional<QString>& error) {
        if (error) {
            std::fprintf(stderr, "%s\n", error->toLocal8Bit().constData());
            status = 1;
        }
        app.quit();
    };
    Display* display = XOpenDisplay(nullptr);
    QTimer clicks;
    int step = 0;
    QObject::connect(&clicks, &QTimer::timeout, [&] {
        if (!display || !highlight) return;
        ++step;
        XTestFakeMotionEvent(display, -1, 200 + (step * 97) % 1500, 150 + (step * 61) % 800, CurrentTime);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XFlush(display);
    });
    QTimer stopper;
    stopper.setInterval(50);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (recorder.recordedDuration() >= seconds) {
            stopper.stop();
            clicks.stop();
            recorded = recorder.recordedDuration();
            recorder.stop();
        }
    });
    recorder.start();
    clicks.start(500);
    stopper.start();
    app.exec();
    if (display) XCloseDisplay(display);
    const double cpu = cpuSeconds() - cpuStart;
    if (status == 0)
        std::printf("cpu_s=%.3f recorded_s=%.3f cpu_per_recorded_s=%.4f\n", cpu, recorded, cpu / recorded);
    return status;
}
