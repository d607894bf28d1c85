// Records live test sources into the file named on the command line until the process is
// killed; prints "recording" once the first frame has reached the writer. With a second argument
// N, it finishes the movie after N milliseconds of recording and prints "finishing" (the crash
// tests kill it while the file is being finished); otherwise it records on. The crash tests kill
// it with SIGKILL.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "TestFeed.h"
#include "capture/gst/MovieWriter.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const long finishAfterMs = argc > 2 ? std::atol(argv[2]) : -1;
    qv::gst::MovieWriter writer(QString::fromLocal8Bit(argv[1]), true, {});
    QString error;
    if (!writer.start(&error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    qv::test::TestFeed feed("video/x-raw,format=BGRx,width=640,height=360,framerate=30/1", true,
                            [&](GstSample* s) { writer.pushVideo(s); },
                            [&](GstSample* s) { writer.pushAudio(s); });
    while (writer.recordedSeconds() <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::printf("recording\n");
    std::fflush(stdout);
    if (finishAfterMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(finishAfterMs));
        std::printf("finishing\n");
        std::fflush(stdout);
        writer.finish();
    }
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}
