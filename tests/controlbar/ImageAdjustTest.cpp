// The Focus and Adjust popovers over a real HID link on the scripted transport: the exact report
// of every slider step and focus button, and the reset that sends one report and moves the
// sliders without sending their values.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <cmath>

#include "capture/hid/HIDReports.h"
#include "capture/hid/link/QVHIDDevice.h"
#include "capture/hid/link/FakeHIDTransport.h"
#include "controlbar/ControlBarView.h"
#include "controlbar/FakeCamera.h"
#include "controlbar/Popover.h"
#include "controlbar/QVImageButton.h"
#include "support/QtWait.h"

using namespace qv::controlbar;
using qv::hid::QVHIDDevice;
using qv::hid::test::Bytes;
using qv::hid::test::FakeHIDTransport;

namespace {

const std::string kCamera = "camera";

// A bar whose image settings go through a link to a plugged fake camera.
struct LinkedBar : ::testing::Test {
    std::shared_ptr<FakeHIDTransport> transport = std::make_shared<FakeHIDTransport>();
    std::unique_ptr<QVHIDDevice> link;
    qv::test::FakeCamera camera;
    std::unique_ptr<ControlBarView> view;

    void SetUp() override {
        transport->plug(kCamera, 0x2C4A, 41);
        link = std::make_unique<QVHIDDevice>(transport, QVHIDDevice::Options{std::chrono::milliseconds(5),
                                                                             std::chrono::milliseconds(5)});
        link->setVendorId(0x2C4A);
        link->setProductId(41);
        link->setReportSize(24);
        ASSERT_TRUE(link->start());
        ASSERT_TRUE(qv::test::waitUntil([&] { return link->isConnected(); }));
        view = std::make_unique<ControlBarView>([this]() -> CameraPort* { return &camera; });
        view->model().setHIDLink([this]() -> QVHIDDevice& { return *link; });
    }
    void TearDown() override {
        view.reset();
        link.reset();
    }
    ControlBarModel& model() { return view->model(); }

    std::vector<Bytes> written() const {
        std::vector<Bytes> out;
        for (const auto& o : transport->outputs(kCamera)) {
            EXPECT_EQ(o.reportID, 0) << "reports travel with report id 0";
            out.push_back(o.report);
        }
        return out;
    }
    // Waits until `count` reports have reached the device and returns them.
    std::vector<Bytes> waitForReports(std::size_t count) {
        EXPECT_TRUE(qv::test::waitUntil([&] { return written().size() >= count; })) << "only " << written().size();
        return written();
    }
    // Everything sent after the first `from` reports, up to and including a marker report that
    // is sent now: nothing else can still be on its way once the marker arrived.
    std::vector<Bytes> sentSince(std::size_t from) {
        model().sendFocusCommand(0x32);
        EXPECT_TRUE(qv::test::waitUntil([&] {
            const auto all = written();
            return all.size() > from && all.back() == report(0x32, 0, 0);
        }));
        auto all = written();
        all.pop_back();
        return std::vector<Bytes>(all.begin() + std::ptrdiff_t(from), all.end());
    }
    static Bytes report(std::uint8_t code, std::uint8_t low, std::uint8_t high) {
        Bytes r(24, 0);
        r[0] = code;
        r[1] = low;
        r[2] = high;
        return r;
    }
};

TEST_F(LinkedBar, EverySliderStepSendsItsExactReport) {
    struct Case {
        ImageSetting setting;
        int value;
        Bytes expected;
    } cases[] = {
        {ImageSetting::Brightness, -127, report(0x60, 0x81, 0xFF)},
        {ImageSetting::Brightness, 128, report(0x60, 0x80, 0x00)},
        {ImageSetting::Brightness, -1, report(0x60, 0xFF, 0xFF)},
        {ImageSetting::Contrast, 0, report(0x61, 0x00, 0x00)},
        {ImageSetting::Contrast, 255, report(0x61, 0xFF, 0x00)},
        {ImageSetting::Saturation, 200, report(0x62, 0xC8, 0x00)},
        {ImageSetting::Sharpness, 1, report(0x63, 0x01, 0x00)},
        {ImageSetting::Focus, 77, report(0x33, 0x4D, 0x00)},
        {ImageSetting::Exposure, -512, report(0x43, 0x00, 0xFE)},
        {ImageSetting::Exposure, 3072, report(0x43, 0x00, 0x0C)},
        {ImageSetting::Whitebalance, 8500, report(0x53, 0x34, 0x21)},
        {ImageSetting::Whitebalance, 2300, report(0x53, 0xFC, 0x08)},
        {ImageSetting::Whitebalance, 5001, report(0x53, 0x89, 0x13)},
    };
    std::size_t n = 0;
    for (const Case& c : cases) {
        QSlider* slider = view->imageSlider(c.setting);
        ASSERT_NE(slider, nullptr);
        slider->setValue(c.value);
        EXPECT_EQ(model().imageSetting(c.setting), c.value) << "the field follows the slider";
        const auto all = waitForReports(++n);
        ASSERT_EQ(all.size(), n);
        EXPECT_EQ(qv::hid::hexText(all.back()), qv::hid::hexText(c.expected)) << "value " << c.value;
    }
}

TEST_F(LinkedBar, SlidersCoverTheirClosedRangesAndStartAtTheDefaults) {
    for (const ImageSettingRow& row : imageSettingRows()) {
        QSlider* slider = view->imageSlider(row.setting);
        ASSERT_NE(slider, nullptr) << row.label;
        EXPECT_EQ(slider->minimum(), row.minimum) << row.label;
        EXPECT_EQ(slider->maximum(), row.maximum) << row.label;
        EXPECT_EQ(slider->value(), int(row.defaultValue)) << row.label;
        EXPECT_EQ(model().imageSetting(row.setting), row.defaultValue) << row.label;
    }
    EXPECT_STREQ(imageSettingRows()[4].label, "Focus") << "the focus row sits between sharpness and exposure";
    EXPECT_TRUE(written().empty()) << "building the popover sends nothing";
}

TEST_F(LinkedBar, DraggingSendsOneReportPerStepNotOneAtTheEnd) {
    QSlider* contrast = view->imageSlider(ImageSetting::Contrast);
    for (int i = 0; i < 12; ++i) contrast->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    const auto all = waitForReports(12);
    ASSERT_EQ(all.size(), 12u);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(all[std::size_t(i)], report(0x61, std::uint8_t(129 + i), 0));
}

TEST_F(LinkedBar, ValuesAreTruncatedTowardZero) {
    model().setImageSetting(ImageSetting::Brightness, -0.5);
    model().setImageSetting(ImageSetting::Brightness, 127.9);
    model().setImageSetting(ImageSetting::Brightness, -0.7);
    const auto all = waitForReports(3);
    EXPECT_EQ(all[0], report(0x60, 0, 0));
    EXPECT_EQ(all[1], report(0x60, 127, 0));
    EXPECT_EQ(all[2], report(0x60, 0, 0));
    EXPECT_DOUBLE_EQ(model().brightnessFactor, -0.7) << "the field keeps the value itself";
}

TEST_F(LinkedBar, FocusButtonsSendTheirOneShotCommandsAndMoveNoSlider) {
    model().toggleModel.allowHIDControl = true;
    model().showPopoverFocus = true;
    view->show();
    emit model().changed();
    ASSERT_TRUE(qv::test::waitUntil([&] { return view->popover("Focus")->isVisible(); }));
    QVImageButton* autoFocus = view->button("toolbar_focus_af");
    QVImageButton* lock = view->button("toolbar_focus_afl");
    ASSERT_NE(autoFocus, nullptr);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(autoFocus->text(), "Auto");
    EXPECT_EQ(lock->text(), "Lock");
    QTest::mouseClick(autoFocus, Qt::LeftButton);
    QTest::mouseClick(lock, Qt::LeftButton);
    const auto all = waitForReports(2);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], report(0x31, 0, 0));
    EXPECT_EQ(all[1], report(0x32, 0, 0));
    EXPECT_EQ(model().focusFactor, 128);
    EXPECT_EQ(view->imageSlider(ImageSetting::Focus)->value(), 128);
}

TEST_F(LinkedBar, ResetSendsExactlyOneReportAndPutsTheSlidersBackSilently) {
    const std::pair<ImageSetting, int> moved[] = {
        {ImageSetting::Brightness, 50},  {ImageSetting::Contrast, 10},  {ImageSetting::Saturation, 20},
        {ImageSetting::Sharpness, 30},   {ImageSetting::Focus, 40},     {ImageSetting::Exposure, 900},
        {ImageSetting::Whitebalance, 7000},
    };
    for (const auto& [setting, value] : moved) view->imageSlider(setting)->setValue(value);
    const std::size_t before = waitForReports(7).size();
    ASSERT_EQ(before, 7u);

    auto* reset = view->findChild<QPushButton*>("resetToDefault");
    ASSERT_NE(reset, nullptr);
    EXPECT_EQ(reset->text(), "Reset to default");
    QTest::mouseClick(reset, Qt::LeftButton);

    const auto sent = sentSince(before);
    ASSERT_EQ(sent.size(), 1u) << "the reset command alone";
    EXPECT_EQ(sent[0], report(0x13, 0, 0));
    // The camera's own defaults, as the reset leaves them on the device.
    const std::pair<ImageSetting, int> defaults[] = {
        {ImageSetting::Brightness, 0},  {ImageSetting::Contrast, 128}, {ImageSetting::Saturation, 128},
        {ImageSetting::Sharpness, 128}, {ImageSetting::Focus, 128},    {ImageSetting::Exposure, 0},
        {ImageSetting::Whitebalance, 5000},
    };
    for (const auto& [setting, value] : defaults) {
        EXPECT_EQ(model().imageSetting(setting), value) << int(setting);
        EXPECT_EQ(view->imageSlider(setting)->value(), value) << int(setting);
    }
    EXPECT_EQ(sentSince(before).size(), 1u) << "putting the sliders back sent their values";
}

TEST_F(LinkedBar, WithoutADeviceTheSliderMovesAndNothingIsSent) {
    transport->unplug(kCamera);
    ASSERT_TRUE(qv::test::waitUntil([&] { return !link->isConnected(); }));
    view->imageSlider(ImageSetting::Saturation)->setValue(77);
    EXPECT_EQ(model().saturationFactor, 77);
    qv::test::spin(50);
    EXPECT_TRUE(written().empty());
}

TEST_F(LinkedBar, FocusAndAdjustComeAndGoWithHIDControlSettingsStays) {
    EXPECT_EQ(view->button("toolbar_focus"), nullptr);
    EXPECT_EQ(view->button("toolbar_adjust"), nullptr);
    EXPECT_NE(view->button("toolbar_settings"), nullptr);
    model().toggleModel.allowHIDControl = true;
    emit model().changed();
    qv::test::spin(10);
    ASSERT_NE(view->button("toolbar_focus"), nullptr);
    ASSERT_NE(view->button("toolbar_adjust"), nullptr);
    // Order in the group: Focus, Adjust, Settings.
    view->show();
    qv::test::spin(20);
    QWidget* group = view->hidButtons();
    const auto x = [&](const char* icon) { return view->button(icon)->mapTo(group, QPoint()).x(); };
    EXPECT_LT(x("toolbar_focus"), x("toolbar_adjust"));
    EXPECT_LT(x("toolbar_adjust"), x("toolbar_settings"));

    view->imageSlider(ImageSetting::Contrast)->setValue(99);
    model().showPopoverAdjust = true;
    emit model().changed();
    ASSERT_TRUE(qv::test::waitUntil([&] { return view->popover("Adjust")->isVisible(); }));
    // The device goes away: the buttons and the open popover go; the value stays, not re-sent.
    model().toggleModel.allowHIDControl = false;
    emit model().changed();
    qv::test::spin(10);
    EXPECT_EQ(view->button("toolbar_focus"), nullptr);
    EXPECT_FALSE(view->popover("Adjust")->isVisible());
    const std::size_t before = waitForReports(1).size();
    model().toggleModel.allowHIDControl = true;
    emit model().changed();
    EXPECT_EQ(view->imageSlider(ImageSetting::Contrast)->value(), 99);
    EXPECT_TRUE(sentSince(before).empty()) << "coming back sends nothing";
}

}  // namespace
