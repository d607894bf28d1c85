#include "capture/gst/CameraSession.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>


#include "state/QtPrint.h"
#include "capture/gst/CameraSessionPipeline.h"
#include "capture/gst/FrameImages.h"
#include "capture/gst/GstPtr.h"
#include "capture/gst/SourceDevice.h"

namespace qv::gst {

namespace {

ElementPtr make(const char* factory, const char* name = nullptr) {
    GstElement* e = gst_element_factory_make(factory, name);
    if (!e) return nullptr;
    return ElementPtr(GST_ELEMENT(gst_object_ref_sink(e)));
}

// A sample owned by a shared pointer, so the newest one can be handed between threads.
std::shared_ptr<GstSample> sharedSample(GstSample* sample) {
    return std::shared_ptr<GstSample>(sample, [](GstSample* s) { gst_sample_unref(s); });
}

QSize frameSizeOf(GstSample* sample) {
    GstCaps* caps = gst_sample_get_caps(sample);
    GstVideoInfo info;
    if (!caps || !gst_video_info_from_caps(&info, caps)) return {};
    return {GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)};
}

bool link(std::initializer_list<GstElement*> chain) {
    GstElement* previous = nullptr;
    for (GstElement* e : chain) {
        if (previous && !gst_element_link(previous, e)) return false;
        previous = e;
    }
    return true;
}

GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* raw = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &raw, &debug);
        ErrorPtr error(raw);
        CharPtr debugText(debug);
        util::printLine(std::string("Camera pipeline error:"), std::string(error ? error->message : "unknown"));
    }
    // A dropped message is the handler's to release: it holds its source, and through the
    // source the pipeline, which would never go.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

}  // namespace

CameraSession::CameraSession(std::function<void()> onFrame, std::function<void()> onPreviewFrame)
    : onFrame_(std::move(onFrame)), onPreviewFrame_(std::move(onPreviewFrame)) {
    ensureInitialized();
}

bool CameraSession::addPreviewBranch(Pipeline& p) {
    ElementPtr tee(gst_bin_get_by_name(GST_BIN(p.pipeline.get()), "video_tee"));
    ElementPtr queue = make("queue", "preview_queue");
    ElementPtr sink = make("appsink", "preview");
    if (!tee || !queue || !sink) return false;
    // One frame waits at most; an older one is dropped rather than hold the camera back.
    gst_util_set_object_arg(G_OBJECT(queue.get()), "leaky", "downstream");
    g_object_set(queue.get(), "max-size-buffers", 1u, "max-size-bytes", 0u, "max-size-time", guint64(0), nullptr);
    // Not async: the pipeline prerolls on the full-size sink, which holds the tee until it plays.
    g_object_set(sink.get(), "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "async", FALSE, "enable-last-sample", FALSE,
                 nullptr);
    GstAppSinkCallbacks callbacks{};
    // Scaled and converted on the queue's thread, at the size the preview is drawn.
    callbacks.new_sample = [](GstAppSink* appsink, gpointer self) -> GstFlowReturn {
        auto* session = static_cast<CameraSession*>(self);
        GstSample* sample = gst_app_sink_pull_sample(appsink);
        if (!sample) return GST_FLOW_OK;
        QSize size;
        {
            std::lock_guard lock(session->frameMutex_);
            size = session->previewSize_;
        }
        std::shared_ptr<const QImage> image = session->previewImages_.imageOf(sample, size);
        if (!image) return GST_FLOW_OK;
        {
            std::lock_guard lock(session->frameMutex_);
            session->latestPreview_ = std::move(image);
        }
        session->onPreviewFrame_();
        return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
    std::initializer_list<GstElement*> branch{queue.get(), sink.get()};
    for (GstElement* e : branch) gst_bin_add(GST_BIN(p.pipeline.get()), e);
    return link(branch) && gst_element_link(tee.get(), queue.get());
}

void CameraSession::setPreviewSize(const QSize& size) {
    std::lock_guard lock(frameMutex_);
    previewSize_ = size.isEmpty() ? QSize() : size;
}

CameraSession::~CameraSession() { teardown(); }

bool CameraSession::hasPipeline() const {
    std::lock_guard lock(pipelineMutex_);
    return pipeline_ != nullptr;
}

void CameraSession::teardown() {
    std::unique_ptr<Pipeline> old;
    {
        std::lock_guard lock(pipelineMutex_);
        old = std::move(pipeline_);
    }
    running_ = false;
    if (old && old->pipeline) gst_element_set_state(old->pipeline.get(), GST_STATE_NULL);
    hasSound_ = false;
}

void CameraSession::dropFrames() {
    std::lock_guard lock(frameMutex_);
    latest_.reset();
    latestSample_.reset();
    latestPreview_.reset();
    frameSize_ = QSize();
}

void CameraSession::release() {
    teardown();
    dropFrames();
}

QString CameraSession::configure(const Inputs& inputs) {
    teardown();
    inputs_ = inputs;
    auto camera = std::dynamic_pointer_cast<const SourceDevice>(inputs.camera);
    if (!camera) return QStringLiteral("the camera cannot be opened");

    auto p = std::make_unique<Pipeline>();
    p->pipeline = ElementPtr(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("camera_session"))));
    GstBin* bin = GST_BIN(p->pipeline.get());

    ElementPtr source = camera->createSource();
    if (!source) return QStringLiteral("no source element for ") + camera->localizedName;
    capture::DeviceFormatRef format = inputs.format ? inputs.format : camera->activeFormat();
    QString capsText = format ? camera->capsOf(format) : QString();
    if (capsText.isEmpty()) capsText = QStringLiteral("video/x-raw; image/jpeg");
    else if (inputs.minFrameDuration && inputs.minFrameDuration->value > 0)
        capsText += QStringLiteral(", framerate=(fraction)%1/%2")
                        .arg(inputs.minFrameDuration->timescale)
                        .arg(inputs.minFrameDuration->value);
    CapsPtr caps(gst_caps_from_string(capsText.toUtf8().constData()));
    if (!caps) return QStringLiteral("bad caps ") + capsText;
    const bool jpeg = capsText.startsWith(QLatin1String("image/jpeg"));

    ElementPtr capsfilter = make("capsfilter", "camera_caps");
    ElementPtr decoder = jpeg ? make("jpegdec") : nullptr;
    ElementPtr convert = make("videoconvert");
    ElementPtr rgb = make("capsfilter", "direct_caps");
    ElementPtr tee = make("tee", "video_tee");
    p->appsink = make("appsink", "frames");
    if (!capsfilter || (jpeg && !decoder) || !convert || !rgb || !tee || !p->appsink)
        return QStringLiteral("missing GStreamer elements");
    g_object_set(capsfilter.get(), "caps", caps.get(), nullptr);
    // The camera's frames pass through untouched in the formats the session reads directly (a
    // camera's usual 4:2:0 ones); anything else is converted once, here, to one of them.
    CapsPtr direct(gst_caps_from_string(directFrameCaps));
    g_object_set(rgb.get(), "caps", direct.get(), nullptr);
    // One conversion thread keeps up with 4K at 30 frames per second; more only cost CPU time.
    g_object_set(convert.get(), "n-threads", 1u, nullptr);
    // Each chroma sample is used as it is (no resampling filter) and 8-bit colours are not
    // dithered: the converter then takes its direct path and gives the same colours on every frame.
    gst_util_set_object_arg(G_OBJECT(convert.get()), "chroma-mode", "none");
    gst_util_set_object_arg(G_OBJECT(convert.get()), "dither", "none");
    g_object_set(p->appsink.get(), "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "enable-last-sample", FALSE, nullptr);

    std::vector<GstElement*> chain{source.get(), capsfilter.get()};
    if (decoder) chain.push_back(decoder.get());
    for (GstElement* e : {convert.get(), rgb.get(), tee.get(), p->appsink.get()}) chain.push_back(e);
    for (GstElement* e : chain) gst_bin_add(bin, e);
    bool linked = true;
    for (size_t i = 1; i < chain.size() && linked; ++i) linked = gst_element_link(chain[i - 1], chain[i]);
    if (!linked) return QStringLiteral("the camera's format cannot be used: ") + capsText;

    PadPtr teeSink(gst_element_get_static_pad(tee.get(), "sink"));
    gst_pad_add_probe(
        teeSink.get(), GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, gpointer self) -> GstPadProbeReturn {
            static_cast<CameraSession*>(self)->framesCaptured_.fetch_add(1);
            return GST_PAD_PROBE_OK;
        },
        this, nullptr);

    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = [](GstAppSink* sink, gpointer self) -> GstFlowReturn {
        auto* session = static_cast<CameraSession*>(self);
        GstSample* pulled = gst_app_sink_pull_sample(sink);
        if (!pulled) return GST_FLOW_OK;
        std::shared_ptr<GstSample> sample = sharedSample(pulled);
        const QSize size = frameSizeOf(pulled);
        if (size.isEmpty()) return GST_FLOW_OK;
        {
            std::lock_guard lock(session->frameMutex_);
            session->frameSize_ = size;
            if (session->activeFormat_.isEmpty()) {
                GstElement* filter = gst_bin_get_by_name(GST_BIN(GST_ELEMENT_PARENT(GST_ELEMENT(sink))), "camera_caps");
                ElementPtr owned(filter);
                PadPtr pad(owned ? gst_element_get_static_pad(owned.get(), "src") : nullptr);
                CapsPtr negotiated(pad ? gst_pad_get_current_caps(pad.get()) : nullptr);
                if (negotiated && gst_caps_get_size(negotiated.get()) > 0) {
                    const GstStructure* s = gst_caps_get_structure(negotiated.get(), 0);
                    int w = 0, h = 0;
                    gst_structure_get_int(s, "width", &w);
                    gst_structure_get_int(s, "height", &h);
                    const char* f = gst_structure_get_string(s, "format");
                    session->activeFormat_ = QStringLiteral("%1 %2 x %3")
                                                 .arg(QString::fromUtf8(f ? f : gst_structure_get_name(s)))
                                                 .arg(w)
                                                 .arg(h);
                }
            }
            // Turned into a picture only when one is asked for (photos, frozen frames, other views).
            session->latestSample_ = std::move(sample);
            session->latest_.reset();
        }
        session->framesReceived_.fetch_add(1);
        if (session->onFrame_) session->onFrame_();
        return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(p->appsink.get()), &callbacks, this, nullptr);
    if (onPreviewFrame_ && !addPreviewBranch(*p))
        return QStringLiteral("missing GStreamer elements for the preview");

    // Sound: a microphone that cannot be opened is left out and the picture runs without it.
    if (auto mic = std::dynamic_pointer_cast<const SourceDevice>(inputs.mic)) {
        ElementPtr micSource = mic->createSource();
        ElementPtr aconvert = make("audioconvert");
        ElementPtr atee = make("tee", "audio_tee");
        ElementPtr asink = make("fakesink");
        if (micSource && aconvert && atee && asink) {
            g_object_set(asink.get(), "sync", FALSE, "async", FALSE, nullptr);
            std::initializer_list<GstElement*> audio{micSource.get(), aconvert.get(), atee.get(), asink.get()};
            for (GstElement* e : audio) gst_bin_add(bin, e);
            if (link(audio)) {
                hasSound_ = true;
            } else {
                for (GstElement* e : audio) gst_bin_remove(bin, e);
            }
        }
    }

    BusPtr bus(gst_element_get_bus(p->pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), &onBusMessage, nullptr, nullptr);
    dropFrames();
    {
        std::lock_guard lock(frameMutex_);
        activeFormat_.clear();
    }
    std::lock_guard lock(pipelineMutex_);
    pipeline_ = std::move(p);
    return {};
}

bool CameraSession::start(int timeoutMs) {
    if (play(timeoutMs)) return true;
    if (!inputs_.mic) return false;
    util::printLine(std::string("The microphone could not be started: the camera runs without sound."));
    Inputs cameraAlone = inputs_;
    cameraAlone.mic = nullptr;
    return configure(cameraAlone).isEmpty() && play(timeoutMs);
}

bool CameraSession::play(int timeoutMs) {
    GstElement* pipeline = nullptr;
    {
        std::lock_guard lock(pipelineMutex_);
        if (!pipeline_) return false;
        pipeline = pipeline_->pipeline.get();
    }
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        return false;
    }
    GstState state = GST_STATE_NULL;
    const GstStateChangeReturn r =
        gst_element_get_state(pipeline, &state, nullptr, GstClockTime(timeoutMs) * GST_MSECOND);
    const bool playing = (r == GST_STATE_CHANGE_SUCCESS || r == GST_STATE_CHANGE_NO_PREROLL) && state == GST_STATE_PLAYING;
    if (!playing) gst_element_set_state(pipeline, GST_STATE_NULL);
    running_ = playing;
    return playing;
}

void CameraSession::stop() {
    std::lock_guard lock(pipelineMutex_);
    if (pipeline_) gst_element_set_state(pipeline_->pipeline.get(), GST_STATE_NULL);
    running_ = false;
}

std::shared_ptr<const QImage> CameraSession::latestFrame() const {
    std::shared_ptr<GstSample> sample;
    {
        std::lock_guard lock(frameMutex_);
        if (latest_ || !latestSample_) return latest_;
        sample = latestSample_;
    }
    // Converted outside the lock, so the streaming thread never waits for a picture.
    std::shared_ptr<const QImage> image = fullImages_.imageOf(gst_sample_ref(sample.get()));
    std::lock_guard lock(frameMutex_);
    if (latestSample_ == sample) latest_ = image;
    return image;
}

std::shared_ptr<const QImage> CameraSession::latestPreviewFrame() const {
    {
        std::lock_guard lock(frameMutex_);
        if (latestPreview_) return latestPreview_;
    }
    return latestFrame();
}

QSize CameraSession::frameSize() const {
    std::lock_guard lock(frameMutex_);
    return frameSize_;
}

QString CameraSession::activeFormatDescription() const {
    std::lock_guard lock(frameMutex_);
    return activeFormat_;
}

}  // namespace qv::gst
