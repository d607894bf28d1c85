#include "webpanels/WebViewController.h"

#include <QApplication>
#include <QFileInfo>
#include <QJsonObject>
#include <QJsonValue>
#include <QMessageBox>
#include <QRect>
#include <QVariantMap>

#include <cmath>
#include <limits>

#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "state/QtPrint.h"
#include "webpanels/NavigationPolicy.h"
#include "webpanels/Resources.h"
#include "webpanels/ScriptCalls.h"

namespace qv::webpanels {

namespace {

QString quoted(const QString& text) { return QString::fromStdString(util::debugQuoted(text.toStdString())); }

std::optional<double> numberOf(const QVariantMap& message, const char* key) {
    const auto it = message.constFind(QLatin1String(key));
    if (it == message.constEnd()) return std::nullopt;
    switch (it->typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: {
        const double value = it->toDouble();
        if (!std::isfinite(value)) return std::nullopt;
        return value;
    }
    default:
        return std::nullopt;  // texts, booleans, null, objects
    }
}

// A whole number: a number without fraction, within the range a double holds exactly.
std::optional<std::int64_t> wholeNumberOf(const QVariantMap& message, const char* key) {
    const auto value = numberOf(message, key);
    constexpr double limit = 9007199254740992.0;  // 2^53
    if (!value || std::trunc(*value) != *value || std::fabs(*value) > limit) return std::nullopt;
    return static_cast<std::int64_t>(*value);
}

// The body as a dictionary, whichever way the channel delivered it.
std::optional<QVariantMap> dictionaryOf(const QVariant& body) {
    switch (body.typeId()) {
    case QMetaType::QVariantMap:
        return body.toMap();
    case QMetaType::QVariantHash: {
        QVariantMap map;
        const QVariantHash hash = body.toHash();
        for (auto it = hash.begin(); it != hash.end(); ++it) map.insert(it.key(), it.value());
        return map;
    }
    case QMetaType::QJsonObject:
        return body.toJsonObject().toVariantMap();
    case QMetaType::QJsonValue: {
        const QJsonValue value = body.toJsonValue();
        if (value.isObject()) return value.toObject().toVariantMap();
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

// The window the page wanted to lay over its picture is gone; the presenter waits on this.
void showWindowGoneAlert() {
    QMessageBox alert(QApplication::activeWindow());
    alert.setObjectName(QStringLiteral("windowGoneAlert"));
    alert.setIcon(QMessageBox::Warning);
    alert.setInformativeText(
        QStringLiteral("Original Window was minimized or closed, please choose another window in Plenwick."));
    alert.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    alert.exec();
}

}  // namespace

WebViewController::WebViewController(QObject* parent) : QObject(parent), pageFile_(whiteboardPagePath()) {}

void WebViewController::setCameraGestureTarget(std::shared_ptr<CameraGestureTarget> target) {
    camera_ = std::move(target);
}
void WebViewController::setTunnelWindowSystem(std::shared_ptr<TunnelWindowSystem> windows) {
    windows_ = std::move(windows);
}
void WebViewController::setViewToScreen(ViewToScreen map) { viewToScreen_ = std::move(map); }
void WebViewController::setScriptEvaluator(ScriptEvaluator evaluate) { evaluate_ = std::move(evaluate); }
void WebViewController::setPageFile(const QString& pageFile) { pageFile_ = pageFile; }

void WebViewController::evaluate(const QString& script) {
    if (evaluate_) evaluate_(script);
}

void WebViewController::handleMessage(const QVariant& body) {
    const std::optional<QVariantMap> message = dictionaryOf(body);
    if (!message) return;
    const auto typeIt = message->constFind(QStringLiteral("type"));
    if (typeIt == message->constEnd() || typeIt->typeId() != QMetaType::QString) return;
    const QString type = typeIt->toString();

    if (type == QLatin1String("wheel")) return;

    if (type == QLatin1String("pan")) {
        const auto x = wholeNumberOf(*message, "x");
        const auto y = wholeNumberOf(*message, "y");
        const auto end = wholeNumberOf(*message, "end");
        if (!x || !y || !end) return;
        if (!camera_ || !camera_->hasCamera()) return;
        camera_->panPreview(*end == 1, static_cast<double>(*x), static_cast<double>(*y), camera_->rotation());
        return;
    }
    if (type == QLatin1String("gesturestart")) {
        if (const auto scale = numberOf(*message, "scale")) gestureScale_ = static_cast<float>(*scale);
        return;
    }
    if (type == QLatin1String("gesturechange")) {
        const auto scale = numberOf(*message, "scale");
        if (!scale || !camera_ || !camera_->hasCamera()) return;
        const float factor = static_cast<float>(*scale) * gestureScale_;
        camera_->setZoom(static_cast<double>(factor));
        return;
    }

    const auto windowNumber = wholeNumberOf(*message, "windowNumber");
    if (type == QLatin1String("renderTunnel")) {
        if (windowNumber) renderTunnel(*windowNumber);
        return;
    }
    if (type == QLatin1String("positionTunnel")) {
        if (windowNumber) positionTunnel(*windowNumber);
        return;
    }
    if (type == QLatin1String("controlTunnel")) {
        const auto left = numberOf(*message, "left");
        const auto top = numberOf(*message, "top");
        const auto width = numberOf(*message, "width");
        const auto height = numberOf(*message, "height");
        if (!windowNumber || !left || !top || !width || !height) return;
        // Whole points; a fraction is dropped.
        controlTunnel(*windowNumber, QRect(static_cast<int>(*left), static_cast<int>(*top),
                                           static_cast<int>(*width), static_cast<int>(*height)));
        return;
    }
    if (type == QLatin1String("closeTunnel")) {
        if (windowNumber && *windowNumber == docCamWindowNumber)
            app::post(QString::fromLatin1(app::notification::OpenDocCamera), {{QStringLiteral("type"), QStringLiteral("close")}});
        return;
    }
    // "tunnelKeydown" and unknown types: nothing.
}

void WebViewController::renderTunnel(std::int64_t windowNumber) {
    if (windowNumber == docCamWindowNumber) {
        // One whole frame: the capture thread replaces the shared frame under the same lock this
        // reads it with, and the frame itself is never changed once published.
        const std::shared_ptr<const QImage> frame = app::docCamSampleBuffer();
        if (!frame) {
            evaluate(renderTunnelWindowCall(windowNumber, QString()));
            return;
        }
        if (frame->isNull()) return;  // a frame without picture: no reply
        evaluate(renderTunnelWindowCall(windowNumber, jpegDataAddress(*frame)));
        return;
    }
    if (windowNumber <= 0) return;
    QString dataAddress;
    if (windowNumber <= std::numeric_limits<std::uint32_t>::max() && windows_) {
        if (const auto picture = windows_->windowPicture(static_cast<std::uint32_t>(windowNumber)))
            dataAddress = jpegDataAddress(*picture);
    }
    if (dataAddress.size() < 11) dataAddress.clear();
    evaluate(renderTunnelWindowCall(windowNumber, dataAddress));
}

void WebViewController::positionTunnel(std::int64_t windowNumber) {
    if (windowNumber <= 0 || windowNumber > std::numeric_limits<std::uint32_t>::max() || !windows_) return;
    windows_->positionTunnel(static_cast<std::uint32_t>(windowNumber));
}

void WebViewController::controlTunnel(std::int64_t windowNumber, const QRect& rectInView) {
    if (windowNumber <= 0 || windowNumber > std::numeric_limits<std::uint32_t>::max() || !windows_) return;
    const QRect onScreen = viewToScreen_ ? viewToScreen_(rectInView) : rectInView;
    if (windows_->controlTunnel(static_cast<std::uint32_t>(windowNumber), onScreen) == TunnelPlacement::WindowGone)
        showWindowGoneAlert();
}

bool WebViewController::decidePolicyForNavigation(const QUrl& url) {
    return followNavigationDecision(decideNavigation(url, pageFile_), url,
                                    [this](const QUrl& file) { openLocalFile(file); });
}

void WebViewController::openLocalFile(const QUrl& url) { openLocalFileLink(url); }

void WebViewController::didFinishNavigation() {
    util::printLine(quoted(QStringLiteral("didFinish1")));
    app::post(QString::fromLatin1(app::notification::showLoadingMarrowPanel),
              {{QStringLiteral("show"), false}, {QStringLiteral("message"), QString()}});
}

void WebViewController::didFailNavigation(const QString& localizedDescription, const QString& debugDescription,
                                          bool provisional) {
    util::printLine(quoted(provisional ? QStringLiteral("didFail") : QStringLiteral("didFail..........")));
    util::printLine(debugDescription);
    app::post(QString::fromLatin1(app::notification::showLoadingMarrowPanel),
              {{QStringLiteral("show"), true}, {QStringLiteral("message"), localizedDescription}});
}

ScriptMessageHandler::ScriptMessageHandler(WebViewController* controller, QObject* parent)
    : QObject(parent), controller_(controller) {}

void ScriptMessageHandler::postMessage(const QVariant& body) {
    if (controller_) controller_->handleMessage(body);
}

}  // namespace qv::webpanels
