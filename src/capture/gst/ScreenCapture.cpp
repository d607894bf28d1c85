#include "capture/gst/ScreenCapture.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video-overlay-composition.h>
#include <gst/video/video.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/gst/GstPtr.h"
#include "capture/gst/MovieWriter.h"
#include "capture/gst/SourceDevice.h"

namespace qv::gst {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto clickShownFor = std::chrono::milliseconds(600);
constexpr int clickShownOnFrames = 3;
constexpr int ringRadius = 22;  // movie pixels, outer edge
constexpr int ringWidth = 5;

}  // namespace

// The recent clicks and the ring picture drawn over the frames at each of them.
class ClickHighlights {
public:
    ClickHighlights() : ring_(makeRing()) {}

    void add(QPointF moviePixel) {
        std::lock_guard lock(mutex_);
        clicks_.push_back({moviePixel, Clock::now(), 0});
        if (clicks_.size() > 32) clicks_.pop_front();
    }

    // The rings of the clicks still shown, fading out; none (nullptr) while there is nothing to
    // draw, so frames pass untouched.
    GstVideoOverlayComposition* compose() {
        const auto now = Clock::now();
        std::lock_guard lock(mutex_);
        // A click shows for a moment, and on a few frames at least, however slowly they come.
        while (!clicks_.empty() && now - clicks_.front().at > clickShownFor &&
               clicks_.front().frames >= clickShownOnFrames)
            clicks_.pop_front();
        GstVideoOverlayComposition* composition = nullptr;
        for (Click& click : clicks_) {
            ++click.frames;
            const double age = std::min(1.0, std::chrono::duration<double>(now - click.at) /
                                                 std::chrono::duration<double>(clickShownFor));
            const int size = 2 * ringRadius;
            GstVideoOverlayRectangle* rectangle = gst_video_overlay_rectangle_new_raw(
                ring_, int(std::lround(click.at_movie.x())) - ringRadius, int(std::lround(click.at_movie.y())) - ringRadius,
                guint(size), guint(size), GST_VIDEO_OVERLAY_FORMAT_FLAG_NONE);
            gst_video_overlay_rectangle_set_global_alpha(rectangle, float(std::max(0.4, 1.0 - age * age)));
            if (!composition) composition = gst_video_overlay_composition_new(rectangle);
            else gst_video_overlay_composition_add_rectangle(composition, rectangle);
            gst_video_overlay_rectangle_unref(rectangle);
        }
        return composition;
    }

    ~ClickHighlights() { gst_buffer_unref(ring_); }
    ClickHighlights(const ClickHighlights&) = delete;
    ClickHighlights& operator=(const ClickHighlights&) = delete;

private:
    struct Click {
        QPointF at_movie;
        Clock::time_point at;
        int frames = 0;  // frames it was drawn on
    };

    // A yellow ring with a dark edge, so it shows on light and dark screens alike.
    static GstBuffer* makeRing() {
        const int size = 2 * ringRadius;
        QImage image(size, size, QImage::Format_ARGB32);  // BGRA in memory, not premultiplied
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(QColor(40, 40, 40, 200), ringWidth + 2));
            painter.drawEllipse(QRectF(ringWidth / 2.0 + 1, ringWidth / 2.0 + 1, size - ringWidth - 2, size - ringWidth - 2));
            painter.setPen(QPen(QColor(255, 214, 0, 235), ringWidth));
            painter.drawEllipse(QRectF(ringWidth / 2.0 + 1, ringWidth / 2.0 + 1, size - ringWidth - 2, size - ringWidth - 2));
        }
        const gsize bytes = gsize(image.sizeInBytes());
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
        gst_buffer_fill(buffer, 0, image.constBits(), bytes);
        gst_buffer_add_video_meta(buffer, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_OVERLAY_COMPOSITION_FORMAT_RGB,
                                  guint(size), guint(size));
        return buffer;
    }

    GstBuffer* ring_;
    std::mutex mutex_;
    std::deque<Click> clicks_;
};

struct ScreenCapture::State {
    ScreenCaptureSettings settings;
    ElementPtr pipeline;
    bool hasAudio = false;
    std::unique_ptr<MovieWriter> writer;
    StartHandler onStart;
    FinishHandler onFinish;
    std::atomic<bool> started{false};
    std::atomic<bool> finishDelivered{false};
    std::mutex errorMutex;
    std::optional<QString> captureError;
    std::unique_ptr<ClickHighlights> highlights;  // with highlightClicks only

    void deliverFinish(const QString& path, const std::optional<QString>& writerError) {
        if (finishDelivered.exchange(true)) return;
        std::optional<QString> error;
        {
            std::lock_guard lock(errorMutex);
            error = captureError;
        }
        if (!error) error = writerError;
        if (onFinish) onFinish(path, error);
    }
    void fail(const QString& text) {
        {
            std::lock_guard lock(errorMutex);
            if (!captureError) captureError = text;
        }
        if (writer) writer->finish();
    }
};

namespace {

using SetupError = ScreenCapture::SetupError;
using Failure = ScreenCapture::Failure;

ElementPtr make(const char* factory) {
    GstElement* element = gst_element_factory_make(factory, nullptr);
    if (!element) return nullptr;
    return ElementPtr(GST_ELEMENT(gst_object_ref_sink(element)));
}

bool addAndLink(GstBin* bin, const std::vector<GstElement*>& chain) {
    for (GstElement* element : chain) gst_bin_add(bin, element);
    GstElement* previous = nullptr;
    for (GstElement* element : chain) {
        if (previous && !gst_element_link(previous, element)) return false;
        previous = element;
    }
    return true;
}

bool hasFactory(const char* name) {
    GstElementFactory* factory = gst_element_factory_find(name);
    if (!factory) return false;
    gst_object_unref(factory);
    return true;
}

template <bool isVideo>
GstFlowReturn onSample(GstAppSink* sink, gpointer data) {
    auto* state = static_cast<ScreenCapture::State*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    if (state->writer && isVideo) {
        state->writer->pushVideo(sample);
        if (state->writer->recordedSeconds() > 0 && !state->started.exchange(true) && state->onStart)
            state->onStart();
    } else if (state->writer) {
        state->writer->pushAudio(sample);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        static_cast<ScreenCapture::State*>(data)->fail(errorText(message));
    // A dropped message is the handler's to release: it holds its source, and through the
    // source the pipeline.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

GstVideoOverlayComposition* drawClicks(GstElement*, GstSample*, gpointer data) {
    return static_cast<ClickHighlights*>(data)->compose();
}

void setSinkCallbacks(GstElement* sink, GstFlowReturn (*handler)(GstAppSink*, gpointer), ScreenCapture::State* state) {
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = handler;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, state, nullptr);
}

}  // namespace

ScreenCapture::ScreenCapture(const ScreenCaptureSettings& settings) : state_(std::make_shared<State>()) {
    ensureInitialized();
    State& s = *state_;
    s.settings = settings;

    // The order of the checks: the screen, then the sound device, then the screen input, then the
    // movie output.
    ElementPtr screen = make("ximagesrc");
    if (!screen) throw SetupError{Failure::couldNotAddScreen, QStringLiteral("ximagesrc is not installed")};
    g_object_set(screen.get(), "use-damage", FALSE, "show-pointer", settings.showCursor ? TRUE : FALSE, nullptr);
    if (!settings.area.isEmpty()) {
        g_object_set(screen.get(), "startx", guint(settings.area.left()), "starty", guint(settings.area.top()),
                     "endx", guint(settings.area.right()), "endy", guint(settings.area.bottom()), nullptr);
    }
    // Opening the X display happens on the way to READY.
    if (gst_element_set_state(screen.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(screen.get(), GST_STATE_NULL);
        throw SetupError{Failure::invalidScreen, QStringLiteral("the X display cannot be opened")};
    }
    gst_element_set_state(screen.get(), GST_STATE_NULL);

    ElementPtr micSource;
    if (settings.audioDevice) {
        if (settings.audioDevice->kind != capture::CaptureDevice::Kind::Audio)
            throw SetupError{Failure::invalidAudioDevice, settings.audioDevice->localizedName};
        auto mic = std::dynamic_pointer_cast<const SourceDevice>(settings.audioDevice);
        micSource = mic ? mic->createSource() : nullptr;
        if (!micSource) throw SetupError{Failure::couldNotAddMic, settings.audioDevice->localizedName};
    }

    s.pipeline = ElementPtr(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("screen_recorder"))));
    GstBin* bin = GST_BIN(s.pipeline.get());
    ElementPtr rate = make("capsfilter");
    ElementPtr scale = make("videoscale");
    ElementPtr size = make("capsfilter");
    // The X server's shared images go back to ximagesrc here, in this pipeline: a frame that
    // reached the writer's queues as one of them (an area recorded at its own size, where the
    // scaler passes frames through) would come back after ximagesrc stopped and stay attached for
    // the rest of the run. The encoder wants I420 anyway.
    ElementPtr toI420 = make("videoconvert");
    ElementPtr format = make("capsfilter");
    ElementPtr videoSink = make("appsink");
    if (!rate || !scale || !size || !toI420 || !format || !videoSink)
        throw SetupError{Failure::couldNotAddScreen, QStringLiteral("missing GStreamer elements")};
    CapsPtr rateCaps(gst_caps_new_simple("video/x-raw", "framerate", GST_TYPE_FRACTION,
                                         std::max(1, settings.framesPerSecond), 1, nullptr));
    g_object_set(rate.get(), "caps", rateCaps.get(), nullptr);
    CapsPtr sizeCaps(gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, settings.outputSize.width(), "height",
                                         G_TYPE_INT, settings.outputSize.height(), "pixel-aspect-ratio",
                                         GST_TYPE_FRACTION, 1, 1, nullptr));
    g_object_set(size.get(), "caps", sizeCaps.get(), nullptr);
    CapsPtr formatCaps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", nullptr));
    g_object_set(format.get(), "caps", formatCaps.get(), nullptr);
    g_object_set(videoSink.get(), "sync", FALSE, "max-buffers", 2u, "drop", TRUE, "enable-last-sample", FALSE,
                 nullptr);
    // Clicks are drawn after scaling, at the movie's size: the frames without a click pass as
    // they are.
    ElementPtr overlay;
    if (settings.highlightClicks) {
        overlay = make("overlaycomposition");
        if (!overlay) throw SetupError{Failure::couldNotAddScreen, QStringLiteral("overlaycomposition is not installed")};
        s.highlights = std::make_unique<ClickHighlights>();
        g_signal_connect(overlay.get(), "draw", G_CALLBACK(drawClicks), s.highlights.get());
    }
    std::vector<GstElement*> chain{screen.get(), rate.get(), scale.get(), size.get(), toI420.get(), format.get()};
    if (overlay) chain.push_back(overlay.get());
    chain.push_back(videoSink.get());
    const bool linked = addAndLink(bin, chain);
    if (!linked) throw SetupError{Failure::couldNotAddScreen, QStringLiteral("the screen picture cannot be scaled")};
    setSinkCallbacks(videoSink.get(), &onSample<true>, &s);

    if (micSource) {
        ElementPtr queue = make("queue");
        ElementPtr convert = make("audioconvert");
        ElementPtr resample = make("audioresample");
        ElementPtr audioSink = make("appsink");
        if (!queue || !convert || !resample || !audioSink ||
            !addAndLink(bin, {micSource.get(), queue.get(), convert.get(), resample.get(), audioSink.get()}))
            throw SetupError{Failure::couldNotAddMic, settings.audioDevice->localizedName};
        g_object_set(audioSink.get(), "sync", FALSE, "enable-last-sample", FALSE, nullptr);
        setSinkCallbacks(audioSink.get(), &onSample<false>, &s);
        s.hasAudio = true;
    }

    for (const char* needed : {"x264enc", "mp4mux", "h264parse", "appsrc"})
        if (!hasFactory(needed)) throw SetupError{Failure::couldNotAddOutput, QString::fromLatin1(needed)};

    BusPtr bus(gst_element_get_bus(s.pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), &onBusMessage, &s, nullptr);
}

ScreenCapture::~ScreenCapture() {
    // Streaming stops before the writer goes, so no callback reaches a writer that is gone.
    if (state_->pipeline) gst_element_set_state(state_->pipeline.get(), GST_STATE_NULL);
    if (state_->writer) state_->writer->finish();
    state_->writer.reset();
}

void ScreenCapture::start(StartHandler onStart, FinishHandler onFinish) {
    State& s = *state_;
    s.onStart = std::move(onStart);
    s.onFinish = std::move(onFinish);
    const QString path = s.settings.destination;
    std::weak_ptr<State> weak = state_;
    s.writer = std::make_unique<MovieWriter>(path, s.hasAudio,
                                             [weak](const QString& file, const std::optional<QString>& error) {
                                                 if (auto state = weak.lock()) state->deliverFinish(file, error);
                                             });
    QString error;
    if (!s.writer->start(&error)) {
        s.writer.reset();
        if (QFileInfo(path).size() == 0) QFile::remove(path);
        s.deliverFinish(path, error);
        return;
    }
    if (gst_element_set_state(s.pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        s.fail(QStringLiteral("The screen cannot be captured"));
}

void ScreenCapture::stop() {
    State& s = *state_;
    if (!s.writer) return;
    s.writer->finish();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    gst_element_set_state(s.pipeline.get(), GST_STATE_NULL);
}

void ScreenCapture::pause() {
    if (state_->writer) state_->writer->pause();
}

void ScreenCapture::resume() {
    if (state_->writer) state_->writer->resume();
}

bool ScreenCapture::isRecording() const { return state_->writer && state_->writer->isRecording(); }

bool ScreenCapture::isPaused() const { return state_->writer && state_->writer->isPaused(); }

double ScreenCapture::recordedSeconds() const { return state_->writer ? state_->writer->recordedSeconds() : 0.0; }

QString ScreenCapture::path() const { return state_->settings.destination; }

void ScreenCapture::addClick(QPoint rootPixel) {
    State& s = *state_;
    if (!s.highlights) return;
    const QRect area = s.settings.area;
    if (area.isEmpty() || !area.contains(rootPixel)) return;
    const double sx = double(s.settings.outputSize.width()) / area.width();
    const double sy = double(s.settings.outputSize.height()) / area.height();
    s.highlights->add(QPointF((rootPixel.x() - area.left() + 0.5) * sx, (rootPixel.y() - area.top() + 0.5) * sy));
}

}  // namespace qv::gst
