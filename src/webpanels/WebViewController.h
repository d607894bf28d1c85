#pragma once
// The native end of the whiteboard page: it decides the page's navigations, reports its loading
// to the root view, and handles the messages the page posts to "swiftMessageHandler" (gestures
// that pan and zoom the camera preview, requests for pictures of mirrored windows and of the
// document camera). Main thread only.
#include <QObject>
#include <QRect>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "webpanels/CameraGestureTarget.h"
#include "webpanels/TunnelWindowSystem.h"

namespace qv::webpanels {

class WebViewController : public QObject {
    Q_OBJECT
public:
    using ScriptEvaluator = std::function<void(const QString& script)>;

    explicit WebViewController(QObject* parent = nullptr);

    // Where pan and zoom go. Unset (or a target without camera): "pan" and "gesturechange" do nothing.
    void setCameraGestureTarget(std::shared_ptr<CameraGestureTarget> target);
    // Pictures and placement of other programs' windows (positive window numbers).
    void setTunnelWindowSystem(std::shared_ptr<TunnelWindowSystem> windows);
    // Maps a rectangle in the whiteboard view to the screen (the window system's pixels); the
    // whiteboard view sets its own. Unset: the rectangle is taken as it is.
    using ViewToScreen = std::function<QRect(const QRect& rectInView)>;
    void setViewToScreen(ViewToScreen map);
    // How replies reach the page: the whiteboard view sets its own page here.
    void setScriptEvaluator(ScriptEvaluator evaluate);
    // The whiteboard page's file, which its own navigations may load again.
    void setPageFile(const QString& pageFile);

    // The pinch scale recorded at the last "gesturestart"; 1.0 before the first.
    float gestureScale() const { return gestureScale_; }

    // One message posted by the page. Bodies that are not dictionaries, unknown types and
    // messages whose keys are missing or of another kind are ignored.
    void handleMessage(const QVariant& body);

    // True when the navigation to `url` may go ahead; a local file is handed to openLocalFile.
    bool decidePolicyForNavigation(const QUrl& url);
    // A link to a local file: a PDF opens in the browser panel, anything else is ignored.
    void openLocalFile(const QUrl& url);

    // Loading reports of the page, shown by the root view's loading overlay.
    void didFinishNavigation();
    // `provisional`: the load failed before the page began to arrive.
    void didFailNavigation(const QString& localizedDescription, const QString& debugDescription, bool provisional);

    // Replies and effects of the window-mirroring messages.
    void renderTunnel(std::int64_t windowNumber);
    void positionTunnel(std::int64_t windowNumber);
    void controlTunnel(std::int64_t windowNumber, const QRect& rectInView);

private:
    void evaluate(const QString& script);

    float gestureScale_ = 1.0f;
    std::shared_ptr<CameraGestureTarget> camera_;
    std::shared_ptr<TunnelWindowSystem> windows_;
    ViewToScreen viewToScreen_;
    ScriptEvaluator evaluate_;
    QString pageFile_;
};

// The object registered on the page's web channel as "swiftMessageHandler": the page's
// window.webkit.messageHandlers.swiftMessageHandler.postMessage(body) arrives here.
class ScriptMessageHandler : public QObject {
    Q_OBJECT
public:
    explicit ScriptMessageHandler(WebViewController* controller, QObject* parent = nullptr);
    Q_INVOKABLE void postMessage(const QVariant& body);

private:
    WebViewController* controller_;
};

}  // namespace qv::webpanels
