#include "MovieProbe.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <QFile>
#include <QUrl>

namespace qv::test {

namespace {

QStringList readTopLevelBoxes(const QString& path) {
    QStringList boxes;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return boxes;
    const qint64 size = file.size();
    qint64 offset = 0;
    while (offset + 8 <= size) {
        file.seek(offset);
        const QByteArray header = file.read(16);
        if (header.size() < 8) break;
        quint64 boxSize = (quint64(quint8(header[0])) << 24) | (quint64(quint8(header[1])) << 16) |
                          (quint64(quint8(header[2])) << 8) | quint64(quint8(header[3]));
        boxes << QString::fromLatin1(header.mid(4, 4));
        if (boxSize == 1 && header.size() == 16) {
            boxSize = 0;
            for (int i = 8; i < 16; ++i) boxSize = (boxSize << 8) | quint8(header[i]);
        }
        if (boxSize < 8) break;
        offset += qint64(boxSize);
    }
    return boxes;
}

// Runs `description` (with a filesrc named "src" and an appsink named "sink") over `path` and
// hands every sample to `take` until the end of the stream, or until no sample comes for `wait`.
template <typename Take>
void pullAll(const QString& path, const char* description, Take take, GstClockTime wait = 10 * GST_SECOND) {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description, &error);
    if (error) {
        g_error_free(error);
        if (pipeline) gst_object_unref(pipeline);
        return;
    }
    GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    const QByteArray location = QFile::encodeName(path);
    g_object_set(src, "location", location.constData(), nullptr);
    gst_object_unref(src);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    for (;;) {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), wait);
        if (!sample) break;
        take(sample);
        gst_sample_unref(sample);
    }
    gst_object_unref(sink);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

}  // namespace

MovieFacts probeMovie(const QString& path) {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    MovieFacts facts;
    facts.topLevelBoxes = readTopLevelBoxes(path);
    GError* error = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(10 * GST_SECOND, &error);
    if (!discoverer) {
        facts.error = error ? QString::fromUtf8(error->message) : QStringLiteral("no discoverer");
        if (error) g_error_free(error);
        return facts;
    }
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded();
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri.constData(), &error);
    if (error) {
        facts.error = QString::fromUtf8(error->message);
        g_error_free(error);
    }
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        facts.readable = true;
        facts.duration = double(gst_discoverer_info_get_duration(info)) / double(GST_SECOND);
        GList* videos = gst_discoverer_info_get_video_streams(info);
        if (videos) {
            auto* video = GST_DISCOVERER_VIDEO_INFO(videos->data);
            facts.width = int(gst_discoverer_video_info_get_width(video));
            facts.height = int(gst_discoverer_video_info_get_height(video));
            GstCaps* caps = gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(video));
            facts.videoCodec = QString::fromUtf8(gst_structure_get_name(gst_caps_get_structure(caps, 0)));
            gst_caps_unref(caps);
        }
        gst_discoverer_stream_info_list_free(videos);
        GList* audios = gst_discoverer_info_get_audio_streams(info);
        if (audios) {
            GstCaps* caps = gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(audios->data));
            const GstStructure* s = gst_caps_get_structure(caps, 0);
            facts.audioCodec = QString::fromUtf8(gst_structure_get_name(s));
            gst_structure_get_int(s, "mpegversion", &facts.audioMpegVersion);
            gst_caps_unref(caps);
        }
        gst_discoverer_stream_info_list_free(audios);
    }
    if (info) gst_discoverer_info_unref(info);
    g_object_unref(discoverer);
    return facts;
}

double playableVideoSeconds(const QString& path) {
    double end = 0;
    pullAll(
        path,
        "filesrc name=src ! qtdemux name=demux demux.video_0 ! h264parse ! avdec_h264 ! "
        "appsink name=sink sync=false",
        [&](GstSample* sample) {
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            if (buffer && GST_BUFFER_PTS_IS_VALID(buffer)) {
                GstClockTime t = GST_BUFFER_PTS(buffer);
                if (GST_BUFFER_DURATION_IS_VALID(buffer)) t += GST_BUFFER_DURATION(buffer);
                end = std::max(end, double(t) / double(GST_SECOND));
            }
        },
        5 * GST_SECOND);
    return end;
}

std::vector<double> packetTimes(const QString& path, const char* media) {
    std::vector<double> times;
    const QByteArray description = QByteArray("filesrc name=src ! qtdemux name=demux demux.") + media +
                                   "_0 ! appsink name=sink sync=false";
    pullAll(path, description.constData(), [&](GstSample* sample) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (buffer && GST_BUFFER_PTS_IS_VALID(buffer)) times.push_back(double(GST_BUFFER_PTS(buffer)) / double(GST_SECOND));
    });
    return times;
}

std::vector<DecodedFrame> decodedFrames(const QString& path, double from, double to) {
    std::vector<DecodedFrame> frames;
    pullAll(path,
            "filesrc name=src ! qtdemux name=demux demux.video_0 ! h264parse ! avdec_h264 ! videoconvert ! "
            "video/x-raw,format=RGB ! appsink name=sink sync=false",
            [&](GstSample* sample) {
                GstBuffer* buffer = gst_sample_get_buffer(sample);
                if (!buffer || !GST_BUFFER_PTS_IS_VALID(buffer)) return;
                const double time = double(GST_BUFFER_PTS(buffer)) / double(GST_SECOND);
                if (time < from || time >= to) return;
                const GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
                int width = 0, height = 0;
                gst_structure_get_int(s, "width", &width);
                gst_structure_get_int(s, "height", &height);
                GstMapInfo map;
                if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
                const int stride = (width * 3 + 3) & ~3;  // GStreamer's RGB rows are 4-byte aligned
                frames.push_back({time, QImage(map.data, width, height, stride, QImage::Format_RGB888).copy()});
                gst_buffer_unmap(buffer, &map);
            });
    return frames;
}

}  // namespace qv::test
