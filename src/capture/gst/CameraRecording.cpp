// Camera movies: a recording branch on each tee of the camera session's pipeline
//
//   video_tee. ! queue(leaky) ! appsink  -> MovieWriter (H.264)
//   audio_tee. ! queue(leaky) ! appsink  -> MovieWriter (AAC)
//
// The branches are added while the pipeline plays and removed again once the recording stops;
// the preview never waits for the encoder (the queues drop frames instead).
#include <gst/app/gstappsink.h>

#include <QFile>

#include <atomic>
#include <chrono>
#include <future>

#include "capture/gst/CameraSession.h"
#include "capture/gst/CameraSessionPipeline.h"
#include "capture/gst/GstPtr.h"
#include "capture/gst/MovieWriter.h"

namespace qv::gst {

namespace {

ElementPtr make(const char* factory) {
    GstElement* element = gst_element_factory_make(factory, nullptr);
    if (!element) return nullptr;
    return ElementPtr(GST_ELEMENT(gst_object_ref_sink(element)));
}

// One branch from a tee into an appsink whose samples go to a callback.
class TeeBranch {
public:
    using SampleHandler = void (*)(MovieWriter&, GstSample*);

    // Adds the branch to the playing pipeline; false when the tee is missing or linking fails.
    bool attach(GstElement* pipeline, const char* teeName, MovieWriter* writer, SampleHandler handler) {
        writer_ = writer;
        handler_ = handler;
        pipeline_ = ElementPtr(GST_ELEMENT(gst_object_ref(pipeline)));
        tee_ = ElementPtr(gst_bin_get_by_name(GST_BIN(pipeline), teeName));
        queue_ = make("queue");
        sink_ = make("appsink");
        if (!tee_ || !queue_ || !sink_) return false;
        gst_util_set_object_arg(G_OBJECT(queue_.get()), "leaky", "downstream");
        g_object_set(queue_.get(), "max-size-buffers", 30u, "max-size-bytes", 0u, "max-size-time", guint64(0), nullptr);
        // Not async: a sink added to a playing pipeline must not send it back to prerolling.
        g_object_set(sink_.get(), "sync", FALSE, "async", FALSE, "enable-last-sample", FALSE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* sink, gpointer self) -> GstFlowReturn {
            auto* branch = static_cast<TeeBranch*>(self);
            GstSample* sample = gst_app_sink_pull_sample(sink);
            if (!sample) return GST_FLOW_OK;
            branch->handler_(*branch->writer_, sample);
            gst_sample_unref(sample);
            return GST_FLOW_OK;
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(sink_.get()), &callbacks, this, nullptr);

        gst_bin_add_many(GST_BIN(pipeline), queue_.get(), sink_.get(), nullptr);
        added_ = true;
        if (!gst_element_link(queue_.get(), sink_.get())) return false;
        gst_element_sync_state_with_parent(sink_.get());
        gst_element_sync_state_with_parent(queue_.get());
        teePad_ = PadPtr(gst_element_request_pad_simple(tee_.get(), "src_%u"));
        PadPtr queuePad(gst_element_get_static_pad(queue_.get(), "sink"));
        return teePad_ && queuePad && gst_pad_link(teePad_.get(), queuePad.get()) == GST_PAD_LINK_OK;
    }

    // Unlinks the branch once no buffer is passing the tee's pad, then takes it out of the pipeline.
    void detach() {
        if (teePad_) {
            auto unlinked = std::make_shared<std::promise<void>>();
            auto done = unlinked->get_future();
            struct ProbeData {
                std::shared_ptr<std::promise<void>> promise;
                GstElement* queue;
            };
            auto* data = new ProbeData{unlinked, queue_.get()};
            gst_pad_add_probe(
                teePad_.get(), GST_PAD_PROBE_TYPE_IDLE,
                [](GstPad* pad, GstPadProbeInfo*, gpointer user) -> GstPadProbeReturn {
                    auto* d = static_cast<ProbeData*>(user);
                    PadPtr queuePad(gst_element_get_static_pad(d->queue, "sink"));
                    gst_pad_unlink(pad, queuePad.get());
                    d->promise->set_value();
                    return GST_PAD_PROBE_REMOVE;
                },
                data, [](gpointer user) { delete static_cast<ProbeData*>(user); });
            // A pipeline that no longer plays has no streaming thread to wait for.
            done.wait_for(std::chrono::seconds(2));
            gst_element_release_request_pad(tee_.get(), teePad_.get());
            teePad_.reset();
        }
        if (added_) {
            gst_element_set_state(sink_.get(), GST_STATE_NULL);
            gst_element_set_state(queue_.get(), GST_STATE_NULL);
            gst_bin_remove_many(GST_BIN(pipeline_.get()), queue_.get(), sink_.get(), nullptr);
            added_ = false;
        }
    }

private:
    MovieWriter* writer_ = nullptr;
    SampleHandler handler_ = nullptr;
    ElementPtr pipeline_;
    ElementPtr tee_;
    ElementPtr queue_;
    ElementPtr sink_;
    PadPtr teePad_;
    bool added_ = false;
};

class CameraRecording : public MovieRecording {
public:
    // The handler is not called for a recording that failed to start.
    CameraRecording(const QString& path, bool withAudio, FinishHandler onFinish)
        : withAudio_(withAudio),
          started_(std::make_shared<std::atomic<bool>>(false)),
          writer_(path, withAudio,
                  [started = started_, onFinish = std::move(onFinish)](const QString& file,
                                                                       const std::optional<QString>& error) {
                      if (started->load() && onFinish) onFinish(file, error);
                  }) {}

    ~CameraRecording() override {
        detach();
        writer_.finish();
    }

    bool start(GstElement* pipeline, QString* error) {
        if (!writer_.start(error)) return false;
        bool ok = video_.attach(pipeline, "video_tee", &writer_,
                                [](MovieWriter& w, GstSample* s) { w.pushVideo(s); });
        if (ok && withAudio_)
            ok = audio_.attach(pipeline, "audio_tee", &writer_, [](MovieWriter& w, GstSample* s) { w.pushAudio(s); });
        if (!ok) {
            if (error) *error = QStringLiteral("The recording branch cannot be added to the camera pipeline");
            detach();
            return false;
        }
        started_->store(true);
        return true;
    }

    void stop() override {
        detach();
        writer_.finish();
    }
    void pause() override { writer_.pause(); }
    void resume() override { writer_.resume(); }
    bool isRecording() const override { return writer_.isRecording(); }
    bool isPaused() const override { return writer_.isPaused(); }
    double recordedSeconds() const override { return writer_.recordedSeconds(); }
    QString path() const override { return writer_.path(); }

private:
    void detach() {
        video_.detach();
        audio_.detach();
    }

    bool withAudio_;
    std::shared_ptr<std::atomic<bool>> started_;
    MovieWriter writer_;
    TeeBranch video_;
    TeeBranch audio_;
};

}  // namespace

std::unique_ptr<MovieRecording> CameraSession::startMovieRecording(const QString& path,
                                                                   MovieRecording::FinishHandler onFinish,
                                                                   QString* error) {
    std::lock_guard lock(pipelineMutex_);
    if (!pipeline_ || !running_.load()) {
        if (error) *error = QStringLiteral("The camera session is not running");
        return nullptr;
    }
    auto recording = std::make_unique<CameraRecording>(path, hasSound_.load(), std::move(onFinish));
    if (!recording->start(pipeline_->pipeline.get(), error)) {
        recording.reset();
        QFile::remove(path);  // whatever the failed start left there
        return nullptr;
    }
    return recording;
}

}  // namespace qv::gst
