#pragma once
// The one controller of the main camera: finds the cameras and microphones, runs the capture
// session, owns the live preview's geometry (fit, zoom, pan) and takes snapshots.
//
// Threads: created and called on the main thread. Set-up and reconfiguration run on the
// controller's worker queue "camera_controller"; the device lists and selections are shared with
// it under a lock (read them through the accessors). Frames arrive on a GStreamer streaming
// thread and reach the preview through a queued call.
#include <QObject>
#include <QPointer>
#include <QRectF>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

#include "capture/SnapshotPictureProvider.h"
#include "capture/core/DeviceProvider.h"
#include "capture/core/DeviceRecords.h"
#include "capture/core/PreviewGeometry.h"
#include "capture/core/SnapshotComposer.h"

class QWidget;

namespace qv::gst {
class CameraSession;
class MovieRecording;
}

namespace qv::capture {

class CameraPreviewView;
class ScreenRecorder;
class SerialQueue;

class CameraControllerError : public std::runtime_error {
public:
    enum Case {
        captureSessionAlreadyRunning,
        captureSessionIsMissing,
        inputsAreInvalid,
        invalidOperation,
        noCamerasAvailable,
        noMicrophonesAvailable,
        unknown,
    };
    explicit CameraControllerError(Case c, const QString& detail = {});
    Case value;
    bool operator==(Case c) const { return value == c; }
};

class CameraController : public QObject {
    Q_OBJECT
public:
    // Discovery asks the given provider (by default the one the environment selects).
    explicit CameraController(std::unique_ptr<DeviceProvider> provider = nullptr, QObject* parent = nullptr);
    ~CameraController() override;

    using Completion = std::function<void(std::optional<CameraControllerError>)>;

    // Full set-up on the worker queue; the completion runs on the main thread.
    void prepare(Completion completion);
    // A choice of inputs, handed to the worker queue by value.
    struct Selection {
        VemoCamera camera;
        std::optional<VemoMic> mic;
        bool fullHD = true;
        bool ultraHD = false;
    };
    // Re-applies the selected camera, microphone and resolution flags; errors are dropped.
    void reconfigure();
    // Makes the choice the current one and applies it on the worker queue. Of several requests
    // waiting there only the latest is applied.
    void reconfigure(Selection selection);

    // Worker-queue steps (public for the set-up order; each throws CameraControllerError).
    void discoverDevices();
    void configureInputs(const VemoCamera& camera, const std::optional<VemoMic>& mic, bool fullHD, bool ultraHD);
    void startSession();

    // Device lists and selections.
    std::vector<VemoCamera> vemoCameras() const;
    std::vector<VemoMic> vemoMics() const;
    std::optional<VemoCamera> curVemoCamera() const;
    std::optional<VemoMic> curVemoMic() const;
    std::optional<VemoCamera> curPipCamera() const;
    std::optional<VemoCamera> curDocCamera() const;
    void setCurVemoCamera(std::optional<VemoCamera> camera);
    void setCurVemoMic(std::optional<VemoMic> mic);
    void setCurPipCamera(std::optional<VemoCamera> camera);
    void setCurDocCamera(std::optional<VemoCamera> camera);

    bool isSessionRunning() const;
    std::shared_ptr<const QImage> latestFrame() const;
    std::uint64_t framesReceived() const;
    std::uint64_t framesCaptured() const;
    bool hasSound() const;

    // View state written by the camera view.
    double rotation = 0;
    bool mirrorHorizontal = false;

    // Preview geometry (main thread).
    void displayPreview(CameraPreviewView* view);  // throws captureSessionIsMissing
    void resizePreview(CameraPreviewView* view);
    void setZoom(double factor);
    void panPreview(bool ended, double dx, double dy, double rotation);
    void clearDraggingStartRect() { geometry_.clearDraggingStartRect(); }
    const PreviewGeometry& previewGeometry() const { return geometry_; }
    double fitZoomFactor() const { return geometry_.fitZoomFactor(); }
    // The picture's layer frame (origin bottom-left of the preview view), none before display.
    std::optional<QRectF> previewLayerFrame() const;

    // Snapshots.
    void capturePhoto();
    void savePhoto(std::shared_ptr<const QImage> photo);
    static QString makeCaptureFileName(const QString& extension);
    // The modal alert of a capture without a save folder (snapshots and recordings).
    static void showNoSaveFolderAlert();
    // Installed by the web panels; without one a snapshot is the photo alone in the container below.
    void setSnapshotPictureProvider(std::shared_ptr<SnapshotPictureProvider> provider);
    // The area a snapshot covers while no provider is installed (the camera view).
    void setSnapshotContainer(QWidget* container);

    // The shared HID link of the maker's cameras is started here, 1.0 s after "CameraStarted"
    // for an own-brand main camera. The application shell installs the starter.
    using HIDLinkStarter = std::function<void(const VemoCamera&)>;
    static void setHIDLinkStarter(HIDLinkStarter starter);
    void startHIDLink(const VemoCamera& camera);

    void printActiveFormat() const;

    // Camera movies and screen recordings into the videos folder (CameraControllerRecording.cpp).
    // Main thread. "camera" or "screen": the kind started last, on which stop, pause and the
    // elapsed time act.
    QString recordingSource = QStringLiteral("camera");
    void startMovieRecording();   // starts a camera movie, or stops the one that runs
    void startScreenRecording();  // starts a screen recording, or stops the one that exists
    void stopRecording();
    void togglePause();  // freezes or unfreezes the preview, pauses or resumes the recording
    QString recordedDurationText() const;
    void movieRecordingFinished(const QString& url, const std::optional<QString>& error);
    void screenRecordingFinished(const QString& url, const std::optional<QString>& error);
    bool isMovieRecording() const;
    ScreenRecorder* screenRecorder() const { return screenRecorder_.get(); }
    // The frame the preview shows: the latest preview frame (scaled by the pipeline to the size
    // the view asked for), or the full-size frame it stood still on while frozen.
    std::shared_ptr<const QImage> previewFrame() const;
    // The size of the camera picture previewFrame() shows (whatever the preview frame's own size).
    QSize previewSourceSize() const;
    // The pixel size at which the preview view draws the picture; empty: full size. Photos and
    // recordings keep full-size frames whatever is set here.
    void setPreviewFrameSize(const QSize& size);
    bool isPreviewFrozen() const { return frozenFrame_ != nullptr; }

signals:
    // A camera movie that had not been stopped, or a screen recording, ended with an error: it
    // could not start writing, or broke off. `source` is "camera" or "screen"; the failure has
    // been printed and shown by then.
    void recordingFailed(const QString& source);
    // A new camera frame is waiting (at most one queued at a time).
    void frameReady();
    // A new preview frame is waiting, or the frozen frame changed (at most one queued at a time).
    void previewFrameReady();

private:
    void composeSnapshot(std::optional<QImage> board, const QString& error, std::shared_ptr<const QImage> photo,
                         const QString& path);
    void composeSnapshotWithBrowser(std::optional<QImage> browser, SnapshotLayers layers, const QString& path);
    void writeSnapshot(SnapshotLayers layers, const QString& path);
    void setUp(const Completion& completion, bool fullHD, bool ultraHD);
    void applySelection(const Selection& selection);
    void onFrameFromStream();
    void onPreviewFrameFromStream();
    QSizeF defaultContainerSize() const;

    // Fields shared with the worker queue are read and written under stateMutex_.
    template <typename T>
    T locked(const T& field) const {
        std::lock_guard lock(stateMutex_);
        return field;
    }
    template <typename T>
    void store(T& field, T value) {
        std::lock_guard lock(stateMutex_);
        field = std::move(value);
    }

    std::unique_ptr<DeviceProvider> provider_;
    std::shared_ptr<gst::CameraSession> session_;
    std::unique_ptr<SerialQueue> queue_;
    std::atomic<std::uint64_t> reconfigureRequests_{0};

    mutable std::mutex stateMutex_;
    std::vector<VemoCamera> vemoCameras_;
    std::vector<VemoMic> vemoMics_;
    std::optional<VemoCamera> curVemoCamera_;
    std::optional<VemoMic> curVemoMic_;
    std::optional<VemoCamera> curPipCamera_;
    std::optional<VemoCamera> curDocCamera_;
    DeviceFormatRef activeFormat_;

    PreviewGeometry geometry_;
    QPointer<CameraPreviewView> previewView_;
    QPointer<QWidget> snapshotContainer_;
    std::shared_ptr<SnapshotPictureProvider> pictureProvider_;
    std::atomic<bool> framePending_{false};
    std::atomic<bool> previewFramePending_{false};
    QSize previewFrameSize_;  // handed to each new session

    // Recordings (main thread).
    std::unique_ptr<gst::MovieRecording> movieRecording_;
    std::vector<std::unique_ptr<gst::MovieRecording>> finishingMovies_;  // stopped, file not yet complete
    std::unique_ptr<ScreenRecorder> screenRecorder_;
    std::shared_ptr<const QImage> frozenFrame_;
};

}  // namespace qv::capture
