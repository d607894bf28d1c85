#include "app/WhiteboardPictures.h"

#include "state/AppState.h"
#include "webpanels/BrowserWebView.h"
#include "webpanels/WebView.h"

namespace qv::app {

void WhiteboardPictures::whiteboardPicture(BoardCompletion completion) {
    if (!whiteboardWebView) {
        completion(std::nullopt, QStringLiteral("the whiteboard is not shown"));
        return;
    }
    whiteboardWebView->takeSnapshot([completion](const QImage& picture, const QString& error) {
        if (picture.isNull())
            completion(std::nullopt, error);
        else
            completion(picture, QString());
    });
}

namespace {
const QWidget* whiteboardContainer() {
    if (!whiteboardWebView) return nullptr;
    return whiteboardWebView->parentWidget() ? whiteboardWebView->parentWidget() : whiteboardWebView.data();
}
}  // namespace

QRectF WhiteboardPictures::whiteboardContainerFrame() const {
    const QWidget* container = whiteboardContainer();
    if (!container) return {};
    return QRectF(QPointF(0, 0), QSizeF(container->size()));
}

bool WhiteboardPictures::isBrowserShown() const {
    return browserWebView && browserWebView->showingBrowser() && browserWebView->isVisible();
}

QRectF WhiteboardPictures::browserContainerFrame() const {
    const QWidget* container = browserWebView ? browserWebView->container() : nullptr;
    const QWidget* board = whiteboardContainer();
    if (!container || !board || !board->isAncestorOf(container)) return {};
    return QRectF(QPointF(container->mapTo(board, QPoint(0, 0))), QSizeF(container->size()));
}

double WhiteboardPictures::browserOpacity() const {
    // The page picture is taken at full opacity; the composition fades it as the screen does.
    return browserWebView ? browserWebView->pageOpacity() : 1.0;
}

void WhiteboardPictures::browserPicture(BrowserCompletion completion) {
    if (!browserWebView) {
        completion(std::nullopt);
        return;
    }
    browserWebView->takeSnapshot([completion](const QImage& picture) {
        if (picture.isNull())
            completion(std::nullopt);
        else
            completion(picture);
    });
}

}  // namespace qv::app
