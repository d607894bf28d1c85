// A recording cut by SIGKILL still plays up to about its last second.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

#include "MovieProbe.h"

TEST(RecordingCrash, AKilledRecordingStillPlaysAlmostToTheEnd) {
    QTemporaryDir dir;
    const QString path = dir.filePath("killed.mp4");
    QProcess recorder;
    recorder.start(QStringLiteral(QV_RECORD_UNTIL_KILLED), {path});
    ASSERT_TRUE(recorder.waitForStarted(5000));
    ASSERT_TRUE(recorder.waitForReadyRead(10000)) << recorder.readAllStandardError().toStdString();
    ASSERT_EQ(recorder.readLine().trimmed(), "recording");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    recorder.kill();  // SIGKILL: no chance to finish the file
    ASSERT_TRUE(recorder.waitForFinished(5000));
    EXPECT_EQ(recorder.exitStatus(), QProcess::CrashExit);

    EXPECT_GE(qv::test::playableVideoSeconds(path), 2.0);
}
