// The Settings popover's pickers on the synthetic devices: the plain webcam chosen in the
// main-camera picker restarts the preview on it, and the line-in chosen in the microphone picker
// is what the next camera movie records.
#include <gtest/gtest.h>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <QComboBox>

#include <cstdlib>

#include "BarOnDevices.h"

using namespace qv;
namespace nt = app::notification;

namespace {

// The loudest 16-bit sample of a movie's sound track (-1 without one).
int loudestSample(const QString& path) {
    gst_init(nullptr, nullptr);
    GError* error = nullptr;
    const QString description = QStringLiteral(
        "filesrc location=\"%1\" ! decodebin ! audioconvert ! audio/x-raw,format=S16LE ! appsink name=out sync=false")
                                    .arg(path);
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &error);
    if (!pipeline) {
        g_clear_error(&error);
        return -1;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    int loudest = -1;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND)) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto* samples = reinterpret_cast<const gint16*>(map.data);
            for (gsize i = 0; i < map.size / 2; ++i) loudest = std::max(loudest, std::abs(int(samples[i])));
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return loudest;
}

class PickersOnDevices : public test::BarOnDevices {
protected:
    QComboBox* openPicker(const char* name) {
        bar->model().showPopoverSettings = true;
        emit bar->model().changed();
        EXPECT_TRUE(test::waitUntil([&] { return bar->popover("Settings")->isVisible(); }));
        for (auto* c : bar->popover("Settings")->findChildren<QComboBox*>(name))
            if (c->isVisibleTo(bar->popover("Settings"))) return c;
        return nullptr;
    }
    // Chooses the entry with that text as the presenter does.
    static void choose(QComboBox* picker, const QString& text) {
        const int index = picker->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        picker->setCurrentIndex(index);
        emit picker->activated(index);
    }
};

// Whether most of the picture is the webcam's black background (the own-brand camera shows
// colour bars).
bool mostlyDark(const QImage& image) {
    int dark = 0, total = 0;
    for (int y = 0; y < image.height(); y += 16)
        for (int x = 0; x < image.width(); x += 16, ++total) dark += qGray(image.pixel(x, y)) < 40;
    return total > 0 && dark * 10 > total * 7;
}

TEST_F(PickersOnDevices, PlainWebcamChosenInThePickerRestartsThePreviewOnIt) {
    ASSERT_EQ(controller()->curVemoCamera()->name, "Quorvane Pimlet V5");
    EXPECT_FALSE(mostlyDark(preview()->grab().toImage())) << "colour bars first";
    QComboBox* picker = openPicker("mainCameraPicker");
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->currentText(), "Quorvane Pimlet V5");
    choose(picker, "Plain USB Webcam");
    ASSERT_TRUE(test::waitUntil([&] { return started() == 2; }, 20000));
    EXPECT_EQ(received.back().userInfo.value("vemoCamera").value<capture::VemoCamera>().name, "Plain USB Webcam");
    const auto painted = preview()->framesPainted();
    ASSERT_TRUE(test::waitUntil([&] { return preview()->framesPainted() > painted + 3; }, 10000));
    ASSERT_TRUE(test::waitUntil([&] { return mostlyDark(preview()->grab().toImage()); }, 10000))
        << "the window shows the webcam's picture";

    // Choosing it again changes nothing.
    choose(openPicker("mainCameraPicker"), "Plain USB Webcam");
    test::spin(500);
    EXPECT_EQ(started(), 2);
}

TEST_F(PickersOnDevices, LineInChosenInThePickerIsRecordedByTheNextMovie) {
    // A small picture keeps the movie quick to write on a busy machine.
    app::applyResolution(QStringLiteral("720P@30fps"));
    ASSERT_EQ(controller()->curVemoMic()->name, "Synthetic Room Mic");
    choose(openPicker("microphonePicker"), "Synthetic Line In");
    ASSERT_TRUE(test::waitUntil([&] { return started() == 2; }, 20000));
    EXPECT_EQ(controller()->curVemoMic()->name, "Synthetic Line In");
    ASSERT_TRUE(test::waitUntil([&] { return controller()->hasSound(); }, 10000));

    bar->model().startRecording(controlbar::ControlBarModel::Recording::Movie);
    ASSERT_TRUE(bar->model().isRecording);
    const auto captured = controller()->framesCaptured();
    ASSERT_TRUE(test::waitUntil([&] { return controller()->framesCaptured() > captured + 15; }, 20000));
    bar->model().stopRecording();
    ASSERT_TRUE(test::waitUntil([&] {
        return std::any_of(received.begin(), received.end(), [](const app::Notification& n) { return n.name == nt::VideoRecorded; });
    }, 150000));  // a busy machine can take a minute to finish a movie file
    const QUrl url = std::find_if(received.begin(), received.end(), [](const app::Notification& n) {
                         return n.name == nt::VideoRecorded;
                     })->userInfo.value("url").toUrl();
    const int loudest = loudestSample(url.toLocalFile());
    EXPECT_GT(loudest, 1000) << "the line-in's tone, not the room microphone's silence";
}

}  // namespace
