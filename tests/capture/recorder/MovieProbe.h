#pragma once
// What a recorded movie file holds, read the way players read it.
#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

namespace qv::test {

struct MovieFacts {
    bool readable = false;
    QString error;
    double duration = 0;         // seconds, from the discoverer
    QString videoCodec;          // caps name, e.g. "video/x-h264"
    int width = 0;
    int height = 0;
    QString audioCodec;          // e.g. "audio/mpeg" (AAC: mpegversion 4)
    int audioMpegVersion = 0;
    QStringList topLevelBoxes;   // "ftyp", "mdat", "moov", ...

    // The streams in one line: "video/x-h264 640x360, audio/mpeg 4" (no sound: no second part).
    QString streams() const {
        QString text = QStringLiteral("%1 %2x%3").arg(videoCodec).arg(width).arg(height);
        if (!audioCodec.isEmpty()) text += QStringLiteral(", %1 %2").arg(audioCodec).arg(audioMpegVersion);
        return text;
    }
};

// Discovers the file with GStreamer's discoverer and lists its top-level MP4 boxes.
MovieFacts probeMovie(const QString& path);

// Decodes the video track and returns the end time of its last frame in seconds (what a player
// can show of the file, also of a file whose header was never finished).
double playableVideoSeconds(const QString& path);

// The presentation times, in seconds and in file order, of the encoded packets of the file's
// first video ("video") or audio ("audio") track, as the demuxer hands them to a player.
std::vector<double> packetTimes(const QString& path, const char* media);

// Decodes the video track and returns the frames (RGB) whose times fall in [from, to) seconds.
struct DecodedFrame {
    double time = 0;
    QImage image;
};
std::vector<DecodedFrame> decodedFrames(const QString& path, double from, double to);

}  // namespace qv::test
