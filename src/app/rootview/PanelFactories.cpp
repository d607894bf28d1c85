#include "app/rootview/PanelFactories.h"

#include <QPainter>

namespace qv::app {

PlaceholderPanel::PlaceholderPanel(const QString& title, QSize size, QWidget* parent, bool transparent)
    : QWidget(parent), title_(title), size_(size), transparent_(transparent) {
    setObjectName(title);
    if (transparent) setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(size);
}

void PlaceholderPanel::paintEvent(QPaintEvent*) {
    if (transparent_) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(60, 60, 60, 220));
    p.setPen(QPen(QColor(200, 200, 200), 1));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.setPen(Qt::white);
    p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, title_);
}

PanelFactories PanelFactories::placeholders() {
    PanelFactories f;
    auto make = [](const QString& title, QSize size, bool transparent = false) -> Make {
        return [=](QWidget* parent) { return new PlaceholderPanel(title, size, parent, transparent); };
    };
    f.cameraView = make(QStringLiteral("Camera"), QSize(1280, 720));
    f.whiteboard = make(QStringLiteral("Whiteboard"), QSize(1280, 720), true);
    f.archiveList = make(QStringLiteral("Archive"), QSize(160, 360));
    f.fileLibrary = make(QStringLiteral("File Library"), QSize(220, 480));
    f.tunnelList = make(QStringLiteral("Window List"), QSize(400, 400));
    f.gifGenerator = make(QStringLiteral("GIF Maker"), QSize(640, 420));
    f.kestrixConfig = make(QStringLiteral("Pairing"), QSize(480, 360));
    f.pipCamera = make(QStringLiteral("PIP Camera"), QSize(320, 180), true);
    f.docCamera = make(QStringLiteral("Doc Camera"), QSize(320, 180), true);
    f.browser = [](QWidget* parent, const BrowserPanelArgs& args) -> QWidget* {
        const QString mode = args.pdfMode ? QStringLiteral("PDF") : args.lessonsMode ? QStringLiteral("Lessons") : QStringLiteral("Web");
        return new PlaceholderPanel(QStringLiteral("Browser (%1)").arg(mode), QSize(600, 500), parent);
    };
    f.openPDF = [](QWidget*, const QString&) {};
    f.coverWhiteboard = [](QWidget*, const QRegion&) {};
    return f;
}

}  // namespace qv::app
