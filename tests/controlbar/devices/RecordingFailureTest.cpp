// Recordings started from the bar's Record popover into a videos folder that cannot be written:
// the window says why, standard output has the failure's own line, and the bar offers "Record"
// again with its clock stopped, whether the start was refused at once (camera movie) or the
// recorder found out only once it ran (screen recording).
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <unistd.h>

#include "BarOnDevices.h"
#include "capture/ScreenRecorder.h"
#include "controlbar/QVImageButton.h"
#include "state/Failures.h"

using namespace qv;

namespace {

class RecordingFromTheBar : public test::BarOnDevices {
protected:
    // Chooses an entry of the Record popover as the presenter does.
    void record(const char* entry) {
        ASSERT_NE(bar->button("toolbar_record"), nullptr);
        QTest::mouseClick(bar->button("toolbar_record"), Qt::LeftButton);
        ASSERT_TRUE(test::waitUntil([&] { return bar->popover("Record")->isVisible(); }));
        ASSERT_NE(bar->button(entry), nullptr) << entry;
        QTest::mouseClick(bar->button(entry), Qt::LeftButton);
    }
    // Whether the bar shows "Record" (and not the stop button) with its clock at rest.
    bool idle() const {
        const controlbar::ControlBarModel& m = bar->model();
        return bar->button("toolbar_record") && !bar->button("toolbar_stop_recording") && !m.isRecording &&
               !m.clockRunning() && m.recordingTimerStr == controlbar::ControlBarModel::idleClockText;
    }
    // Points the videos folder at one that refuses writing; root writes into a read-only folder,
    // so it gets one of the kernel's.
    QString spoilVideosFolder() {
        const QString videos = app::folderLocations()->videosFolderURL;
        if (::geteuid() != 0) {
            QFile::setPermissions(videos, QFile::ReadOwner | QFile::ExeOwner);
            return videos;
        }
        auto folders = std::make_shared<app::FolderLocations>(*app::folderLocations());
        folders->videosFolderURL = QStringLiteral("/sys/kernel");
        app::setFolderLocations(folders);
        return folders->videosFolderURL;
    }
    void mendVideosFolder(const QString& spoilt) {
        const QString videos = app::FolderLocations::forSaveFolder(save.path()).videosFolderURL;
        if (spoilt == videos) QFile::setPermissions(videos, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        app::setFolderLocations(std::make_shared<app::FolderLocations>(app::FolderLocations::forSaveFolder(save.path())));
    }
};

TEST_F(RecordingFromTheBar, ARecordingThatCannotBeWrittenLeavesTheBarAtRecordAndSaysWhy) {
    struct Case {
        const char* entry;
        const char* label;  // the failure's first words, printed with the reason alone
    } cases[] = {
        {"toolbar_record_camera", "Error recording movie:"},
        {"toolbar_record_screen", "Finished Error recording screen:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        const QString videos = spoilVideosFolder();
        std::vector<QString> shown;
        app::setFailureDisplay([&](const QString& text) { shown.push_back(text); });
        testing::internal::CaptureStdout();
        ASSERT_NO_FATAL_FAILURE(record(c.entry));
        const bool said = test::waitUntil([&] { return !shown.empty(); }, 30000);
        const bool barIdle = test::waitUntil([&] { return idle(); }, 5000);
        test::spin(200);
        const QString printed = QString::fromStdString(testing::internal::GetCapturedStdout());
        app::setFailureDisplay({});
        mendVideosFolder(videos);
        ASSERT_TRUE(said) << "nothing shown; printed:\n" << printed.toStdString();
        EXPECT_TRUE(barIdle) << "the bar still shows a recording: \"" << bar->model().recordingTimerStr.toStdString()
                             << "\"";

        // The window: what failed, which file, why.
        ASSERT_EQ(shown.size(), 1u);
        const QStringList window = shown[0].split('\n');
        ASSERT_EQ(window.size(), 3) << shown[0].toStdString();
        EXPECT_EQ(window[0], c.label);
        EXPECT_EQ(QFileInfo(window[1]).absolutePath(), videos);
        EXPECT_FALSE(window[2].isEmpty());
        // Standard output: the label and the reason, nothing between them.
        const QStringList lines = printed.split('\n').filter(QString::fromLatin1(c.label));
        EXPECT_EQ(lines.join('\n').toStdString(), (QString::fromLatin1(c.label) + ' ' + window[2]).toStdString());
        EXPECT_EQ(count(app::notification::VideoRecorded), 0);
    }

    // The next screen recording starts from the bar as the first would have, and is kept.
    EXPECT_TRUE(test::waitUntil([&] { return controller()->screenRecorder() == nullptr; }));
    ASSERT_NO_FATAL_FAILURE(record("toolbar_record_screen"));
    ASSERT_TRUE(test::waitUntil([&] { return bar->button("toolbar_stop_recording") != nullptr; }));
    ASSERT_TRUE(test::waitUntil(
        [&] { return controller()->screenRecorder() && controller()->screenRecorder()->recordedDuration() > 0.5; },
        60000));
    QTest::mouseClick(bar->button("toolbar_stop_recording"), Qt::LeftButton);
    EXPECT_TRUE(idle());
    ASSERT_TRUE(test::waitUntil([&] { return count(app::notification::VideoRecorded) == 1; }, 120000));
}

}  // namespace
