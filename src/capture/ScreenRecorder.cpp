#include "capture/ScreenRecorder.h"

#include <QGuiApplication>
#include <QHash>
#include <QJsonValue>
#include <QPointer>
#include <QScreen>

#include <cmath>

#include "capture/ScreenSaverInhibitor.h"
#include "capture/gst/DeviceProviders.h"
#include "capture/gst/ScreenCapture.h"
#include "capture/x11/ClickWatcher.h"

namespace qv::capture {

namespace {

constexpr int maxMovieWidth = 1920;

QString errorName(ScreenRecorder::Error::Case c) {
    switch (c) {
    case ScreenRecorder::Error::invalidScreen: return QStringLiteral("invalidScreen");
    case ScreenRecorder::Error::invalidAudioDevice: return QStringLiteral("invalidAudioDevice");
    case ScreenRecorder::Error::couldNotAddScreen: return QStringLiteral("couldNotAddScreen");
    case ScreenRecorder::Error::couldNotAddMic: return QStringLiteral("couldNotAddMic");
    case ScreenRecorder::Error::couldNotAddOutput: return QStringLiteral("couldNotAddOutput");
    }
    return {};
}

ScreenRecorder::Error::Case caseOf(gst::ScreenCapture::Failure failure) {
    using F = gst::ScreenCapture::Failure;
    switch (failure) {
    case F::invalidScreen: return ScreenRecorder::Error::invalidScreen;
    case F::invalidAudioDevice: return ScreenRecorder::Error::invalidAudioDevice;
    case F::couldNotAddScreen: return ScreenRecorder::Error::couldNotAddScreen;
    case F::couldNotAddMic: return ScreenRecorder::Error::couldNotAddMic;
    case F::couldNotAddOutput: return ScreenRecorder::Error::couldNotAddOutput;
    }
    return ScreenRecorder::Error::couldNotAddOutput;
}

int evenDown(double value) { return std::max(2, int(std::floor(value / 2.0)) * 2); }

// The movie size of a captured area of `captured` points on a screen `screenWidth` points wide.
QSize scaledMovieSize(QSizeF captured, int screenWidth) {
    const double factor = screenWidth > maxMovieWidth ? double(maxMovieWidth) / screenWidth : 1.0;
    return QSize(evenDown(captured.width() * factor), evenDown(captured.height() * factor));
}

QString requireString(const QJsonObject& json, const char* key) {
    const QJsonValue value = json.value(QLatin1String(key));
    if (!value.isString()) throw std::invalid_argument(std::string("missing or non-text key \"") + key + "\"");
    return value.toString();
}

}  // namespace

ScreenRecorder::Error::Error(Case c, const QString& detail)
    : std::runtime_error(
          (errorName(c) + (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail)).toStdString()),
      value(c) {}

DisplayID mainDisplayID() {
    static const DisplayID id = [] {
        const QList<QScreen*> screens = QGuiApplication::screens();
        const qsizetype index = screens.indexOf(QGuiApplication::primaryScreen());
        return DisplayID(index < 0 ? 0 : index);
    }();
    return id;
}

QSize ScreenRecorder::movieSize(int widthPoints, int heightPoints) {
    return scaledMovieSize(QSizeF(widthPoints, heightPoints), widthPoints);
}

ScreenRecorder::ScreenRecorder(const QString& destination, int framesPerSecond, std::optional<QRect> cropRect,
                               bool showCursor, bool highlightClicks, DisplayID screenId,
                               CaptureDeviceRef audioDevice, std::optional<QString> /*videoCodec*/, QObject* parent)
    : QObject(parent), destination(destination) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screenId >= DisplayID(screens.size())) throw Error(Error::invalidScreen);
    QScreen* screen = screens.at(int(screenId));
    const QRect geometry = screen->geometry();  // points, in the virtual desktop
    const double ratio = screen->devicePixelRatio();
    QRectF captured = cropRect ? QRectF(*cropRect).intersected(QRectF(QPointF(0, 0), QSizeF(geometry.size())))
                               : QRectF(QPointF(0, 0), QSizeF(geometry.size()));
    if (captured.isEmpty()) throw Error(Error::invalidScreen, QStringLiteral("empty crop rectangle"));

    gst::ScreenCaptureSettings settings;
    settings.destination = destination;
    const QRectF pixels(QPointF(geometry.topLeft()) * ratio + captured.topLeft() * ratio, captured.size() * ratio);
    settings.area = pixels.toAlignedRect();
    settings.outputSize = scaledMovieSize(captured.size(), geometry.width());
    settings.framesPerSecond = framesPerSecond;
    settings.showCursor = showCursor;
    settings.highlightClicks = highlightClicks;
    settings.audioDevice = std::move(audioDevice);
    try {
        capture_ = std::make_unique<gst::ScreenCapture>(settings);
    } catch (const gst::ScreenCapture::SetupError& e) {
        throw Error(caseOf(e.failure), e.detail);
    }
    inhibitor_ = std::make_unique<ScreenSaverInhibitor>(QStringLiteral("Recording screen"));
    if (highlightClicks) {
        gst::ScreenCapture* capture = capture_.get();
        clicks_ = std::make_unique<x11::ClickWatcher>([capture](int x, int y) { capture->addClick(QPoint(x, y)); });
    }
}

ScreenRecorder::~ScreenRecorder() {
    clicks_.reset();  // no click reaches the capture once it goes
}

void ScreenRecorder::start() {
    if (started_) return;
    started_ = true;
    QPointer<ScreenRecorder> self(this);
    capture_->start(
        [self] {
            QMetaObject::invokeMethod(
                self, [self] {
                    if (!self || self->finished_) return;
                    self->inhibitor_->begin();
                    if (self->onStart) self->onStart();
                },
                Qt::QueuedConnection);
        },
        [self](const QString& url, const std::optional<QString>& error) {
            QMetaObject::invokeMethod(
                self, [self, url, error] {
                    if (self) self->finished(url, error);
                },
                Qt::QueuedConnection);
        });
}

void ScreenRecorder::finished(const QString& url, const std::optional<QString>& error) {
    if (finished_) return;
    finished_ = true;
    lastDuration_ = capture_->recordedSeconds();
    inhibitor_->end();
    if (onFinish) onFinish(url, error);
}

void ScreenRecorder::stop() {
    lastDuration_ = capture_->recordedSeconds();
    capture_->stop();
}

void ScreenRecorder::pause() {
    if (!isRecording() || isPaused()) return;
    capture_->pause();
    inhibitor_->end();
    if (onPause) onPause();
}

void ScreenRecorder::resume() {
    if (!isRecording() || !isPaused()) return;
    capture_->resume();
    inhibitor_->begin();
    if (onResume) onResume();
}

bool ScreenRecorder::isRecording() const { return capture_->isRecording(); }

bool ScreenRecorder::watchesClicks() const { return clicks_ && clicks_->watching(); }

bool ScreenRecorder::isPaused() const { return capture_->isPaused(); }

double ScreenRecorder::recordedDuration() const {
    const double now = capture_->recordedSeconds();
    return now > 0 ? now : lastDuration_;
}

// Device lists.

QJsonObject ScreenRecorder::Devices::Screen::toJson() const {
    return {{QStringLiteral("id"), double(id)}, {QStringLiteral("name"), name}};
}

ScreenRecorder::Devices::Screen ScreenRecorder::Devices::Screen::fromJson(const QJsonObject& json) {
    const QJsonValue id = json.value(QLatin1String("id"));
    const double number = id.toDouble(-1);
    if (!id.isDouble() || number < 0 || number > 4294967295.0 || number != std::floor(number))
        throw std::invalid_argument("missing or invalid key \"id\" (an unsigned 32-bit number)");
    return {std::uint32_t(number), requireString(json, "name")};
}

QJsonObject ScreenRecorder::Devices::Audio::toJson() const {
    return {{QStringLiteral("id"), id}, {QStringLiteral("name"), name}};
}

ScreenRecorder::Devices::Audio ScreenRecorder::Devices::Audio::fromJson(const QJsonObject& json) {
    return {requireString(json, "id"), requireString(json, "name")};
}

QJsonObject ScreenRecorder::Devices::IOS::toJson() const {
    return {{QStringLiteral("id"), id}, {QStringLiteral("name"), name}};
}

ScreenRecorder::Devices::IOS ScreenRecorder::Devices::IOS::fromJson(const QJsonObject& json) {
    return {requireString(json, "id"), requireString(json, "name")};
}

std::vector<ScreenRecorder::Devices::Screen> ScreenRecorder::Devices::screen() {
    std::vector<Screen> list;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        QString name = (screens[i]->manufacturer() + QLatin1Char(' ') + screens[i]->model()).trimmed();
        if (name.isEmpty()) name = QStringLiteral("Unnamed screen");
        list.push_back({std::uint32_t(i), name});
    }
    return list;
}

std::vector<ScreenRecorder::Devices::Audio> ScreenRecorder::Devices::audio() {
    std::vector<Audio> list;
    for (const CaptureDeviceRef& device : gst::makeDeviceProvider()->audioDevices())
        list.push_back({device->uniqueID, device->localizedName});
    return list;
}

size_t qHash(const ScreenRecorder::Devices::Screen& screen, size_t seed) {
    return qHashMulti(seed, screen.id, screen.name);
}
size_t qHash(const ScreenRecorder::Devices::Audio& audio, size_t seed) { return qHashMulti(seed, audio.id, audio.name); }
size_t qHash(const ScreenRecorder::Devices::IOS& ios, size_t seed) { return qHashMulti(seed, ios.id, ios.name); }

}  // namespace qv::capture
