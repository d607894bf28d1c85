#pragma once
// The control bar's state and rules, without widgets: the buttons' actions, the notification
// handlers, the appearance step and the recording clock. The bar's widget shows this state and
// calls these actions; tests drive it directly.
#include <QImage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "state/NotificationCenter.h"
#include "controlbar/CameraPort.h"
#include "controlbar/ToggleModel.h"

namespace qv::hid {
class QVHIDDevice;
}

namespace qv::controlbar {

// The seven image settings of the Adjust popover, in the order of its rows.
enum class ImageSetting { Brightness, Contrast, Saturation, Sharpness, Focus, Exposure, Whitebalance };

struct ImageSettingRow {
    ImageSetting setting;
    const char* label;
    const char* icon;
    int minimum;  // the slider's closed range
    int maximum;
    double defaultValue;  // at launch and after "Reset to default"
    std::uint8_t command;
};
const std::array<ImageSettingRow, 7>& imageSettingRows();

// How the update is fetched and installed. `download` stores the file at the address and calls
// exactly one of its two callbacks on the main thread; `open` hands the stored file to the
// desktop; `quit` ends the program. Without `download` the update cannot be fetched.
struct UpdateInstaller {
    using Stored = std::function<void(const QString& path)>;
    using Failed = std::function<void(const QString& reason)>;
    std::function<void(const QString& address, Stored stored, Failed failed)> download;
    std::function<void(const QString& path)> open;
    std::function<void()> quit;
};

// The version line's text: "2.1.0(215)".
QString versionText(const QString& appVersion, const QString& buildVersion);

// The zoom steps of the Zoom popover's images, from the camera's present factor.
double zoomedIn(double currentFactor);   // factor x 1.1, at most 10
double zoomedOut(double currentFactor);  // factor / 1.1, at least 0.5

class ControlBarModel : public QObject {
    Q_OBJECT
public:
    using CameraProvider = std::function<CameraPort*()>;
    using ScriptRunner = std::function<void(const QString& script)>;
    using OfflineModeStore = std::function<void(bool offline)>;
    using ResolutionStore = std::function<void(const QString& resolution)>;
    using HIDLink = std::function<hid::QVHIDDevice&()>;

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
    // Where the resolution is kept between launches ("bookmark_resolution").
    void setResolutionStore(ResolutionStore store) { storeResolution_ = std::move(store); }
    // The link the image settings go through (by default the main camera's shared link).
    void setHIDLink(HIDLink link) { hidLink_ = std::move(link); }
    // How "Update" fetches and installs; open and quit default to the desktop and the application.
    void setUpdateInstaller(UpdateInstaller installer);

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
    QString appVersion;    // the build's short version
    QString buildVersion;  // the build's number

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
    using Recording = CameraPort::Recording;
    void startRecording(Recording what);
    void stopRecording();
    void refreshRecordingTime();
    // The appearance step: offline mode and resolution from the app-wide values.
    void restoreSettings();
    void setOfflineMode(bool offline);

    // --- Focus and Adjust popovers ---
    double imageSetting(ImageSetting setting) const;
    // A slider's new value: stored, then sent truncated toward zero as the row's command.
    void setImageSetting(ImageSetting setting, double value);
    void sendFocusCommand(std::uint8_t command);
    // Sends the reset command alone and puts the seven values back to their defaults.
    void resetCameraImage();
    void restoreImageDefaults();

    // --- Settings popover ---
    void selectCamera(int index);
    void selectAuxCamera(int index);
    void selectMicrophone(int index);
    void selectResolution(const QString& resolution);
    // Posts the notification and closes the Settings popover ("ChangeArchive", "OpenKestrixConfig").
    void postAndClosePopover(const char* name);
    // The camera and microphone names of the pickers, read from the controller each time.
    std::vector<QString> cameraNames() const;
    std::vector<QString> microphoneNames() const;
    // "Pair" is offered while the main camera's name contains "Kestrix" (this capitalisation).
    bool showsPairButton() const;
    QString versionLine() const { return versionText(appVersion, buildVersion); }
    // The update's answer: true for "Continue". Downloads, then opens the file and quits.
    void downloadUpdate(bool proceed);
    void installUpdate(const QString& path);
    bool updateDownloading() const { return updateDownloading_; }

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
    // The update could not be fetched; the program goes on.
    void updateFailed(const QString& reason);

private:
    void subscribe();
    void unsubscribe();
    void clockTick();
    void recordingFailed(Recording what);
    // "Record" again: the clock stopped and reset, the picture live.
    void leaveRecordingState();
    hid::QVHIDDevice& hidLink() const;
    double& imageField(ImageSetting setting);

    CameraProvider camera_;
    ScriptRunner runScript_;
    OfflineModeStore storeOfflineMode_;
    ResolutionStore storeResolution_;
    HIDLink hidLink_;
    UpdateInstaller installer_;
    bool updateDownloading_ = false;
    QTimer recordingTimer_;
    Recording recording_ = Recording::Movie;  // the kind the bar started last
    std::vector<app::NotificationCenter::Token> tokens_;
};

}  // namespace qv::controlbar
