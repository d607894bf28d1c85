#include "TestFeed.h"

#include <gst/app/gstappsink.h>

#include <stdexcept>

namespace qv::test {

namespace {

GstFlowReturn forward(GstAppSink* sink, gpointer data) {
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_EOS;
    (*static_cast<TestFeed::SampleHandler*>(data))(sample);
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

void connect(GstElement* pipeline, const char* name, TestFeed::SampleHandler* handler) {
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), name);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = forward;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, handler, nullptr);
    gst_object_unref(sink);
}

}  // namespace

TestFeed::TestFeed(const std::string& videoCaps, bool withAudio, SampleHandler onVideo, SampleHandler onAudio)
    : onVideo_(std::move(onVideo)), onAudio_(std::move(onAudio)) {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    std::string description = "videotestsrc is-live=true pattern=ball ! " + videoCaps +
                              " ! appsink name=vsink sync=false max-buffers=4 drop=true";
    if (withAudio)
        description += " audiotestsrc is-live=true wave=sine ! audio/x-raw,rate=48000,channels=2 ! "
                       "appsink name=asink sync=false";
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(description.c_str(), &error);
    if (error) {
        std::string text = error->message;
        g_error_free(error);
        throw std::runtime_error(text);
    }
    connect(pipeline_, "vsink", &onVideo_);
    if (withAudio) connect(pipeline_, "asink", &onAudio_);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
}

TestFeed::~TestFeed() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
}

}  // namespace qv::test
