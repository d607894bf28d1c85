// Records live test sources into the file named on the command line until the process is
// killed; prints "recording" once the first frame has reached the writer. With a second argument
// N, it finishes the movie after N milliseconds of recording and prints "finishing" (the crash
// tests kill it while the file is being finished); otherwise it records on. The crash tests kill
// it with SIGKILL. With "--kill-when STAGE" it kills itself at the movie's first instant, as the
// writer makes its file: "hidden" (the file made under its hidden name), "named" (the file has its
// name, nothing written yet) or "header" (a header and no picture written).
#include <signal.h>

#include <QFile>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "TestFeed.h"
#include "capture/gst/MovieRecovery.h"
#include "capture/gst/MovieWriter.h"

namespace {

// An MP4 header as a fragmented recording's begins: "ftyp", then "moov" announcing fragments.
const char kHeader[] =
    "\0\0\0\x10"
    "ftypisom\0\0\0\0"
    "\0\0\0\x10"
    "moov"
    "\0\0\0\x08"
    "mvex";

int killAt(const QString& path, const char* stage) {
    QString error;
    std::unique_ptr<qv::gst::MovieFileLock> lock = std::strcmp(stage, "hidden") == 0
                                                       ? qv::gst::MovieFileLock::createHidden(path, &error)
                                                       : qv::gst::MovieFileLock::createLocked(path, &error);
    if (!lock) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    if (std::strcmp(stage, "header") == 0) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(kHeader, sizeof kHeader - 1) != qint64(sizeof kHeader - 1))
            return 1;
        file.close();
    }
    ::raise(SIGKILL);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if (argc > 3 && std::strcmp(argv[2], "--kill-when") == 0)
        return killAt(QString::fromLocal8Bit(argv[1]), argv[3]);
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
