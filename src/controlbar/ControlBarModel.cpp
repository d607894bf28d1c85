#include "controlbar/ControlBarModel.h"

#include <QCoreApplication>
#include <QPointer>
#include <QDesktopServices>
#include <QUrl>
#include <QVariant>

#include <algorithm>

#include "state/AppState.h"
#include "state/Notifications.h"
#include "state/QtPrint.h"
#include "capture/hid/HIDReports.h"
#include "capture/hid/link/QVHIDDevice.h"
#include "util/BuildInfo.h"

namespace qv::controlbar {

namespace nt = app::notification;

namespace cmd = hid::QVHIDCommand;

const std::array<ImageSettingRow, 7>& imageSettingRows() {
    static const std::array<ImageSettingRow, 7> rows{{
        {ImageSetting::Brightness, "Brightness", "toolbar_brightness", -127, 128, 0, cmd::CMD_BRIGHTNESS},
        {ImageSetting::Contrast, "Contrast", "toolbar_contrast", 0, 255, 128, cmd::CMD_CONTRAST},
        {ImageSetting::Saturation, "Saturation", "toolbar_saturation", 0, 255, 128, cmd::CMD_SATURATION},
        {ImageSetting::Sharpness, "Sharpness", "toolbar_sharpness", 0, 255, 128, cmd::CMD_SHARPNESS},
        {ImageSetting::Focus, "Focus", "toolbar_focus", 0, 255, 128, cmd::CMD_FOCUS},
        {ImageSetting::Exposure, "Exposure", "toolbar_exposure", -512, 3072, 0, cmd::CMD_EXPOSURE},
        {ImageSetting::Whitebalance, "Whitebalance", "toolbar_whitebalance", 2300, 8500, 5000, cmd::CMD_WHITE_BALANCE},
    }};
    return rows;
}

QString versionText(const QString& appVersion, const QString& buildVersion) {
    return appVersion + "(" + buildVersion + ")";
}

double zoomedIn(double currentFactor) { return std::min(10.0, currentFactor * 1.1); }
double zoomedOut(double currentFactor) { return std::max(0.5, currentFactor / 1.1); }

ControlBarModel::ControlBarModel(CameraProvider camera, QObject* parent)
    : QObject(parent),
      appVersion(QString::fromUtf8(util::build::shortVersion)),
      buildVersion(QString::fromUtf8(util::build::buildNumber)),
      camera_(std::move(camera)) {
    setUpdateInstaller({});
    recordingTimer_.setInterval(recordingClockIntervalMs);
    recordingTimer_.setTimerType(Qt::PreciseTimer);
    connect(&recordingTimer_, &QTimer::timeout, this, &ControlBarModel::clockTick);
}

ControlBarModel::~ControlBarModel() { unsubscribe(); }

// --- appearance and subscriptions ---

void ControlBarModel::appear() {
    if (hideControlBar || subscribed()) return;
    subscribe();
    restoreSettings();
}

void ControlBarModel::subscribe() {
    auto& center = app::NotificationCenter::defaultCenter();
    auto add = [&](const char* name, void (ControlBarModel::*handler)(const app::Notification&)) {
        tokens_.push_back(center.addObserver(this, name, [this, handler](const app::Notification& n) { (this->*handler)(n); }));
    };
    add(nt::CameraStarted, &ControlBarModel::onCameraStarted);
    add(nt::Zoomed_CAMERA, &ControlBarModel::onZoomed);
    add(nt::Camera_List_Ready, &ControlBarModel::onCameraListReady);
    add(nt::VideoRecorded, &ControlBarModel::onCaptureSaved);
    add(nt::ImageCaptured, &ControlBarModel::onCaptureSaved);
    add(nt::HIDConnected, &ControlBarModel::onHIDConnected);
    add(nt::HIDDisconnected, &ControlBarModel::onHIDDisconnected);
    add(nt::HIDButtonClicked, &ControlBarModel::onHIDButtonClicked);
}

void ControlBarModel::unsubscribe() {
    auto& center = app::NotificationCenter::defaultCenter();
    for (auto token : tokens_) center.removeObserver(token);
    tokens_.clear();
}

void ControlBarModel::toggleControlBar() {
    hideControlBar = !hideControlBar;
    // Only the shown bar hears the bus; each showing subscribes afresh and runs the appearance step.
    if (hideControlBar) {
        unsubscribe();
    } else {
        subscribe();
        restoreSettings();
    }
    emit changed();
}

void ControlBarModel::restoreSettings() {
    setOfflineMode(app::globalOfflineMode);
    selectedResolution = app::globalResolution;
    emit changed();
}

void ControlBarModel::setOfflineMode(bool offline) {
    toggleModel.offlineMode = offline;
    util::printLine("OfflineMode:", offline);
    app::globalOfflineMode = offline;
    if (storeOfflineMode_) storeOfflineMode_(offline);
    emit changed();
}

// --- main buttons ---

void ControlBarModel::showLastCapture() {
    if (!hasThumbnail()) return;
    app::post(nt::OpenSideBySide, {{"image", thumbnailImage}, {"url", thumbnailURL}});
}

void ControlBarModel::turnAnnotationOn() {
    enableAnnotation = true;
    if (runScript_) runScript_(QStringLiteral("allowAnnotation(true)"));
    app::post(nt::HideArchiveList);
    emit changed();
}

void ControlBarModel::turnAnnotationOff() {
    enableAnnotation = false;
    if (runScript_) runScript_(QStringLiteral("allowAnnotation(false)"));
    emit changed();
}

void ControlBarModel::zoomOut() {
    if (auto* cam = camera_()) cam->setZoom(zoomedOut(app::currentZoomFactor));
}

void ControlBarModel::zoomIn() {
    if (auto* cam = camera_()) cam->setZoom(zoomedIn(app::currentZoomFactor));
}

void ControlBarModel::setZoomFromSlider(double value) {
    zoomFactor = value;
    if (auto* cam = camera_()) cam->setZoom(value);
    emit changed();
}

void ControlBarModel::setFreezing(bool frozen) {
    // One target state; the bar then shows what the controller reports, so the bar's flag and
    // the controller's pause can never disagree.
    if (auto* cam = camera_()) {
        if (cam->isPaused() != frozen) cam->togglePause();
        isFreezing = cam->isPaused();
    } else {
        isFreezing = frozen;
    }
    emit changed();
}

void ControlBarModel::takeSnapshot() {
    if (auto* cam = camera_()) cam->capturePhoto();
}

void ControlBarModel::rotate(const QString& direction) { app::post(nt::ROTATE_CAMERA, {{"direction", direction}}); }
void ControlBarModel::mirror() { app::post(nt::Mirror_CAMERA); }
void ControlBarModel::openFiles() { app::post(nt::OpenFiles); }

void ControlBarModel::openWebBrowser() {
    app::post(nt::OpenBrowser, {{"pdfMode", false}});
    showPopoverViewer = false;
    emit changed();
}

void ControlBarModel::openLessons() {
    app::post(nt::OpenBrowser, {{"pdfMode", false}, {"lessonsMode", true}});
    showPopoverViewer = false;
    emit changed();
}

void ControlBarModel::openDocCamera() {
    app::post(nt::OpenDocCamera);
    showPopoverViewer = false;
    emit changed();
}

void ControlBarModel::openPIPCamera() {
    app::post(nt::OpenPIPCamera);
    showPopoverViewOption = false;
    emit changed();
}

void ControlBarModel::postTunnelList(int delayMs) {
    if (delayMs <= 0)
        app::post(nt::OpenTunnelList);
    else
        QTimer::singleShot(delayMs, this, [] { app::post(nt::OpenTunnelList); });
    showPopoverViewer = false;
    emit changed();
}

// --- recording clock ---

void ControlBarModel::startRecording(Recording what) {
    auto* cam = camera_();
    if (!cam) return;
    cam->setRecordingFailedHandler([self = QPointer<ControlBarModel>(this)](Recording failed) {
        if (self) self->recordingFailed(failed);
    });
    const bool started = what == Recording::Movie ? cam->startMovieRecording() : cam->startScreenRecording();
    // A refused start (no save folder, no session, a recorder error) leaves the bar idle.
    if (!started) return;
    recording_ = what;
    recordingTimerStr = idleClockText;
    recordingTimer_.start();
    isRecording = true;
    emit changed();
}

void ControlBarModel::stopRecording() {
    if (auto* cam = camera_()) cam->stopRecording();
    leaveRecordingState();
}

void ControlBarModel::recordingFailed(Recording what) {
    // A start that failed after all, or a recording that broke off, is no recording to stop: the
    // bar offers "Record" again and the window keeps showing why.
    if (isRecording && what == recording_) leaveRecordingState();
}

void ControlBarModel::leaveRecordingState() {
    isRecording = false;
    recordingTimer_.stop();
    recordingTimerStr = idleClockText;
    // A recording always ends with a live picture.
    if (isFreezing) setFreezing(false);
    emit changed();
}

void ControlBarModel::refreshRecordingTime() {
    if (auto* cam = camera_()) {
        recordingTimerStr = cam->recordedDurationText();
        emit changed();
    }
}

void ControlBarModel::clockTick() {
    // The stop button (and so the clock's receiver) is on screen only while the bar is shown.
    if (!hideControlBar && isRecording) refreshRecordingTime();
}

// --- Focus and Adjust popovers ---

hid::QVHIDDevice& ControlBarModel::hidLink() const { return hidLink_ ? hidLink_() : hid::QVHIDDevice::shared(); }

double& ControlBarModel::imageField(ImageSetting setting) {
    switch (setting) {
        case ImageSetting::Brightness: return brightnessFactor;
        case ImageSetting::Contrast: return contrastFactor;
        case ImageSetting::Saturation: return saturationFactor;
        case ImageSetting::Sharpness: return sharpnessFactor;
        case ImageSetting::Focus: return focusFactor;
        case ImageSetting::Exposure: return exposureFactor;
        case ImageSetting::Whitebalance: return whitebalanceFactor;
    }
    return brightnessFactor;
}

double ControlBarModel::imageSetting(ImageSetting setting) const {
    return const_cast<ControlBarModel*>(this)->imageField(setting);
}

void ControlBarModel::setImageSetting(ImageSetting setting, double value) {
    // The field first, so the slider and the field never disagree; then one report for this value.
    imageField(setting) = value;
    const std::int64_t whole = hid::sliderCommandValue(value);
    hid::QVHIDDevice& link = hidLink();
    switch (setting) {
        case ImageSetting::Brightness: link.setBrightness(whole); break;
        case ImageSetting::Contrast: link.setContrast(whole); break;
        case ImageSetting::Saturation: link.setSaturation(whole); break;
        case ImageSetting::Sharpness: link.setSharpness(whole); break;
        case ImageSetting::Focus: link.setFocus(cmd::CMD_FOCUS, whole); break;
        case ImageSetting::Exposure: link.setExposure(cmd::CMD_EXPOSURE, whole); break;
        case ImageSetting::Whitebalance: link.setWhiteBalance(cmd::CMD_WHITE_BALANCE, whole); break;
    }
}

void ControlBarModel::sendFocusCommand(std::uint8_t command) { hidLink().setFocus(command, 0); }

void ControlBarModel::resetCameraImage() {
    hidLink().sendReport(hid::makeCommandReport(cmd::CMD_RESET, 0));
    restoreImageDefaults();
}

void ControlBarModel::restoreImageDefaults() {
    for (const ImageSettingRow& row : imageSettingRows()) imageField(row.setting) = row.defaultValue;
    emit changed();
}

// --- Settings popover ---

std::vector<QString> ControlBarModel::cameraNames() const {
    auto* cam = camera_();
    return cam ? cam->cameraNames() : std::vector<QString>{};
}

std::vector<QString> ControlBarModel::microphoneNames() const {
    auto* cam = camera_();
    return cam ? cam->microphoneNames() : std::vector<QString>{};
}

bool ControlBarModel::showsPairButton() const {
    auto* cam = camera_();
    const std::optional<QString> name = cam ? cam->currentCameraName() : std::nullopt;
    return name && name->contains(QStringLiteral("Kestrix"), Qt::CaseSensitive);
}

void ControlBarModel::selectCamera(int index) {
    selectedCameraIndex = index;
    auto* cam = camera_();
    // Without a controller, an index outside the list, or the current camera: nothing changes.
    if (cam && index >= 0 && index < int(cam->cameraNames().size()) && !cam->isCurrentCamera(index)) {
        util::printLine(QStringLiteral("Camera changed "));
        cam->useCamera(index);
    }
    emit changed();
}

void ControlBarModel::selectMicrophone(int index) {
    selectedMicIndex = index;
    auto* cam = camera_();
    if (cam && index >= 0 && index < int(cam->microphoneNames().size()) && !cam->isCurrentMicrophone(index)) {
        util::printLine(QStringLiteral("Mic changed "));
        cam->useMicrophone(index);
    }
    emit changed();
}

void ControlBarModel::selectAuxCamera(int index) {
    selectedPipCameraIndex = index;
    if (auto* cam = camera_()) cam->setPipCamera(index);
    emit changed();
}

void ControlBarModel::selectResolution(const QString& resolution) {
    selectedResolution = resolution;
    if (resolution != app::globalResolution) {
        app::applyResolution(resolution);
        if (auto* cam = camera_()) cam->reconfigure();
        if (storeResolution_) storeResolution_(resolution);
    }
    emit changed();
}

void ControlBarModel::postAndClosePopover(const char* name) {
    app::post(name);
    showPopoverSettings = false;
    emit changed();
}

void ControlBarModel::setUpdateInstaller(UpdateInstaller installer) {
    if (!installer.open)
        installer.open = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    if (!installer.quit) installer.quit = [] { QCoreApplication::quit(); };
    installer_ = std::move(installer);
}

void ControlBarModel::downloadUpdate(bool proceed) {
    if (!proceed || updateDownloading_) return;
    if (!installer_.download) {
        emit updateFailed(QStringLiteral("No way to download the update is set up."));
        return;
    }
    updateDownloading_ = true;
    QPointer<ControlBarModel> self(this);
    installer_.download(
        app::updateDownloadLocation,
        [self](const QString& path) {
            if (!self) return;
            self->updateDownloading_ = false;
            self->installUpdate(path);
        },
        [self](const QString& reason) {
            if (!self) return;
            self->updateDownloading_ = false;
            util::printLine("Update download failed:", reason);
            emit self->updateFailed(reason);
        });
}

void ControlBarModel::installUpdate(const QString& path) {
    if (installer_.open) installer_.open(path);
    if (installer_.quit) installer_.quit();
}

// --- notification handlers ---

void ControlBarModel::onCameraStarted(const app::Notification& n) {
    toggleModel.isWendle = app::isWendleEdition();
    if (n.userInfo.contains(QStringLiteral("vemoCamera")))
        toggleModel.allowDocCam = toggleModel.allowDocCam && toggleModel.isWendle;
    emit changed();
}

void ControlBarModel::onZoomed(const app::Notification&) {
    zoomFactor = app::currentZoomFactor;
    emit changed();
}

void ControlBarModel::onCameraListReady(const app::Notification&) {
    auto* cam = camera_();
    const std::vector<CameraPort::CameraInfo> cameras = cam ? cam->cameras() : std::vector<CameraPort::CameraInfo>{};
    if (cam && cameras.size() > 1) {
        toggleModel.allowPIP = true;
        auto found = std::find_if(cameras.begin(), cameras.end(),
                                  [](const CameraPort::CameraInfo& c) { return c.isQuorvane && !c.isWendle; });
        if (found != cameras.end()) cam->setCurDocCamera(int(found - cameras.begin()));
        toggleModel.allowDocCam = found != cameras.end();
    } else {
        toggleModel.allowPIP = false;
        toggleModel.allowDocCam = false;
    }
    const QString count = cam ? QStringLiteral("Optional(%1)").arg(cameras.size()) : QStringLiteral("nil");
    util::printLine(QStringLiteral("self.allowPIP = %1  %2").arg(toggleModel.allowPIP ? "true" : "false", count));
    emit changed();
}

void ControlBarModel::onCaptureSaved(const app::Notification& n) {
    const QVariant image = n.userInfo.value(QStringLiteral("image"));
    const QVariant url = n.userInfo.value(QStringLiteral("url"));
    if (!image.isValid() || !url.isValid()) return;
    QImage picture = image.value<QImage>();
    QUrl file = url.value<QUrl>();
    if (picture.isNull() || !file.isValid()) return;
    thumbnailURL = file;
    thumbnailImage = std::move(picture);
    emit changed();
}

void ControlBarModel::onHIDConnected(const app::Notification& n) {
    if (!n.userInfo.contains(QStringLiteral("allowHIDControl"))) return;
    toggleModel.allowHIDControl = n.userInfo.value(QStringLiteral("allowHIDControl")).toBool();
    emit changed();
}

void ControlBarModel::onHIDDisconnected(const app::Notification&) {
    toggleModel.allowHIDControl = false;
    emit changed();
}

void ControlBarModel::onHIDButtonClicked(const app::Notification& n) {
    if (!n.userInfo.contains(QStringLiteral("button"))) return;
    const int button = n.userInfo.value(QStringLiteral("button")).toInt();
    util::printLine(QStringLiteral("\"Button Clicked: %1\"").arg(button));
    switch (button) {
        case 3:
            if (!isRecording) startRecording(Recording::Screen);
            break;
        case 4:
            setFreezing(!isFreezing);
            break;
        case 5:
            takeSnapshot();
            break;
        case 6:
            stopRecording();
            break;
        default:
            break;
    }
}

}  // namespace qv::controlbar
