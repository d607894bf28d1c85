#pragma once
// The control bar's state and rules, without widgets: the buttons' actions, the notification
// handlers, the appearance step and the recording clock. The bar's widget shows this state and
// calls these actions; tests drive it directly.
#include <QImage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <vector>

#include "state/NotificationCenter.h"
#include "controlbar/CameraPort.h"
#include "controlbar/ToggleModel.h"

namespace qv::controlbar {

// The zoom steps of the Zoom popover's images, from the camera's present factor.
double zoomedIn(double currentFactor);   // factor x 1.1, at most 10
double zoomedOut(double currentFactor);  // factor / 1.1, at least 0.5

class ControlBarModel : public QObject {
    Q_OBJECT
public:
    using CameraProvider = std::function<CameraPort*()>;
    using ScriptRunner = std::function<void(const QString& script)>;
    using OfflineModeStore = std::function<void(bool offline)>;

    static constexpr int recordingClockIntervalMs = 1000;
    static inline const QString idleClockText = QStringLiteral("Initializing");
    static inline const QStringList resolutions = {"4K@30fps", "1080P@30fps", "720P@30fps"};

    // `camera` gives the main camera, or null while there is none.
    explicit ControlBarModel(CameraProvider camera, QObject* parent = nullptr);
    ~ControlBarModel() override;

    // Where "allowAnnotation(...)" goes (the whiteboard page); without it the scripts are dropped.
    void setScriptRunner(ScriptRunner runner) { runScript_ = std::move(runner); }
    // Where the offline mode is kept between launches ("bookmark_offline").
    void setOfflineModeStore(OfflineModeStore store) { storeOfflineMode_ = std::move(store); }

    // --- state ---
    bool hideControlBar = false;
    bool showPopoverZoom = false;
    bool showPopoverViewOption = false;
    bool showPopoverFocus = false;
    bool showPopoverAdjust = false;
    bool showPopoverSettings = false;
    bool showPopoverRecord = false;
    bool showPopoverViewer = false;
    ToggleModel toggleModel;
    QString recordingTimerStr = idleClockText;
    bool enableAnnotation = false;
    double zoomFactor = 1.0;
    double brightnessFactor = 0;
    double contrastFactor = 128;
    double saturationFactor = 128;
    double sharpnessFactor = 128;
    double exposureFactor = 0;
    double whitebalanceFactor = 5000;
    double focusFactor = 128;
    QImage thumbnailImage;  // set together with thumbnailURL
    QUrl thumbnailURL;
    bool isRecording = false;
    bool isFreezing = false;
    int selectedCameraIndex = 0;
    int selectedPipCameraIndex = 1;
    int selectedMicIndex = 0;
    QString selectedResolution = QStringLiteral("1080P@30fps");

    bool hasThumbnail() const { return !thumbnailImage.isNull() && thumbnailURL.isValid(); }
    bool subscribed() const { return !tokens_.empty(); }
    bool clockRunning() const { return recordingTimer_.isActive(); }

    // --- actions ---
    // The first appearance of the bar: subscribes and runs the appearance step.
    void appear();
    void toggleControlBar();
    void showLastCapture();
    void turnAnnotationOn();
    void turnAnnotationOff();
    void zoomOut();
    void zoomIn();
    void setZoomFromSlider(double value);
    void setFreezing(bool frozen);
    void takeSnapshot();
    void rotate(const QString& direction);
    void mirror();
    void openFiles();
    void openWebBrowser();
    void openLessons();
    void openDocCamera();
    void openPIPCamera();
    // Posts "OpenTunnelList" after `delayMs` (0: at once).
    void postTunnelList(int delayMs);
    enum class Recording { Movie, Screen };
    void startRecording(Recording what);
    void stopRecording();
    void refreshRecordingTime();
    // The appearance step: offline mode and resolution from the app-wide values.
    void restoreSettings();
    void setOfflineMode(bool offline);

    // --- notification handlers ---
    void onCameraStarted(const app::Notification& n);
    void onZoomed(const app::Notification& n);
    void onCameraListReady(const app::Notification& n);
    void onCaptureSaved(const app::Notification& n);
    void onHIDConnected(const app::Notification& n);
    void onHIDDisconnected(const app::Notification& n);
    void onHIDButtonClicked(const app::Notification& n);

signals:
    // Any field changed: the view refreshes.
    void changed();

private:
    void subscribe();
    void unsubscribe();
    void clockTick();

    CameraProvider camera_;
    ScriptRunner runScript_;
    OfflineModeStore storeOfflineMode_;
    QTimer recordingTimer_;
    std::vector<app::NotificationCenter::Token> tokens_;
};

}  // namespace qv::controlbar
