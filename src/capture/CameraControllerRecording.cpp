// Camera movies and screen recordings of the camera controller.
//
// Files land in the videos folder under the capture name ("yyyyMMdd_HHmmss.mp4"); names are
// reserved, so two recordings started in the same second (of either kind) get "_1", "_2", ...
// Finished recordings get a thumbnail and are announced with "VideoRecorded".
#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>

#include <cmath>
#include <limits>

#include "helpers/FormatDuration.h"
#include "helpers/Thumbnails.h"
#include "state/AppState.h"
#include "state/Failures.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "state/QtPrint.h"
#include "capture/CameraController.h"
#include "capture/ScreenRecorder.h"
#include "capture/core/SnapshotComposer.h"
#include "capture/gst/CameraSession.h"
#include "capture/gst/MovieRecording.h"

namespace qv::capture {

namespace {

const QString movieExtension = QStringLiteral(".mp4");

// The reserved path of a new recording, or none (after the alert) without a save folder.
std::optional<QString> reserveRecordingPath() {
    const auto folders = app::folderLocations();
    if (!folders || folders->videosFolderURL.isEmpty()) {
        CameraController::showNoSaveFolderAlert();
        return std::nullopt;
    }
    return CaptureNameReservations::shared().reserve(folders->videosFolderURL, movieExtension);
}

// Thumbnail, then "VideoRecorded" on the main thread. A recording without a picture to show is
// not posted: the window says so, as the teacher would otherwise wait for it in vain.
void announceRecording(const QString& path) {
    app::generateThumbnail(path, [path](std::optional<QImage> image, std::optional<QString> error) {
        if (!image) {
            app::reportFailureLater(QStringLiteral("No picture in the recording:"), path, error.value_or(QString()));
            return;
        }
        app::post(app::notification::VideoRecorded,
                  {{QStringLiteral("image"), *image}, {QStringLiteral("url"), QUrl::fromLocalFile(path)}});
    });
}

// A recording that failed: the printed line is `label` and the reason alone; the window also
// names the file.
void reportRecordingFailure(const QString& label, const QString& path, const QString& reason) {
    util::printLine(label + QLatin1Char(' ') + reason);
    app::showFailure(label, path, reason);
}

QString durationText(double seconds) {
    // A duration that is not a number, or beyond what a clock shows, reads as no time at all.
    if (!std::isfinite(seconds) || seconds < 0 || seconds > double(std::numeric_limits<int>::max()))
        return app::formatDuration(0);
    return app::formatDuration(static_cast<long long>(seconds));
}

}  // namespace

void CameraController::showNoSaveFolderAlert() {
    auto* alert = new QMessageBox(QMessageBox::NoIcon, QString(),
                                  QStringLiteral("No Permissions granted to save files on your computer, please "
                                                 "restart app and choose a folder to save files!"),
                                  QMessageBox::Ok);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::ApplicationModal);
    alert->show();
}

bool CameraController::isMovieRecording() const { return movieRecording_ && movieRecording_->isRecording(); }

void CameraController::startMovieRecording() {
    recordingSource = QStringLiteral("camera");
    if (movieRecording_) {
        stopRecording();
        return;
    }
    const std::optional<QString> path = reserveRecordingPath();
    if (!path) return;

    QPointer<CameraController> self(this);
    QString error;
    movieRecording_ = session_ ? session_->startMovieRecording(
                                     *path,
                                     [self](const QString& url, const std::optional<QString>& failure) {
                                         QMetaObject::invokeMethod(
                                             QCoreApplication::instance(),
                                             [self, url, failure] {
                                                 if (self) self->movieRecordingFinished(url, failure);
                                             },
                                             Qt::QueuedConnection);
                                     },
                                     &error)
                               : nullptr;
    if (!movieRecording_) {
        // Nothing was recorded: say why, announce nothing.
        CaptureNameReservations::shared().release(*path);
        reportRecordingFailure(QStringLiteral("Error recording movie:"), *path,
                               error.isEmpty() ? QStringLiteral("the camera session is not running") : error);
    }
}

void CameraController::movieRecordingFinished(const QString& url, const std::optional<QString>& error) {
    CaptureNameReservations::shared().release(url);
    // A movie that ends while it still counts as running was not stopped: it broke off.
    const bool running = movieRecording_ && movieRecording_->path() == url;
    if (running) movieRecording_.reset();
    std::erase_if(finishingMovies_, [&](const auto& movie) { return movie->path() == url; });
    if (error) {
        reportRecordingFailure(QStringLiteral("Error recording movie:"), url, *error);
        if (running) emit recordingFailed(QStringLiteral("camera"));
        return;
    }
    util::printLine(QStringLiteral("recorded"), QUrl::fromLocalFile(url));
    announceRecording(url);
}

void CameraController::startScreenRecording() {
    // Screen capture on X11 needs no permission: there is nothing to check or ask for.
    recordingSource = QStringLiteral("screen");
    if (screenRecorder_) {
        screenRecorder_->stop();
        return;
    }
    const std::optional<QString> path = reserveRecordingPath();
    if (!path) return;
    const std::optional<VemoMic> mic = curVemoMic();
    try {
        screenRecorder_ = std::make_unique<ScreenRecorder>(*path, 30, std::nullopt, true, false, mainDisplayID(),
                                                           mic ? mic->mic : nullptr, QStringLiteral("avc1"));
    } catch (const ScreenRecorder::Error& e) {
        CaptureNameReservations::shared().release(*path);
        util::printLine("Failed to initialize screen recording");
        app::showFailure(QStringLiteral("Failed to initialize screen recording:"), *path, QString::fromStdString(e.what()));
        return;
    }
    screenRecorder_->onStart = [] { util::printLine("STARTED"); };
    QPointer<CameraController> self(this);
    screenRecorder_->onFinish = [self](const QString& url, const std::optional<QString>& error) {
        if (self) self->screenRecordingFinished(url, error);
    };
    screenRecorder_->start();
}

void CameraController::screenRecordingFinished(const QString& url, const std::optional<QString>& error) {
    CaptureNameReservations::shared().release(url);
    if (error) reportRecordingFailure(QStringLiteral("Finished Error recording screen:"), url, *error);
    else {
        util::printLine(QStringLiteral("screen recorded at"), QUrl::fromLocalFile(url));
        announceRecording(url);
    }
    // This runs inside the recorder's own callback: let it return before it goes.
    if (screenRecorder_) screenRecorder_.release()->deleteLater();
    // Told once the recorder is gone, so that a new screen recording can start at once.
    if (error) emit recordingFailed(QStringLiteral("screen"));
}

void CameraController::stopRecording() {
    if (recordingSource == QLatin1String("screen")) {
        if (screenRecorder_) screenRecorder_->stop();
        return;
    }
    if (!movieRecording_) return;
    movieRecording_->stop();
    // The file is finished in the background; a new movie may start meanwhile.
    finishingMovies_.push_back(std::move(movieRecording_));
}

void CameraController::togglePause() {
    if (frozenFrame_) {
        frozenFrame_.reset();
    } else {
        frozenFrame_ = latestFrame();
        if (!frozenFrame_) frozenFrame_ = std::make_shared<const QImage>();
    }
    emit frameReady();
    emit previewFrameReady();

    if (recordingSource == QLatin1String("screen")) {
        if (screenRecorder_ && screenRecorder_->isRecording()) {
            if (screenRecorder_->isPaused()) screenRecorder_->resume();
            else screenRecorder_->pause();
        }
        return;
    }
    if (movieRecording_ && movieRecording_->isRecording()) {
        if (movieRecording_->isPaused()) movieRecording_->resume();
        else movieRecording_->pause();
    }
}

QString CameraController::recordedDurationText() const {
    if (recordingSource == QLatin1String("screen"))
        return durationText(screenRecorder_ ? screenRecorder_->recordedDuration() : 0.0);
    if (!movieRecording_ || !movieRecording_->isRecording()) return durationText(0.0);
    return durationText(movieRecording_->recordedSeconds());
}

std::shared_ptr<const QImage> CameraController::previewFrame() const {
    if (frozenFrame_) return frozenFrame_;
    return session_ ? session_->latestPreviewFrame() : nullptr;
}

QSize CameraController::previewSourceSize() const {
    if (frozenFrame_) return frozenFrame_->size();
    return session_ ? session_->frameSize() : QSize();
}

}  // namespace qv::capture
