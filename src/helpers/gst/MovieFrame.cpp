#include "helpers/gst/MovieFrame.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <malloc.h>

#include <QFileInfo>
#include <QUrl>

#include <memory>

namespace qv::gst {

namespace {

struct ElementUnref {
    void operator()(GstElement* e) const {
        gst_element_set_state(e, GST_STATE_NULL);
        gst_object_unref(e);
    }
};
struct SampleUnref {
    void operator()(GstSample* s) const { gst_sample_unref(s); }
};
struct MessageUnref {
    void operator()(GstMessage* m) const { gst_message_unref(m); }
};
struct BusUnref {
    void operator()(GstBus* b) const { gst_object_unref(b); }
};

QString messageText(GstMessage* msg) {
    GError* err = nullptr;
    gst_message_parse_error(msg, &err, nullptr);
    QString text = err ? QString::fromUtf8(err->message) : QStringLiteral("unknown error");
    if (err) g_error_free(err);
    return text;
}

struct ObjectUnref {
    void operator()(GstElement* e) const { gst_object_unref(e); }
};

// A new element held by the caller (no longer floating), or null.
template <typename Unref>
std::unique_ptr<GstElement, Unref> make(const char* factory, const char* name = nullptr) {
    GstElement* element = gst_element_factory_make(factory, name);
    return std::unique_ptr<GstElement, Unref>(element ? GST_ELEMENT(gst_object_ref_sink(element)) : nullptr);
}

std::optional<QImage> grab(const QString& path, int maxWidth, int maxHeight, QString* error, int timeoutMs) {
    auto fail = [&](const QString& why) -> std::optional<QImage> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    if (!QFileInfo(path).isFile()) return fail(QStringLiteral("No such file: ") + path);

    // The sinks go after the playbin that uses them, which stops them as it stops.
    auto appsink = make<ObjectUnref>("appsink", "sink");
    auto audio = make<ObjectUnref>("fakesink");
    auto playbin = make<ElementUnref>("playbin");
    if (!playbin || !appsink || !audio) return fail(QStringLiteral("GStreamer playbin is not available"));
    GstElement* sink = appsink.get();
    GstCaps* caps = gst_caps_from_string("video/x-raw,format=BGRx");
    g_object_set(sink, "caps", caps, "sync", FALSE, nullptr);
    gst_caps_unref(caps);
    const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
    g_object_set(playbin.get(), "uri", uri.constData(), "video-sink", sink, "audio-sink", audio.get(), nullptr);
    // The picture alone: a sound track that cannot be decoded must not cost the thumbnail.
    gst_util_set_object_arg(G_OBJECT(playbin.get()), "flags", "video");

    gst_element_set_state(playbin.get(), GST_STATE_PAUSED);
    std::unique_ptr<GstBus, BusUnref> bus(gst_element_get_bus(playbin.get()));
    std::unique_ptr<GstMessage, MessageUnref> msg(gst_bus_timed_pop_filtered(
        bus.get(), GstClockTime(timeoutMs) * GST_MSECOND,
        GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR)));
    if (!msg) return fail(QStringLiteral("Timed out reading ") + path);
    if (GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_ERROR) return fail(messageText(msg.get()));

    std::unique_ptr<GstSample, SampleUnref> sample(gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), GST_SECOND));
    if (!sample) {
        // A movie whose picture starts a little after its sound prerolls on a gap, without a
        // frame: play on to the first one.
        gst_element_set_state(playbin.get(), GST_STATE_PLAYING);
        sample.reset(gst_app_sink_try_pull_sample(GST_APP_SINK(sink), GstClockTime(timeoutMs) * GST_MSECOND));
    }
    if (!sample) {
        // A movie of a single frame may have handed it over as the preroll already.
        GstSample* last = nullptr;
        g_object_get(sink, "last-sample", &last, nullptr);
        sample.reset(last);
    }
    if (!sample) {
        std::unique_ptr<GstMessage, MessageUnref> failure(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
        if (failure) return fail(QStringLiteral("No video frame in ") + path + QStringLiteral(": ") + messageText(failure.get()));
    }
    if (!sample) return fail(QStringLiteral("No video frame in ") + path);
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())))
        return fail(QStringLiteral("Unreadable video format in ") + path);
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return fail(QStringLiteral("Unreadable frame"));
    QImage frame(map.data, GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                 GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), QImage::Format_RGB32);
    QImage scaled = frame.scaled(maxWidth, maxHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (scaled.constBits() == frame.constBits()) scaled = frame.copy();
    gst_buffer_unmap(buffer, &map);
    return scaled;
}

}  // namespace

std::optional<QImage> grabMovieFrame(const QString& path, int maxWidth, int maxHeight, QString* error, int timeoutMs) {
    std::optional<QImage> frame = grab(path, maxWidth, maxHeight, error, timeoutMs);
    // The decoder's frames went back to the allocator, which keeps freed memory of this size for
    // itself: hand it back to the system, or every movie read leaves megabytes resident.
    malloc_trim(0);
    return frame;
}

}  // namespace qv::gst
