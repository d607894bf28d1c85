// Recordings cut by SIGKILL: while recording the file still plays up to about its last second,
// and recovery at the next start finishes it into an ordinary movie of its true length, also
// when the kill came while the movie was being finished.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include "MovieProbe.h"
#include "capture/gst/MovieRecovery.h"
#include "capture/gst/MovieWriter.h"
#include "support/ScopedEnv.h"

namespace {

// Starts the recorder process on `path`; `finishAfterMs` >= 0 makes it finish the movie after
// that long. Returns once it has recorded its first frame.
void startRecorder(QProcess& recorder, const QString& path, int finishAfterMs = -1) {
    QStringList arguments{path};
    if (finishAfterMs >= 0) arguments << QString::number(finishAfterMs);
    recorder.start(QStringLiteral(QV_RECORD_UNTIL_KILLED), arguments);
    ASSERT_TRUE(recorder.waitForStarted(5000));
    ASSERT_TRUE(recorder.waitForReadyRead(20000)) << recorder.readAllStandardError().toStdString();
    ASSERT_EQ(recorder.readLine().trimmed(), "recording");
}

void killNow(QProcess& recorder) {
    recorder.kill();  // SIGKILL: no chance to finish the file
    ASSERT_TRUE(recorder.waitForFinished(5000));
    EXPECT_EQ(recorder.exitStatus(), QProcess::CrashExit);
}

QStringList allFiles(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }

// Recovery of `folder` finishes `name` into an ordinary movie that lasts as long as its frames.
void expectRecovered(const QString& folder, const QString& name, double playableBefore) {
    const auto report = qv::gst::recoverInterruptedMovies(folder);
    EXPECT_EQ(report.recovered, QStringList{name}) << report.failed.join("; ").toStdString();
    EXPECT_TRUE(report.failed.isEmpty()) << report.failed.join("; ").toStdString();
    EXPECT_EQ(allFiles(folder), QStringList{name});  // no ".part" left, nothing else deleted
    const QString path = QDir(folder).filePath(name);
    EXPECT_FALSE(qv::gst::isFragmentedMovie(path));
    const auto facts = qv::test::probeMovie(path);
    ASSERT_TRUE(facts.readable) << facts.error.toStdString();
    EXPECT_FALSE(facts.topLevelBoxes.contains("moof"));
    EXPECT_NEAR(facts.duration, playableBefore, 0.5);
    EXPECT_NEAR(qv::test::playableVideoSeconds(path), playableBefore, 0.1);
    // A second pass has nothing left to do.
    EXPECT_TRUE(qv::gst::recoverInterruptedMovies(folder).empty());
}

}  // namespace

TEST(RecordingCrash, AKilledRecordingStillPlaysAndIsRecoveredToItsTrueLength) {
    QTemporaryDir dir;
    const QString path = dir.filePath("killed.mp4");
    QProcess recorder;
    startRecorder(recorder, path);
    std::this_thread::sleep_for(std::chrono::seconds(4));
    killNow(recorder);

    const double playable = qv::test::playableVideoSeconds(path);
    EXPECT_GE(playable, 2.5);
    ASSERT_TRUE(qv::gst::isFragmentedMovie(path));
    // The header of the unfinished file names only the first fragment: players show a wrong length.
    const auto before = qv::test::probeMovie(path);
    EXPECT_LT(before.duration, playable - 1.0);

    expectRecovered(dir.path(), "killed.mp4", playable);
}

TEST(RecordingCrash, AKillWhileTheMovieIsFinishedLeavesNoPartFileAfterRecovery) {
    // The kill must land while the finished copy is being written; a longer movie gives it more
    // time, and a few tries cover a machine that finished before the kill arrived.
    bool caught = false;
    for (int attempt = 0; attempt < 4 && !caught; ++attempt) {
        QTemporaryDir dir;
        const QString path = dir.filePath("finishing.mp4");
        const QString part = dir.filePath(".finishing.mp4.part");
        QProcess recorder;
        startRecorder(recorder, path, 6000);
        QElapsedTimer wait;
        wait.start();
        while (!QFileInfo::exists(part) && recorder.state() == QProcess::Running && wait.elapsed() < 60000)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (!QFileInfo::exists(part) || recorder.state() != QProcess::Running) {
            recorder.kill();
            recorder.waitForFinished(5000);
            continue;
        }
        killNow(recorder);
        if (!QFileInfo::exists(part) || !qv::gst::isFragmentedMovie(path)) continue;  // finished first
        caught = true;

        const double playable = qv::test::playableVideoSeconds(path);
        EXPECT_GE(playable, 4.5);
        expectRecovered(dir.path(), "finishing.mp4", playable);
    }
    EXPECT_TRUE(caught) << "the kill never landed while the movie was being finished";
}

TEST(RecordingCrash, RecoveryLeavesAMovieThatIsStillBeingRecordedAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath("live.mp4");
    QProcess recorder;
    startRecorder(recorder, path);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_TRUE(qv::gst::isFragmentedMovie(path));
    EXPECT_TRUE(qv::gst::recoverInterruptedMovies(dir.path()).empty());  // its writer holds it
    EXPECT_TRUE(qv::gst::isFragmentedMovie(path));
    killNow(recorder);
    // Once the recorder is gone, the movie is recovered.
    EXPECT_EQ(qv::gst::recoverInterruptedMovies(dir.path()).recovered, QStringList{"live.mp4"});
}

TEST(RecordingCrash, RecoveryTouchesOnlyInterruptedMovies) {
    QTemporaryDir dir;
    // A file that merely carries the name of a movie is left as it is.
    QFile other(dir.filePath("notes.mp4"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("not a movie at all");
    other.close();
    const auto report = qv::gst::recoverInterruptedMovies(dir.path());
    EXPECT_TRUE(report.empty());
    EXPECT_EQ(allFiles(dir.path()), QStringList{"notes.mp4"});
}

TEST(RecordingCrash, AMovieIsLockedFromTheMomentItsFileExists) {
    // Recovery running at that moment (another instance starting) must never find a new movie
    // unlocked: it would take its header, written before the first fragment, for an interrupted
    // recording without frames and delete it.
    QTemporaryDir dir;
    const QString path = dir.filePath("new.mp4");
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_CREATE | IN_MOVED_TO), 0);
    // As soon as the name appears, try the lock as recovery does.
    std::promise<bool> lockedWhenSeen;
    std::thread watcher([&] {
        alignas(inotify_event) char events[4096];
        for (int round = 0; round < 600; ++round) {  // gives up after a minute
            pollfd ready{watch, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0) continue;
            const ssize_t size = ::read(watch, events, sizeof events);
            for (ssize_t at = 0; at < size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                if (event->len && QString::fromLocal8Bit(event->name) == QLatin1String("new.mp4")) {
                    lockedWhenSeen.set_value(!qv::gst::MovieFileLock(path).held());
                    return;
                }
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
    });
    std::promise<void> finished;
    qv::gst::MovieWriter writer(path, false, [&](const QString&, const std::optional<QString>&) { finished.set_value(); });
    QString error;
    const bool started = writer.start(&error);
    auto seen = lockedWhenSeen.get_future();
    const bool appeared = seen.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    watcher.join();
    ::close(watch);
    ASSERT_TRUE(started) << error.toStdString();
    ASSERT_TRUE(appeared) << "the movie's file never appeared";
    EXPECT_TRUE(seen.get()) << "the movie's file existed before its writer locked it";
    writer.finish();  // without frames: an error, and the file goes
    EXPECT_EQ(finished.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
}

// A recorder killed at its first instant leaves a file that holds no picture: an empty one under
// the hidden name the movie is made under, an empty movie once it has its name, or a movie with
// nothing but its header. Recovery at the next start removes each and says so, as the record the
// writer made before the file names that very file; it finishes a killed movie that holds frames,
// and leaves the teacher's own empty files alone, whatever their names.
TEST(RecordingCrash, WhatAKillAtTheFirstInstantLeftIsRemovedAndSaid) {
    QTemporaryDir dir, data;
    const qv::test::ScopedEnv dataHome("XDG_DATA_HOME", data.path().toUtf8());
    const mode_t oldMask = ::umask(022);
    const struct {
        const char* stage;
        const char* name;
    } kills[] = {{"hidden", "early.mp4"}, {"named", "empty.mp4"}, {"header", "header.mp4"}};
    for (const auto& k : kills) {
        QProcess recorder;
        recorder.start(QStringLiteral(QV_RECORD_UNTIL_KILLED),
                       {dir.filePath(k.name), "--kill-when", k.stage});
        ASSERT_TRUE(recorder.waitForFinished(30000)) << k.stage;
        EXPECT_EQ(recorder.exitStatus(), QProcess::CrashExit)
            << k.stage << ": " << recorder.readAllStandardError().toStdString();
    }
    ::umask(oldMask);
    const QStringList hidden = QDir(dir.path()).entryList({".early.mp4.new-*"}, QDir::Files | QDir::Hidden);
    ASSERT_EQ(hidden.size(), 1) << allFiles(dir.path()).join(", ").toStdString();
    EXPECT_EQ(QFileInfo(dir.filePath(hidden[0])).size(), 0);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("early.mp4")));
    EXPECT_EQ(QFileInfo(dir.filePath("empty.mp4")).size(), 0);
    EXPECT_EQ(QFileInfo(dir.filePath("empty.mp4")).permissions() & 0x0777, QFileDevice::Permissions(0x0644))
        << "the movie follows the umask";
    QProcess recorder;
    startRecorder(recorder, dir.filePath("frames.mp4"));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    killNow(recorder);
    // The teacher's own.
    for (const char* name : {"mine.mp4", ".mine.mp4.new-abc123", "lesson.mp4"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name;
    }
    QFile(dir.filePath("lesson.mp4")).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    const auto report = qv::gst::recoverInterruptedMovies(dir.path());
    EXPECT_EQ(QSet<QString>(report.removed.begin(), report.removed.end()),
              (QSet<QString>{"early.mp4", "empty.mp4", "header.mp4"}));
    EXPECT_EQ(report.recovered, QStringList{"frames.mp4"}) << report.failed.join("; ").toStdString();
    const QStringList left = allFiles(dir.path());
    EXPECT_EQ(QSet<QString>(left.begin(), left.end()),
              (QSet<QString>{"frames.mp4", "mine.mp4", ".mine.mp4.new-abc123", "lesson.mp4"}));
    EXPECT_FALSE(qv::gst::isFragmentedMovie(dir.filePath("frames.mp4")));
    EXPECT_TRUE(QDir(data.filePath("Quorvane/unfinished")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(qv::gst::recoverInterruptedMovies(dir.path()).empty());
}
