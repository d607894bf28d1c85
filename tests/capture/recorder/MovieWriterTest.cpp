// The movie writer: what a recording leaves on disk, with and without sound, paused, and when
// the file cannot be written.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <future>
#include <thread>

#include "MovieProbe.h"
#include "support/ProcessUsage.h"
#include "TestFeed.h"
#include "capture/gst/MovieWriter.h"

using namespace std::chrono_literals;
using qv::gst::MovieWriter;

namespace {

struct Outcome {
    QString path;
    std::optional<QString> error;
    double wallSeconds = 0;      // from the writer's start to finish()
    double recordedSeconds = 0;  // the writer's own count at finish()
};

// Records from live test sources; `script` runs while the sources flow (pauses, sleeps).
// `feedSound` false: the writer expects sound that never comes. While `pictureStalled` is set, no
// frame reaches the writer (a capture too slow to deliver any).
Outcome record(const QString& path, bool withAudio, const std::function<void(MovieWriter&)>& script,
               bool feedSound = true, const std::atomic<bool>* pictureStalled = nullptr,
               const std::atomic<bool>* soundHeld = nullptr) {
    // While `soundHeld` is set, no sound reaches the writer (a microphone not started, or stopped).
    std::promise<Outcome> finished;
    MovieWriter writer(path, withAudio, [&](const QString& file, const std::optional<QString>& error) {
        finished.set_value({file, error});
    });
    QString error;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_TRUE(writer.start(&error)) << error.toStdString();
    double wall = 0, recorded = 0;
    {
        qv::test::TestFeed feed("video/x-raw,format=BGRx,width=640,height=360,framerate=30/1", withAudio && feedSound,
                                [&](GstSample* s) {
                                    if (!pictureStalled || !pictureStalled->load()) writer.pushVideo(s);
                                },
                                [&](GstSample* s) {
                                    if (!soundHeld || !soundHeld->load()) writer.pushAudio(s);
                                });
        script(writer);
        recorded = writer.recordedSeconds();
        writer.finish();
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    }
    auto future = finished.get_future();
    EXPECT_EQ(future.wait_for(30s), std::future_status::ready);
    Outcome outcome = future.get();
    outcome.wallSeconds = wall;
    outcome.recordedSeconds = recorded;
    return outcome;
}

}  // namespace

TEST(MovieWriter, RecordsH264AndAacIntoAnOrdinaryMp4) {
    QTemporaryDir dir;
    const QString path = dir.filePath("movie.mp4");
    const Outcome outcome = record(path, true, [](MovieWriter&) { std::this_thread::sleep_for(3s); });
    ASSERT_FALSE(outcome.error) << outcome.error->toStdString();
    EXPECT_EQ(outcome.path, path);

    const auto facts = qv::test::probeMovie(path);
    ASSERT_TRUE(facts.readable) << facts.error.toStdString();
    EXPECT_EQ(facts.streams(), "video/x-h264 640x360, audio/mpeg 4");  // H.264 at the camera's size, AAC
    // About 3 s: never more than the time it ran, and what the writer counted.
    EXPECT_GE(facts.duration, 2.2);
    EXPECT_LE(facts.duration, outcome.wallSeconds + 0.1);
    EXPECT_LE(facts.duration, outcome.recordedSeconds + 0.1);
    // Finished: one index, no fragments left, and no temporary file beside it.
    EXPECT_TRUE(facts.topLevelBoxes.contains("moov"));
    EXPECT_FALSE(facts.topLevelBoxes.contains("moof")) << facts.topLevelBoxes.join(',').toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"movie.mp4"});
}

TEST(MovieWriter, APictureThatStallsHoldsItsLastFrameUntilTheSoundEnds) {
    QTemporaryDir dir;
    const QString path = dir.filePath("stalled.mp4");
    std::atomic<bool> stalled{false};
    const Outcome outcome = record(
        path, true,
        [&](MovieWriter& writer) {
            const auto deadline = std::chrono::steady_clock::now() + 30s;
            while (writer.recordedSeconds() < 0.3 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(10ms);
            ASSERT_GE(writer.recordedSeconds(), 0.3);
            stalled = true;
            std::this_thread::sleep_for(2s);
        },
        true, &stalled);
    ASSERT_FALSE(outcome.error) << outcome.error->toStdString();
    // The picture track spans the movie, so players and thumbnail readers take it for the movie's
    // picture (a track under a fifth of the movie is taken for a cover image and left out).
    const auto facts = qv::test::probeMovie(path);
    ASSERT_TRUE(facts.readable) << facts.error.toStdString();
    EXPECT_GE(facts.duration, 1.8);
    const std::vector<double> frames = qv::test::packetTimes(path, "video");
    ASSERT_FALSE(frames.empty());
    EXPECT_GE(frames.back(), facts.duration - 0.2);
    EXPECT_GE(qv::test::playableVideoSeconds(path), facts.duration - 0.2);
}

TEST(MovieWriter, PausedTimeIsLeftOut) {
    QTemporaryDir dir;
    const QString path = dir.filePath("paused.mp4");
    double beforePause = 0, duringPause = 0;
    const Outcome outcome = record(path, true, [&](MovieWriter& writer) {
        std::this_thread::sleep_for(1s);
        writer.pause();
        EXPECT_TRUE(writer.isPaused());
        beforePause = writer.recordedSeconds();
        std::this_thread::sleep_for(1s);
        duringPause = writer.recordedSeconds();
        writer.resume();
        std::this_thread::sleep_for(1s);
    });
    ASSERT_FALSE(outcome.error);
    EXPECT_DOUBLE_EQ(beforePause, duringPause);  // the clock stands still while paused
    const auto facts = qv::test::probeMovie(path);
    ASSERT_TRUE(facts.readable);
    // About 2 s: the paused second is not in the movie.
    EXPECT_GE(facts.duration, 1.2);
    EXPECT_LE(facts.duration, outcome.wallSeconds - 0.8);
    EXPECT_LE(facts.duration, outcome.recordedSeconds + 0.1);
}

TEST(MovieWriter, SoundAndPictureTimesOnlyRiseAcrossPauses) {
    QTemporaryDir dir;
    const QString path = dir.filePath("resumed.mp4");
    const Outcome outcome = record(path, true, [&](MovieWriter& writer) {
        for (int i = 0; i < 2; ++i) {
            std::this_thread::sleep_for(800ms);
            writer.pause();
            std::this_thread::sleep_for(600ms);
            writer.resume();
        }
        std::this_thread::sleep_for(800ms);
    });
    ASSERT_FALSE(outcome.error) << outcome.error->toStdString();
    for (const char* media : {"video", "audio"}) {
        const std::vector<double> times = qv::test::packetTimes(path, media);
        ASSERT_GT(times.size(), 20u) << media;
        for (size_t i = 1; i < times.size(); ++i)
            ASSERT_GT(times[i], times[i - 1]) << media << " packet " << i << " goes back in time";
    }
    // Both tracks cover the same recorded time: the sound neither ran ahead nor fell behind.
    const auto video = qv::test::packetTimes(path, "video");
    const auto audio = qv::test::packetTimes(path, "audio");
    EXPECT_NEAR(audio.back(), video.back(), 0.2);
}

namespace {

// A sample of `caps` whose buffer starts at `at` (running time) and lasts `duration`.
GstSample* sampleAt(GstCaps* caps, GstClockTime at, GstClockTime duration, gsize bytes) {
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    gst_buffer_memset(buffer, 0, 0x40, bytes);
    GST_BUFFER_PTS(buffer) = at;
    GST_BUFFER_DURATION(buffer) = duration;
    GstSample* sample = gst_sample_new(buffer, caps, nullptr, nullptr);
    gst_buffer_unref(buffer);
    return sample;
}

// A writer with sound, fed by hand with frames of 64 x 36 and a microphone's pieces of 1024
// samples at 44.1 kHz, at the capture times given.
class HandFedWriter {
public:
    static constexpr GstClockTime frame = GST_SECOND / 30;
    const GstClockTime piece = gst_util_uint64_scale(1024, GST_SECOND, 44100);

    explicit HandFedWriter(const QString& path)
        : writer_(path, true, [this](const QString&, const std::optional<QString>& error) { finished_.set_value(error); }) {
        gst_init(nullptr, nullptr);  // for the caps, before the writer starts
        videoCaps_ = gst_caps_from_string("video/x-raw,format=BGRx,width=64,height=36,framerate=30/1");
        audioCaps_ = gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved,rate=44100,channels=2");
    }
    ~HandFedWriter() {
        gst_caps_unref(videoCaps_);
        gst_caps_unref(audioCaps_);
    }
    MovieWriter& writer() { return writer_; }
    void video(GstClockTime at) { push(videoCaps_, at, frame, 64 * 36 * 4, &MovieWriter::pushVideo); }
    void audio(GstClockTime at) { push(audioCaps_, at, piece, 1024 * 4, &MovieWriter::pushAudio); }
    // Finishes the movie and waits for the file: its error, or none.
    std::optional<QString> finish(std::chrono::seconds timeout) {
        writer_.finish();
        auto future = finished_.get_future();
        if (future.wait_for(timeout) != std::future_status::ready) return QStringLiteral("never finished");
        return future.get();
    }

private:
    void push(GstCaps* caps, GstClockTime at, GstClockTime duration, gsize bytes, void (MovieWriter::*to)(GstSample*)) {
        GstSample* s = sampleAt(caps, at, duration, bytes);
        (writer_.*to)(s);
        gst_sample_unref(s);
    }

    std::promise<std::optional<QString>> finished_;
    MovieWriter writer_;
    GstCaps* videoCaps_ = nullptr;
    GstCaps* audioCaps_ = nullptr;
};

}  // namespace

TEST(MovieWriter, SoundThatRanAheadOfThePictureNeverStepsBackAfterAPause) {
    // Sound reaches the writer a little ahead of the picture (0.22 s here); after a pause the
    // movie must go on where the sound left off, or the sound's times step back.
    QTemporaryDir dir;
    std::promise<void> finished;
    MovieWriter writer(dir.filePath("ahead.mp4"), true, [&](const QString&, const std::optional<QString>&) {
        finished.set_value();
    });
    std::vector<GstClockTime> video, audio;
    writer.setTimeObserver([&](bool isVideo, GstClockTime t) { (isVideo ? video : audio).push_back(t); });
    QString error;
    ASSERT_TRUE(writer.start(&error)) << error.toStdString();
    GstCaps* videoCaps = gst_caps_from_string("video/x-raw,format=BGRx,width=64,height=36,framerate=30/1");
    GstCaps* audioCaps = gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved,rate=48000,channels=2");
    constexpr GstClockTime frame = GST_SECOND / 30, piece = 20 * GST_MSECOND;
    auto feed = [&](GstClockTime from, GstClockTime videoUntil, GstClockTime audioUntil) {
        for (GstClockTime t = from; t < std::max(videoUntil, audioUntil); t += piece / 2) {
            if (t < videoUntil && (t - from) % frame < piece / 2) {
                // A frame that finds the encoder's queue full is dropped. A live camera's frames
                // come at their own pace; this feed, far quicker, waits for room instead.
                GstSample* s = sampleAt(videoCaps, t, frame, 64 * 36 * 4);
                const size_t taken = video.size();
                writer.pushVideo(s);
                for (int i = 0; video.size() == taken && i < 2000; ++i) {
                    std::this_thread::sleep_for(5ms);
                    writer.pushVideo(s);
                }
                gst_sample_unref(s);
            }
            if (t < audioUntil && (t - from) % piece == 0) {
                GstSample* s = sampleAt(audioCaps, t, piece, 48000 / 50 * 4);
                writer.pushAudio(s);
                gst_sample_unref(s);
            }
        }
    };
    feed(0, GST_SECOND, GST_SECOND + 220 * GST_MSECOND);
    const size_t videoBefore = video.size(), audioBefore = audio.size();
    writer.pause();
    writer.resume();
    feed(3 * GST_SECOND, 4 * GST_SECOND, 4 * GST_SECOND);
    writer.finish();
    EXPECT_EQ(finished.get_future().wait_for(30s), std::future_status::ready);
    gst_caps_unref(videoCaps);
    gst_caps_unref(audioCaps);

    ASSERT_GT(video.size(), 40u);
    ASSERT_GT(audio.size(), 80u);
    for (const auto* times : {&video, &audio})
        for (size_t i = 1; i < times->size(); ++i)
            ASSERT_GT((*times)[i], (*times)[i - 1]) << (times == &video ? "video" : "audio") << " item " << i;
    // After the pause, picture and sound go on where the sound before it ended.
    ASSERT_LT(audioBefore, audio.size());
    ASSERT_LT(videoBefore, video.size());
    const GstClockTime soundEnded = audio[audioBefore - 1] + piece;
    EXPECT_GE(audio[audioBefore] + GST_MSECOND, soundEnded);
    EXPECT_GE(video[videoBefore] + GST_MSECOND, soundEnded);
}

TEST(MovieWriter, AFirstFrameThatLastsWhileTheSoundStartsLateStaysInTheFile) {
    // A busy machine: the first frame, then nothing for most of a second, and the sound that came
    // before that frame is left out, so the sound track starts a little after the picture. The
    // first frame is the only key frame here: without it nothing of the picture can be shown.
    QTemporaryDir dir;
    const QString path = dir.filePath("late-sound.mp4");
    HandFedWriter feed(path);
    QString error;
    ASSERT_TRUE(feed.writer().start(&error)) << error.toStdString();
    const GstClockTime origin = 5 * GST_SECOND;  // the capture's running time of the first frame
    feed.video(origin);
    const GstClockTime frames[] = {900 * GST_MSECOND, 1000 * GST_MSECOND};  // then two more frames
    size_t next = 0;
    for (GstClockTime t = 37 * GST_MSECOND; t < 1100 * GST_MSECOND; t += feed.piece) {
        if (next < std::size(frames) && t >= frames[next]) feed.video(origin + frames[next++]);
        feed.audio(origin + t);
    }
    const double recorded = feed.writer().recordedSeconds();
    const std::optional<QString> outcome = feed.finish(30s);
    ASSERT_FALSE(outcome) << outcome->toStdString();

    // Every frame the writer counted is in the file, the first at the start of the movie.
    const std::vector<double> times = qv::test::packetTimes(path, "video");
    ASSERT_GE(times.size(), 3u);
    EXPECT_NEAR(times.front(), 0.0, 0.001);
    EXPECT_GE(times.back() + 0.1, recorded - HandFedWriter::frame / double(GST_SECOND));
    // The picture shows from the first moment on, and the sound starts there too.
    EXPECT_FALSE(qv::test::decodedFrames(path, 0.0, 0.5).empty());
    const std::vector<double> sound = qv::test::packetTimes(path, "audio");
    ASSERT_FALSE(sound.empty());
    EXPECT_NEAR(sound.front(), 0.0, 0.001);
}

TEST(MovieWriter, WithoutSoundThereIsNoAudioTrack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("silent.mp4");
    const Outcome outcome = record(path, false, [](MovieWriter&) { std::this_thread::sleep_for(1s); });
    ASSERT_FALSE(outcome.error);
    const auto facts = qv::test::probeMovie(path);
    ASSERT_TRUE(facts.readable);
    EXPECT_EQ(facts.videoCodec, "video/x-h264");
    EXPECT_TRUE(facts.audioCodec.isEmpty());
}

TEST(MovieWriter, SoundThatNeverArrivesDoesNotHoldUpTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("mute.mp4");
    const Outcome outcome = record(path, true, [](MovieWriter&) { std::this_thread::sleep_for(1s); }, false);
    ASSERT_FALSE(outcome.error);
    const auto facts = qv::test::probeMovie(path);
    ASSERT_TRUE(facts.readable) << facts.error.toStdString();
    EXPECT_TRUE(facts.streams().startsWith("video/x-h264 640x360")) << facts.streams().toStdString();
    EXPECT_FALSE(facts.topLevelBoxes.contains("moof"));
}

TEST(MovieWriter, AFileThatCannotBeWrittenFailsToStartAndNeverFinishes) {
    bool finished = false;
    {
        MovieWriter writer("/nonexistent-folder/movie.mp4", false,
                           [&](const QString&, const std::optional<QString>&) { finished = true; });
        QString error;
        EXPECT_FALSE(writer.start(&error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(writer.isRecording());
    }
    EXPECT_FALSE(finished);
}

TEST(MovieWriter, FinishingWithoutFramesReportsAnError) {
    QTemporaryDir dir;
    std::promise<std::optional<QString>> finished;
    MovieWriter writer(dir.filePath("empty.mp4"), false,
                       [&](const QString&, const std::optional<QString>& error) { finished.set_value(error); });
    ASSERT_TRUE(writer.start(nullptr));
    writer.finish();
    auto future = finished.get_future();
    ASSERT_EQ(future.wait_for(30s), std::future_status::ready);
    EXPECT_TRUE(future.get().has_value());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("empty.mp4")));
}


// The largest step between neighbouring packet times (0 for fewer than two).
double largestStep(const std::vector<double>& times) {
    double step = 0;
    for (size_t i = 1; i < times.size(); ++i) step = std::max(step, times[i] - times[i - 1]);
    return step;
}

TEST(MovieWriter, AMicrophoneThatIsLateOrStopsCostsThePictureNothing) {
    // The muxer writes a stretch once both tracks have it: sound that does not come must not hold
    // the picture up until its queues overflow.
    struct Case {
        const char* name;
        std::chrono::milliseconds soundBefore;  // sound fed from the start, then held
        std::chrono::milliseconds soundHeld;
        std::chrono::milliseconds soundAfter;
    };
    for (const Case& c : {Case{"starts 4 s late", 0ms, 4000ms, 1500ms}, Case{"stops for 3 s", 1000ms, 3000ms, 1500ms}}) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("microphone.mp4");
        std::atomic<bool> held{c.soundBefore == 0ms};
        const Outcome outcome = record(
            path, true,
            [&](MovieWriter&) {
                std::this_thread::sleep_for(c.soundBefore);
                held = true;
                std::this_thread::sleep_for(c.soundHeld);
                held = false;
                std::this_thread::sleep_for(c.soundAfter);
            },
            true, nullptr, &held);
        ASSERT_FALSE(outcome.error) << outcome.error->toStdString();
        // Every frame is there, without a hole; the sound runs from 0 to the end, silence where
        // the microphone gave none.
        const std::vector<double> frames = qv::test::packetTimes(path, "video");
        const std::vector<double> sound = qv::test::packetTimes(path, "audio");
        ASSERT_FALSE(frames.empty());
        ASSERT_FALSE(sound.empty());
        EXPECT_LT(largestStep(frames), 0.2);
        EXPECT_GE(frames.back(), outcome.recordedSeconds - 0.2);
        EXPECT_NEAR(sound.front(), 0.0, 0.001);
        EXPECT_LT(largestStep(sound), 0.1);
        EXPECT_GE(sound.back(), frames.back() - 0.5);
    }
}

TEST(MovieWriter, SoundThatFirstComesMinutesLateGetsItsSilenceInPiecesTheQueueHolds) {
    // A picture that stood still, and sound that first came ten minutes into the movie (a machine
    // that slept while it recorded): ten minutes of silence go before it, made without holding
    // them all in memory at once and without more pieces than the encoder's queue takes.
    QTemporaryDir dir;
    const QString path = dir.filePath("slept.mp4");
    HandFedWriter feed(path);
    ASSERT_TRUE(feed.writer().start(nullptr));
    const GstClockTime late = 600 * GST_SECOND;
    feed.video(0);
    qv::test::resetPeakResident();
    const double peakBefore = qv::test::statusMegabytes("VmHWM:");
    for (GstClockTime t = late; t < late + GST_SECOND; t += feed.piece) feed.audio(t);
    const double peakGrowth = qv::test::statusMegabytes("VmHWM:") - peakBefore;
    const std::optional<QString> outcome = feed.finish(120s);
    ASSERT_FALSE(outcome) << outcome->toStdString();

    // Ten minutes of silence at once would be about 100 MB.
    EXPECT_LT(peakGrowth, 20.0);
    const std::vector<double> sound = qv::test::packetTimes(path, "audio");
    ASSERT_FALSE(sound.empty());
    EXPECT_NEAR(sound.front(), 0.0, 0.001);
    EXPECT_LT(largestStep(sound), 0.1);
    EXPECT_GE(sound.back(), 600.9);
}
