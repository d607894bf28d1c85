#include "app/WhiteboardPictures.h"

#include "state/AppState.h"
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

QRectF WhiteboardPictures::whiteboardContainerFrame() const {
    if (!whiteboardWebView) return {};
    const QWidget* container = whiteboardWebView->parentWidget() ? whiteboardWebView->parentWidget()
                                                                  : whiteboardWebView.data();
    return QRectF(QPointF(0, 0), QSizeF(container->size()));
}

}  // namespace qv::app
