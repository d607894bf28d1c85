#pragma once
// What a recorded movie file holds, read the way players read it.
#include <QString>
#include <QStringList>

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

}  // namespace qv::test
