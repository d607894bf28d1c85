#include "capture/gst/MovieWriter.h"

#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>

#include <malloc.h>

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <cstdio>

#include "capture/gst/GstPtr.h"
#include "capture/gst/MovieRecovery.h"
#include "util/Print.h"

namespace qv::gst {

namespace {

constexpr GstClockTime finishTimeout = 20 * GST_SECOND;
constexpr GstClockTime defaultFrameDuration = GST_SECOND / 30;
// The writer's input queues, in buffers: about one second of frames, two of sound.
constexpr guint64 videoQueueBuffers = 30;
constexpr guint64 audioQueueBuffers = 200;
// The muxer writes a stretch of the movie once both tracks have reached it, and the picture waits
// for the sound meanwhile (about three seconds fit in the queues between). Sound that falls further
// behind than this, a microphone that has not started yet or has stopped, is made up with silence,
// so the picture goes on.
constexpr GstClockTime soundLagAllowed = GST_SECOND;
// The sound track's format: any microphone's sound is converted to it, so silence made before the
// first sound arrived fits what follows.
constexpr const char* soundTrackFormat = "rate=48000,channels=2";
constexpr const char* silenceCaps = "audio/x-raw,format=S16LE,layout=interleaved,rate=48000,channels=2";

struct UnrefMessage {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using MessageRef = std::unique_ptr<GstMessage, UnrefMessage>;

// A pipeline that goes to NULL and is released when its owner goes.
struct StopAndUnref {
    void operator()(GstElement* pipeline) const {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
};
using PipelineRef = std::unique_ptr<GstElement, StopAndUnref>;

PipelineRef parsePipeline(const QString& description, QString* error) {
    GError* parseError = nullptr;
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &parseError);
    if (parseError) {
        if (error) *error = QString::fromUtf8(parseError->message);
        g_error_free(parseError);
        if (pipeline) gst_object_unref(pipeline);
        return nullptr;
    }
    return PipelineRef(pipeline);
}

const char* aacEncoder() {
    static const char* name = [] {
        for (const char* candidate : {"voaacenc", "avenc_aac", "fdkaacenc"}) {
            GstElementFactory* factory = gst_element_factory_find(candidate);
            if (factory) {
                gst_object_unref(factory);
                return candidate;
            }
        }
        return "avenc_aac";
    }();
    return name;
}

QString writerDescription(bool withAudio) {
    // Live capture pipelines feed the writer; its queues are bounded and drop the newest frames
    // when the encoder falls behind, so a slow encoder never stalls the preview.
    const QString source = QStringLiteral(
        "appsrc name=%1 format=time is-live=false do-timestamp=false max-bytes=0 max-buffers=%2 "
        "leaky-type=upstream ! queue ");
    QString description =
        source.arg(QStringLiteral("vsrc")).arg(videoQueueBuffers) +
        QStringLiteral("! videoconvert ! video/x-raw,format=I420 ! x264enc bitrate=%1 speed-preset=veryfast tune=zerolatency "
                       "key-int-max=60 ! video/x-h264,profile=high ! h264parse ! queue ! "
                       "mp4mux name=mux fragment-duration=500 ! filesink name=sink buffer-mode=unbuffered ")
            .arg(movieBitRate / 1000);
    if (withAudio)
        description += source.arg(QStringLiteral("asrc")).arg(audioQueueBuffers) +
                       QStringLiteral("! audioconvert ! audioresample ! audio/x-raw,%1 ! %2 ! aacparse ! queue ! mux. ")
                           .arg(QString::fromLatin1(soundTrackFormat), QString::fromLatin1(aacEncoder()));
    return description;
}

}  // namespace

QString errorText(GstMessage* message) {
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    QString text = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
    if (error) g_error_free(error);
    g_free(debug);
    return text;
}

struct MovieWriter::Track {
    GstElement* appsrc = nullptr;  // owned by the pipeline
    GstCaps* caps = nullptr;       // the caps last given to appsrc (owned)
    // Held while deciding on and pushing a buffer: the sound track gets silence from the picture's
    // thread too, and its buffers must go in in the order of their times.
    std::mutex pushMutex;
    GstMemory* silence = nullptr;  // silence of `caps`, shared by the pieces that need it (owned)
    ~Track() {
        if (caps) gst_caps_unref(caps);
        if (silence) gst_memory_unref(silence);
    }

    // Gives appsrc new caps (under the writer's clock lock, before a buffer of them is pushed).
    void useCaps(GstCaps* newCaps) {
        if (caps && gst_caps_is_equal(caps, newCaps)) return;
        gst_caps_replace(&caps, newCaps);
        gst_app_src_set_caps(GST_APP_SRC(appsrc), newCaps);
        if (silence) gst_memory_unref(silence);
        silence = nullptr;
    }

    // Pushes silence of the track's caps over [from, until) of the movie. The pieces share one
    // block of silent memory and last a second, or longer when they would take more than half the
    // queue's room (the other half is left to the sound that follows): a gap of minutes takes
    // neither tens of megabytes nor more room than there is.
    void pushSilence(GstClockTime from, GstClockTime until) {
        GstAudioInfo info;
        if (!caps || !gst_audio_info_from_caps(&info, caps) || GST_AUDIO_INFO_BPF(&info) == 0) return;
        const guint64 rate = guint64(GST_AUDIO_INFO_RATE(&info));
        const guint64 bpf = guint64(GST_AUDIO_INFO_BPF(&info));
        const guint64 total = gst_util_uint64_scale(until - from, rate, GST_SECOND);
        if (total == 0) return;
        const guint64 level = gst_app_src_get_current_level_buffers(GST_APP_SRC(appsrc));
        const guint64 room = level + 2 < audioQueueBuffers ? (audioQueueBuffers - level) / 2 : 1;
        const guint64 pieceFrames = std::min(total, std::max(rate, (total + room - 1) / room));
        if (!silence || gst_memory_get_sizes(silence, nullptr, nullptr) < pieceFrames * bpf) {
            if (silence) gst_memory_unref(silence);
            silence = gst_allocator_alloc(nullptr, pieceFrames * bpf, nullptr);
            GstMapInfo map;
            if (!silence || !gst_memory_map(silence, &map, GST_MAP_WRITE)) {
                if (silence) gst_memory_unref(silence);
                silence = nullptr;
                return;
            }
            gst_audio_format_info_fill_silence(info.finfo, map.data, map.size);
            gst_memory_unmap(silence, &map);
        }
        for (guint64 first = 0; first < total;) {
            const guint64 frames = std::min(total - first, pieceFrames);
            GstBuffer* piece = gst_buffer_new();
            gst_buffer_append_memory(piece, gst_memory_share(silence, 0, gssize(frames * bpf)));
            GST_BUFFER_PTS(piece) = from + gst_util_uint64_scale(first, GST_SECOND, rate);
            GST_BUFFER_DURATION(piece) = from + gst_util_uint64_scale(first + frames, GST_SECOND, rate) - GST_BUFFER_PTS(piece);
            gst_app_src_push_buffer(GST_APP_SRC(appsrc), piece);
            first += frames;
        }
    }
};

MovieWriter::MovieWriter(QString path, bool withAudio, FinishHandler onFinish)
    : path_(std::move(path)), withAudio_(withAudio), onFinish_(std::move(onFinish)) {}

MovieWriter::~MovieWriter() {
    if (running_.load()) finish();
    if (busThread_.joinable()) {
        // A finish handler that drops its writer runs on the writer's own thread.
        if (busThread_.get_id() == std::this_thread::get_id()) busThread_.detach();
        else busThread_.join();
    }
    if (pipeline_) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }
    if (lastVideoFrame_) gst_buffer_unref(lastVideoFrame_);
}

bool MovieWriter::start(QString* error) {
    ensureInitialized();
    // Recovery at a later start-up, or in another instance now, leaves a file alone while its
    // recorder holds this lock: the file is made with the lock held, before anything is written.
    lock_ = MovieFileLock::createLocked(path_, error);
    if (!lock_) return false;
    const auto fail = [this] {
        QFile::remove(path_);
        lock_.reset();
        return false;
    };
    PipelineRef pipeline = parsePipeline(writerDescription(withAudio_), error);
    if (!pipeline) return fail();

    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink");
    const QByteArray location = QFile::encodeName(path_);
    g_object_set(sink, "location", location.constData(), nullptr);
    gst_object_unref(sink);

    video_ = std::make_unique<Track>();
    video_->appsrc = gst_bin_get_by_name(GST_BIN(pipeline.get()), "vsrc");
    gst_object_unref(video_->appsrc);  // the pipeline keeps it alive
    if (withAudio_) {
        audio_ = std::make_unique<Track>();
        audio_->appsrc = gst_bin_get_by_name(GST_BIN(pipeline.get()), "asrc");
        gst_object_unref(audio_->appsrc);
    }

    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        // The reason (for example a file that cannot be opened) is on the bus.
        BusPtr bus(gst_element_get_bus(pipeline.get()));
        MessageRef message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
        if (error) *error = message ? errorText(message.get()) : QStringLiteral("The movie file cannot be written");
        pipeline.reset();
        return fail();
    }
    pipeline_ = pipeline.release();
    running_ = true;
    busThread_ = std::thread([this] { watchBus(); });
    return true;
}

void MovieWriter::pushVideo(GstSample* sample) {
    if (video_) push(*video_, sample, true);
}

void MovieWriter::pushAudio(GstSample* sample) {
    if (audio_) push(*audio_, sample, false);
}

void MovieWriter::push(Track& track, GstSample* sample, bool isVideo) {
    if (!running_.load() || finishing_.load() || !sample) return;
    std::lock_guard pushing(track.pushMutex);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstCaps* caps = gst_sample_get_caps(sample);
    if (!buffer || !caps || !GST_BUFFER_PTS_IS_VALID(buffer)) return;
    const GstSegment* segment = gst_sample_get_segment(sample);
    GstClockTime runningTime = GST_BUFFER_PTS(buffer);
    if (segment && segment->format == GST_FORMAT_TIME)
        runningTime = gst_segment_to_running_time(segment, GST_FORMAT_TIME, runningTime);
    if (!GST_CLOCK_TIME_IS_VALID(runningTime)) return;

    GstClockTime movieTime;
    GstClockTime silenceFrom = 0, silenceUntil = 0;  // sound: the silence that goes before this piece
    {
        std::lock_guard lock(clockMutex_);
        if (paused_.load()) return;
        // A full queue (an encoder far behind) drops the newest item: what it drops is never
        // counted as recorded. This thread is the track's only producer, so the level only falls
        // between this look and the push.
        const guint64 room = isVideo ? videoQueueBuffers : audioQueueBuffers;
        if (gst_app_src_get_current_level_buffers(GST_APP_SRC(track.appsrc)) >= room) return;
        if (isVideo) {
            if (!GST_CLOCK_TIME_IS_VALID(origin_)) origin_ = runningTime;
            if (runningTime < origin_ + pausedTotal_) return;
            if (resumePending_) {
                // The first frame after a pause follows what was recorded before it directly: the
                // end of the last frame, or of the last sound when that reached further (sound
                // runs a little ahead of the picture), so neither track's times ever go back.
                const GstClockTime sinceOrigin = runningTime - origin_;
                const GstClockTime expected = std::max(lastVideoMovieTime_ + lastVideoDuration_, lastAudioEnd_);
                if (sinceOrigin > pausedTotal_ + expected) pausedTotal_ = sinceOrigin - expected;
                resumePending_ = false;
            }
            if (runningTime < origin_ + pausedTotal_) return;
            movieTime = runningTime - origin_ - pausedTotal_;
            if (GST_CLOCK_TIME_IS_VALID(lastVideoRunningTime_) && movieTime <= lastVideoMovieTime_)
                return;  // out of order: the muxer needs rising times
            lastVideoRunningTime_ = runningTime;
            lastVideoMovieTime_ = movieTime;
            lastVideoDuration_ =
                GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : defaultFrameDuration;
        } else {
            if (!GST_CLOCK_TIME_IS_VALID(origin_) || resumePending_) return;
            if (runningTime < origin_ + pausedTotal_) return;
            movieTime = runningTime - origin_ - pausedTotal_;
            // Sound that would lie over sound already in the movie is left out (a millisecond of
            // rounding between neighbouring buffers is not an overlap).
            if (movieTime + GST_MSECOND < lastAudioEnd_) return;
            // The sound that came before the first frame is left out, so the first piece kept
            // starts a little after it. Silence fills that gap, and any other the sound leaves:
            // both tracks start at 0 and the sound runs on without holes. A sound track that
            // starts later makes demuxers begin the movie there and skip the frames before it,
            // the first key frame among them, and with it the picture up to the next.
            if (movieTime > lastAudioEnd_ + GST_MSECOND) {
                silenceFrom = lastAudioEnd_;
                silenceUntil = movieTime;
            }
            const GstClockTime duration = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0;
            lastAudioEnd_ = movieTime + duration;
        }
        track.useCaps(caps);
    }
    if (timeObserver_) timeObserver_(isVideo, movieTime);
    if (silenceUntil > 0) track.pushSilence(silenceFrom, silenceUntil);
    GstBuffer* copy = gst_buffer_copy(buffer);  // shares the frame's memory
    GST_BUFFER_PTS(copy) = movieTime;
    GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_OFFSET(copy) = GST_BUFFER_OFFSET_NONE;
    GST_BUFFER_OFFSET_END(copy) = GST_BUFFER_OFFSET_NONE;
    if (silenceUntil > 0) GST_BUFFER_FLAG_UNSET(copy, GST_BUFFER_FLAG_DISCONT);  // it follows the silence
    if (isVideo) {
        std::lock_guard lock(clockMutex_);
        gst_buffer_replace(&lastVideoFrame_, copy);
    }
    gst_app_src_push_buffer(GST_APP_SRC(track.appsrc), copy);
    if (isVideo && audio_ && movieTime > soundLagAllowed) fillSoundUpTo(movieTime - soundLagAllowed);
}

void MovieWriter::fillSoundUpTo(GstClockTime until) {
    std::lock_guard pushing(audio_->pushMutex);
    GstClockTime from;
    {
        std::lock_guard lock(clockMutex_);
        if (paused_.load() || resumePending_ || finishing_.load() || until <= lastAudioEnd_) return;
        // Before any sound there are no caps yet: the silence has the sound track's own format.
        if (!audio_->caps) {
            CapsPtr caps(gst_caps_from_string(silenceCaps));
            audio_->useCaps(caps.get());
        }
        from = lastAudioEnd_;
        lastAudioEnd_ = until;
    }
    audio_->pushSilence(from, until);
}

void MovieWriter::pause() { paused_ = true; }

void MovieWriter::resume() {
    std::lock_guard lock(clockMutex_);
    if (!paused_.load()) return;
    if (GST_CLOCK_TIME_IS_VALID(origin_)) resumePending_ = true;
    paused_ = false;
}

double MovieWriter::recordedSeconds() const {
    std::lock_guard lock(clockMutex_);
    if (!GST_CLOCK_TIME_IS_VALID(lastVideoRunningTime_)) return 0.0;
    return double(lastVideoMovieTime_ + lastVideoDuration_) / double(GST_SECOND);
}

void MovieWriter::finish() {
    if (!running_.load() || finishing_.exchange(true)) return;
    // When the picture stalled (a machine too busy to capture the screen) the sound runs on past
    // the last frame; that frame then holds until the sound ends, as a player shows it. Otherwise
    // the movie's picture track would be a sliver of the whole, which players and thumbnail
    // readers take for a cover image and leave out.
    GstBuffer* hold = nullptr;
    {
        std::lock_guard lock(clockMutex_);
        const GstClockTime videoEnd = lastVideoMovieTime_ + lastVideoDuration_;
        if (lastVideoFrame_ && lastVideoDuration_ > 0 && lastAudioEnd_ > videoEnd + 2 * lastVideoDuration_) {
            hold = gst_buffer_copy(lastVideoFrame_);
            GST_BUFFER_PTS(hold) = lastAudioEnd_ - lastVideoDuration_;
            GST_BUFFER_DURATION(hold) = lastVideoDuration_;
        }
    }
    {
        std::lock_guard pushing(video_->pushMutex);
        if (hold) gst_app_src_push_buffer(GST_APP_SRC(video_->appsrc), hold);
        gst_app_src_end_of_stream(GST_APP_SRC(video_->appsrc));
    }
    if (audio_) {
        std::lock_guard pushing(audio_->pushMutex);
        bool silent;
        {
            std::lock_guard lock(clockMutex_);
            silent = audio_->caps == nullptr;
            if (silent) {
                CapsPtr caps(gst_caps_from_string(silenceCaps));
                audio_->useCaps(caps.get());
            }
        }
        // A sound track that never got a sample would leave the file without a valid index:
        // give it a moment of silence instead.
        if (silent) audio_->pushSilence(0, gst_util_uint64_scale(1024, GST_SECOND, 48000));
        gst_app_src_end_of_stream(GST_APP_SRC(audio_->appsrc));
    }
}

void MovieWriter::watchBus() {
    BusPtr bus(gst_element_get_bus(pipeline_));
    std::optional<std::chrono::steady_clock::time_point> finishDeadline;
    for (;;) {
        MessageRef message(gst_bus_timed_pop_filtered(bus.get(), 100 * GST_MSECOND,
                                                      GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            const QString text = errorText(message.get());
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            complete(text);
            return;
        }
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS) {
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            bool hasFrames;
            {
                std::lock_guard lock(clockMutex_);
                hasFrames = GST_CLOCK_TIME_IS_VALID(lastVideoRunningTime_);
            }
            if (!hasFrames) {
                QFile::remove(path_);  // headers without a single frame: not a movie
                complete(QStringLiteral("No video frames were recorded"));
                return;
            }
            QString finalizeError;
            if (!finalizeFragmentedMovie(path_, &finalizeError))
                // The fragmented file plays as it is; only its index stays spread out.
                util::printLine("Movie left fragmented:", finalizeError.toStdString());
            complete(std::nullopt);
            return;
        }
        if (finishing_.load()) {
            const auto now = std::chrono::steady_clock::now();
            if (!finishDeadline) finishDeadline = now + std::chrono::nanoseconds(finishTimeout);
            if (now > *finishDeadline) {
                gst_element_set_state(pipeline_, GST_STATE_NULL);
                complete(QStringLiteral("The movie file could not be finished"));
                return;
            }
        }
    }
}

void MovieWriter::complete(std::optional<QString> error) {
    if (completed_.exchange(true)) return;
    lock_.reset();
    running_ = false;
    // The encoder's frames and the finishing copy went back to the allocator, which keeps freed
    // memory of this size for itself: hand it back to the system, or every movie leaves tens of
    // megabytes resident. Here, on the writer's own thread, the walk costs the window nothing.
    malloc_trim(0);
    if (onFinish_) onFinish_(path_, error);
}

namespace {

// Links each track that the demuxer finds to a new pad of the muxer, through a queue.
void linkTrack(GstElement* demuxer, GstPad* pad, gpointer muxer) {
    CapsPtr caps(gst_pad_get_current_caps(pad));
    if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
    const char* media = caps && gst_caps_get_size(caps.get()) ? gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)) : "";
    const char* muxPadName = g_str_has_prefix(media, "video/") ? "video_%u" : g_str_has_prefix(media, "audio/") ? "audio_%u" : nullptr;
    if (!muxPadName) return;
    GstElement* pipeline = GST_ELEMENT(gst_element_get_parent(demuxer));
    GstElement* queue = gst_element_factory_make("queue", nullptr);
    // The file's tracks may lie far apart (a busy machine encodes the picture seconds behind the
    // sound): a queue that stops at its usual second would wait for the muxer, which waits for the
    // other track, for ever. The copy is bounded by the file itself.
    g_object_set(queue, "max-size-buffers", 0u, "max-size-time", guint64(0), "max-size-bytes", 0u, nullptr);
    gst_bin_add(GST_BIN(pipeline), queue);
    gst_element_sync_state_with_parent(queue);
    PadPtr queueSink(gst_element_get_static_pad(queue, "sink"));
    PadPtr queueSource(gst_element_get_static_pad(queue, "src"));
    PadPtr muxPad(gst_element_request_pad_simple(GST_ELEMENT(muxer), muxPadName));
    gst_pad_link(pad, queueSink.get());
    if (muxPad) gst_pad_link(queueSource.get(), muxPad.get());
    gst_object_unref(pipeline);
}

}  // namespace

bool finalizeFragmentedMovie(const QString& path, QString* error) {
    ensureInitialized();
    PipelineRef pipeline = parsePipeline(
        QStringLiteral("filesrc name=src ! qtdemux name=demux  mp4mux name=mux ! filesink name=sink"), error);
    if (!pipeline) return false;

    const QFileInfo info(path);
    const QString temporary = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".part");
    const QByteArray source = QFile::encodeName(path);
    const QByteArray target = QFile::encodeName(temporary);
    ElementPtr src(gst_bin_get_by_name(GST_BIN(pipeline.get()), "src"));
    g_object_set(src.get(), "location", source.constData(), nullptr);
    ElementPtr sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    g_object_set(sink.get(), "location", target.constData(), nullptr);
    ElementPtr demux(gst_bin_get_by_name(GST_BIN(pipeline.get()), "demux"));
    ElementPtr mux(gst_bin_get_by_name(GST_BIN(pipeline.get()), "mux"));
    g_signal_connect(demux.get(), "pad-added", G_CALLBACK(linkTrack), mux.get());

    // Copying runs at disk speed; allow a generous minute plus a second per 20 MB.
    const GstClockTime timeout = (60 + GstClockTime(info.size() / (20 * 1024 * 1024))) * GST_SECOND;
    bool ok = false;
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        BusPtr bus(gst_element_get_bus(pipeline.get()));
        MessageRef message(
            gst_bus_timed_pop_filtered(bus.get(), timeout, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
        if (!message) {
            if (error) *error = QStringLiteral("timed out");
        } else if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            if (error) *error = errorText(message.get());
        } else {
            ok = true;
        }
    } else if (error) {
        *error = QStringLiteral("cannot read ") + path;
    }
    pipeline.reset();
    if (ok && std::rename(target.constData(), source.constData()) != 0) {
        if (error) *error = QStringLiteral("cannot replace ") + path;
        ok = false;
    }
    if (!ok) QFile::remove(temporary);
    return ok;
}

}  // namespace qv::gst
