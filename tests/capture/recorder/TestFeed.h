#pragma once
// Live test sources (a moving picture and a tone) that hand each sample to a callback, as a
// camera pipeline's recording branch does.
#include <gst/gst.h>

#include <functional>
#include <string>

namespace qv::test {

class TestFeed {
public:
    using SampleHandler = std::function<void(GstSample*)>;
    // `videoCaps` such as "video/x-raw,format=BGRx,width=640,height=360,framerate=30/1".
    TestFeed(const std::string& videoCaps, bool withAudio, SampleHandler onVideo, SampleHandler onAudio);
    ~TestFeed();
    TestFeed(const TestFeed&) = delete;
    TestFeed& operator=(const TestFeed&) = delete;

private:
    GstElement* pipeline_ = nullptr;
    SampleHandler onVideo_;
    SampleHandler onAudio_;
};

}  // namespace qv::test
