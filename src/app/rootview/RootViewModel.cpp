#include "app/rootview/RootViewModel.h"

#include <QImageReader>
#include <QTimer>

#include "helpers/DesktopOpen.h"
#include "state/AppState.h"
#include "state/Notifications.h"
#include "webpanels/PdfViewerAddress.h"

namespace qv::app {

QString pdfViewerQueryFor(const QString& path) { return webpanels::handPdfToViewer(path); }

RootViewModel::RootViewModel(QObject* parent) : QObject(parent) {
    openExternally = [](const QUrl& url) { openOnDesktop(url, QStringLiteral("No program could open:")); };
    openPdfInShownBrowser = [](const QString&) { return false; };
    windowSize = [] { return QSizeF(1280, 800); };
}

void RootViewModel::subscribe() {
    auto& center = NotificationCenter::defaultCenter();
    auto add = [&](const char* name, void (RootViewModel::*handler)(const Notification&)) {
        center.addObserver(this, name, [this, handler](const Notification& n) { (this->*handler)(n); });
    };
    add(notification::OpenSideBySide, &RootViewModel::onOpenSideBySide);
    add(notification::OpenPIPCamera, &RootViewModel::onOpenPIPCamera);
    add(notification::OpenDocCamera, &RootViewModel::onOpenDocCamera);
    add(notification::OpenBrowser, &RootViewModel::onOpenBrowser);
    add(notification::OpenTunnelList, &RootViewModel::onOpenTunnelList);
    add(notification::OpenGifGenerator, &RootViewModel::onOpenGifGenerator);
    add(notification::OpenKestrixConfig, &RootViewModel::onOpenKestrixConfig);
    add(notification::showLoadingMarrowPanel, &RootViewModel::onShowLoadingMarrowPanel);
}

void RootViewModel::onOpenPIPCamera(const Notification&) {
    showPipCamera = !showPipCamera;
    emit changed();
}

void RootViewModel::onOpenDocCamera(const Notification& n) {
    const QVariant type = n.userInfo.value(QStringLiteral("type"));
    if (type.typeId() == QMetaType::QString && type.toString() == QLatin1String("close"))
        showDocCamera = false;
    else
        showDocCamera = !showDocCamera;
    emit changed();
}

void RootViewModel::onOpenBrowser(const Notification& n) {
    const QVariant pdfModeValue = n.userInfo.value(QStringLiteral("pdfMode"));
    if (pdfModeValue.typeId() != QMetaType::Bool) return;
    const bool pdfMode = pdfModeValue.toBool();
    if (showBrowser) {
        showBrowser = false;
        emit changed();
    }
    const QVariantMap userInfo = n.userInfo;
    QTimer::singleShot(browserReopenDelayMs, this, [this, pdfMode, userInfo] {
        globalPdfMode = pdfMode;
        const QVariant path = userInfo.value(QStringLiteral("pdfPath"));
        if (pdfMode && path.typeId() == QMetaType::QString) {
            pdfViewerQuery = pdfViewerQueryFor(path.toString());
            // Only a browser that is on screen is asked; a new panel reads pdfViewerQuery itself.
            openPdfInShownBrowser(path.toString());
        }
        globalLessonsMode = userInfo.value(QStringLiteral("lessonsMode")).typeId() == QMetaType::Bool &&
                            userInfo.value(QStringLiteral("lessonsMode")).toBool();
        showBrowser = true;
        emit changed();
    });
}

void RootViewModel::onOpenTunnelList(const Notification&) {
    showTunnelList = !showTunnelList;
    emit changed();
}

void RootViewModel::onOpenGifGenerator(const Notification&) {
    showGifGenerator = !showGifGenerator;
    emit changed();
}

void RootViewModel::onOpenKestrixConfig(const Notification&) {
    showKestrixConfig = !showKestrixConfig;
    emit changed();
}

void RootViewModel::onShowLoadingMarrowPanel(const Notification& n) {
    const QVariant show = n.userInfo.value(QStringLiteral("show"));
    const QVariant message = n.userInfo.value(QStringLiteral("message"));
    if (show.typeId() != QMetaType::Bool || message.typeId() != QMetaType::QString) return;
    loadingMarrowPanel = show.toBool();
    loadingMarrowPanelError = message.toString();
    emit changed();
}

void RootViewModel::onOpenSideBySide(const Notification& n) {
    const QVariant value = n.userInfo.value(QStringLiteral("url"));
    if (value.typeId() != QMetaType::QUrl) return;
    const QUrl url = value.toUrl();
    QImage image;
    if (url.isLocalFile()) {
        QImageReader reader(url.toLocalFile());
        reader.setAutoTransform(true);
        image = reader.read();
    }
    if (image.isNull()) {
        // A movie or any other file: its default application shows it.
        openExternally(url);
        return;
    }
    sideBySideImage = image;
    shareUrl = url;
    picture.reset();
    if (showSideBySide) {
        emit changed();
        return;
    }
    splitWidth = windowSize().width() * 0.5;
    showSideBySide = true;
    emit sideBySideOpening();
    emit changed();
}

void RootViewModel::closeBrowser() {
    showBrowser = false;
    emit changed();
}

void RootViewModel::closeSideBySide() {
    showSideBySide = false;
    emit changed();
}

void RootViewModel::sideBySideShown() { splitWidth.reset(); }

void RootViewModel::browserShown() {
    // Only the latest opening lays the panel out.
    const int opening = ++browserOpenings_;
    QTimer::singleShot(browserLayoutDelayMs, this, [this, opening] {
        if (opening != browserOpenings_) return;
        browser.layoutAfterOpening(windowSize());
        emit changed();
    });
}

}  // namespace qv::app
