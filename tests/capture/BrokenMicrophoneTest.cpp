#include <gst/gst.h>

#include "CameraFixture.h"
#include "capture/gst/CameraSession.h"
#include "capture/gst/DeviceProviders.h"
#include "capture/gst/SourceDevice.h"

using namespace qv::capture;
using qv::capture::test::CameraWindow;

namespace {

// A microphone whose source cannot start: it reads a file that does not exist.
class BrokenMicrophone : public qv::gst::SourceDevice {
public:
    qv::gst::ElementPtr createSource() const override {
        GstElement* src = gst_element_factory_make("filesrc", nullptr);
        if (!src) return nullptr;
        g_object_set(src, "location", "/nonexistent/quorvane-test-microphone", nullptr);
        return qv::gst::ElementPtr(GST_ELEMENT(gst_object_ref_sink(src)));
    }
};

// The synthetic camera with a microphone that fails.
class WithBrokenMicrophone : public DeviceProvider {
public:
    WithBrokenMicrophone() : synthetic_(QStringLiteral(QV_TEST_SOURCE_DIR "/no-microphone.json")) {}
    std::vector<CaptureDeviceRef> videoDevices() override { return synthetic_.videoDevices(); }
    std::vector<CaptureDeviceRef> audioDevices() override {
        auto mic = std::make_shared<BrokenMicrophone>();
        mic->kind = CaptureDevice::Kind::Audio;
        mic->localizedName = QStringLiteral("Broken Line In");
        mic->uniqueID = QStringLiteral("test:broken");
        return {mic};
    }

private:
    qv::gst::SyntheticDeviceProvider synthetic_;
};

}  // namespace

TEST_F(CameraWindow, AMicrophoneThatCannotStartLeavesThePictureRunning) {
    testing::internal::CaptureStdout();
    open(std::make_unique<WithBrokenMicrophone>());
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("The microphone could not be started: the camera runs without sound."), std::string::npos)
        << printed;
    EXPECT_TRUE(controller()->isSessionRunning());
    EXPECT_FALSE(controller()->hasSound());
    ASSERT_EQ(controller()->vemoMics().size(), 1u);
}
