#pragma once
// Writes an animated GIF from picture files: one frame per file, oldest first, each with a
// graphics control block holding the delay (hundredths of a second) and no loop extension.
// Palettes come from libimagequant with dithering; frames are decoded and quantised on several
// threads at once while the file is written in order. Blocks the calling thread: run it off the
// main thread.
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

namespace qv::library {

struct GifFrameInput {
    QString path;  // the picture file
    QString name;  // how the result message names the frame
};

struct GifEncoderOptions {
    double intervalSeconds = 0.5;
    // Where the record of the working file is kept while it is written (see WorkingFiles.h); empty:
    // the program's own records folder.
    QString recordsFolder;
    int threads = 0;         // 0: one per processor
    // libimagequant speed, 1 (best) to 10 (fastest), and dithering level, 0 to 1. Half-strength
    // dithering at the fastest speed keeps photographs as close to their source as slower
    // settings with full dithering (bench/gif), at a third of the time.
    int speed = 10;
    float dithering = 0.5f;
};

struct GifExportResult {
    bool ok = false;
    QString error;             // why nothing usable was written (ok false)
    int framesWritten = 0;
    std::vector<int> written;  // indexes of the frames in the file
    QStringList skipped;       // names of the frames whose file could not be decoded
};

// Called from worker threads with the number of frames finished and the total.
using GifProgress = std::function<void(int done, int total)>;

// The delay stored for an interval: hundredths of a second, rounded, at least 1.
int gifDelayCentiseconds(double seconds);

// Writes the GIF at `target`, under that name exactly, through a working file beside it (a hidden
// name of its own, so that two exports to one name never share it, within the 255-byte limit,
// locked and noted so that a killed export's is removed at the next start) that is renamed over
// the target only when complete. The file gets the mode the umask leaves. Frames whose file cannot
// be decoded are left out (a line is printed for each); the canvas is the size of the first
// readable frame and other sizes are scaled to fit it. Setting `stop` (from any thread) ends the
// export early: nothing is written and the result says it was stopped.
GifExportResult writeGif(const QString& target, const std::vector<GifFrameInput>& frames,
                         const GifEncoderOptions& options = {}, const GifProgress& progress = {},
                         const std::atomic<bool>* stop = nullptr);

}  // namespace qv::library
