// CPU time per recorded second of the movie writer at 1920 x 1080, 30 frames per second: a live
// test picture (BGRx, as the camera session delivers it) handed over from an appsink, encoded,
// written in fragments and finished as an ordinary MP4.
//
//   qv_recording_bench <seconds> <output.mp4>
//
// Prints one line "cpu_s=... recorded_s=... cpu_per_recorded_s=..." for run-recording-bench.sh.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "capture/gst/MovieWriter.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

GstFlowReturn forward(GstAppSink* sink, gpointer data) {
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_EOS;
    static_cast<qv::gst::MovieWriter*>(data)->pushVideo(sample);
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <seconds> <output.mp4>\n", argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    gst_init(&argc, &argv);
    const double cpuStart = cpuSeconds();

    std::promise<std::optional<QString>> finished;
    qv::gst::MovieWriter writer(QString::fromLocal8Bit(argv[2]), false,
                                [&](const QString&, const std::optional<QString>& error) { finished.set_value(error); });
    QString error;
    if (!writer.start(&error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    GError* parseError = nullptr;
    const std::string description = "videotestsrc is-live=true pattern=smpte horizontal-speed=4 num-buffers=" +
                                    std::to_string(seconds * 30) +
                                    " ! video/x-raw,format=BGRx,width=1920,height=1080,framerate=30/1 ! "
                                    "appsink name=sink sync=false";
    GstElement* source = gst_parse_launch(description.c_str(), &parseError);
    if (parseError) return 1;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(source), "sink");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = forward;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &writer, nullptr);
    gst_object_unref(sink);
    gst_element_set_state(source, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(source);
    GstMessage* done = gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE,
                                                  GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (done) gst_message_unref(done);
    gst_object_unref(bus);
    writer.finish();
    auto result = finished.get_future().get();
    gst_element_set_state(source, GST_STATE_NULL);
    gst_object_unref(source);
    if (result) {
        std::fprintf(stderr, "%s\n", result->toLocal8Bit().constData());
        return 1;
    }
    const double cpu = cpuSeconds() - cpuStart;
    const double recorded = writer.recordedSeconds();
    std::printf("cpu_s=%.3f recorded_s=%.3f cpu_per_recorded_s=%.4f\n", cpu, recorded, cpu / recorded);
    return 0;
}
