// The recorder's device lists and their JSON form.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QJsonDocument>

#include "capture/ScreenRecorder.h"
#include "capture/gst/DeviceProviders.h"

using Devices = qv::capture::ScreenRecorder::Devices;

TEST(RecorderDevices, RecordsSurviveAJsonRoundTrip) {
    const Devices::Screen screen{4294967295u, QStringLiteral("Maker Display 27\"")};
    const Devices::Audio audio{QStringLiteral("alsa:usb-0d8c_0014"), QStringLiteral("USB Audio «Line»")};
    const Devices::IOS ios{QStringLiteral("ios-1"), QStringLiteral("Tablet")};
    auto roundTrip = [](const QJsonObject& json) {
        return QJsonDocument::fromJson(QJsonDocument(json).toJson()).object();
    };
    EXPECT_EQ(Devices::Screen::fromJson(roundTrip(screen.toJson())), screen);
    EXPECT_EQ(Devices::Audio::fromJson(roundTrip(audio.toJson())), audio);
    EXPECT_EQ(Devices::IOS::fromJson(roundTrip(ios.toJson())), ios);
    EXPECT_EQ(screen.toJson().keys(), (QStringList{"id", "name"}));
}

TEST(RecorderDevices, DecodingRejectsMissingOrMistypedKeys) {
    const char* screens[] = {
        R"({"name": "A"})", R"({"id": 1})", R"({"id": -1, "name": "A"})", R"({"id": 4294967296, "name": "A"})",
        R"({"id": 1.5, "name": "A"})", R"({"id": "1", "name": "A"})", R"({"id": 1, "name": 2})",
    };
    for (const char* text : screens)
        EXPECT_THROW(Devices::Screen::fromJson(QJsonDocument::fromJson(text).object()), std::invalid_argument) << text;
    EXPECT_THROW(Devices::Audio::fromJson(QJsonDocument::fromJson(R"({"id": "x"})").object()), std::invalid_argument);
    EXPECT_THROW(Devices::IOS::fromJson(QJsonDocument::fromJson(R"({"name": "x"})").object()), std::invalid_argument);
}

TEST(RecorderDevices, ListsTheScreensAndTheMicrophones) {
    const auto screens = Devices::screen();
    ASSERT_EQ(screens.size(), size_t(QGuiApplication::screens().size()));
    EXPECT_EQ(screens.front().id, 0u);
    EXPECT_FALSE(screens.front().name.isEmpty());

    qputenv(qv::gst::syntheticDevicesVariable, QV_TEST_SOURCE_DIR "/recorder-devices.json");
    const auto mics = Devices::audio();
    ASSERT_EQ(mics.size(), 1u);
    EXPECT_EQ(mics.front(), (Devices::Audio{QStringLiteral("synthetic:mic:0"), QStringLiteral("Synthetic Line In")}));
}
