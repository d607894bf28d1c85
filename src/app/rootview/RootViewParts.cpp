#include "app/rootview/RootViewParts.h"

#include <QGestureEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPinchGesture>
#include <QElapsedTimer>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <cmath>

#include "app/rootview/Layering.h"
#include "app/rootview/SharingsPicker.h"
#include "state/AppState.h"
#include "controlbar/NamedImages.h"

namespace qv::app {

namespace {
// Ctrl + wheel stands in for a pinch where no touch pad delivers one.
bool isZoomWheel(const QWheelEvent* e) { return e->modifiers().testFlag(Qt::ControlModifier) && e->angleDelta().y() != 0; }

// Feeds a pinch to `changed` (magnification since it began) and `ended`, whether it comes as a
// touch gesture or as the touch pad's native zoom steps. True when the event was such a pinch.
bool feedPinch(QEvent* event, PinchGate& gate, double& nativeMagnification, const std::function<void(double)>& changed,
               const std::function<void()>& ended) {
    if (event->type() == QEvent::Gesture) {
        auto* ge = static_cast<QGestureEvent*>(event);
        auto* g = static_cast<QPinchGesture*>(ge->gesture(Qt::PinchGesture));
        if (!g) return false;
        if (auto m = gate.change(g->totalScaleFactor())) changed(*m);
        if ((g->state() == Qt::GestureFinished || g->state() == Qt::GestureCanceled) && gate.end()) ended();
        ge->accept(g);
        return true;
    }
    if (event->type() == QEvent::NativeGesture) {
        auto* ne = static_cast<QNativeGestureEvent*>(event);
        switch (ne->gestureType()) {
            case Qt::BeginNativeGesture:
                nativeMagnification = 1.0;
                return true;
            case Qt::ZoomNativeGesture:
                // Each step carries the change since the one before.
                nativeMagnification += ne->value();
                if (auto m = gate.change(nativeMagnification)) changed(*m);
                return true;
            case Qt::EndNativeGesture:
                if (gate.end()) ended();
                return true;
            default:
                return false;
        }
    }
    return false;
}
}  // namespace

// --- ImageTapButton ---

ImageTapButton::ImageTapButton(const QString& image, std::function<void()> action, QWidget* parent)
    : QWidget(parent), image_(image), action_(std::move(action)) {
    setObjectName(image);
    setFixedSize(32, 32);
    setCursor(Qt::PointingHandCursor);
}

void ImageTapButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, controlbar::namedImage(image_, size(), devicePixelRatioF()));
}

void ImageTapButton::mousePressEvent(QMouseEvent* e) { e->accept(); }

void ImageTapButton::mouseReleaseEvent(QMouseEvent* e) {
    e->accept();
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && action_) {
        auto action = action_;
        action();
    }
}

// --- BrowserPanelFrame ---

BrowserPanelFrame::BrowserPanelFrame(RootViewModel& model, const PanelFactories& factories, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("browserPanel"));
    BrowserPanelArgs args;
    args.pdfMode = globalPdfMode;
    args.lessonsMode = globalLessonsMode;
    args.opacityValue = 0.8;
    QPointer<BrowserPanelFrame> self(this);
    // Closing removes the panel; the browser's own call unwinds first.
    args.onClosed = [self] {
        QTimer::singleShot(0, [self] {
            if (self) self->model_.closeBrowser();
        });
    };
    browser_ = factories.browser(this, args);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(browser_);
}

void BrowserPanelFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QPen(Qt::white, 2));
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

void BrowserPanelFrame::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    drag_.press(e->globalPosition());
    e->accept();
}

void BrowserPanelFrame::mouseMoveEvent(QMouseEvent* e) {
    if (auto t = drag_.move(e->globalPosition())) {
        model_.browser.dragChanged(e->position(), *t);
        emit model_.changed();
    }
}

void BrowserPanelFrame::mouseReleaseEvent(QMouseEvent* e) {
    if (!drag_.pressed()) return;
    if (auto t = drag_.release(e->globalPosition())) {
        model_.browser.dragEnded(*t, model_.windowSize());
        emit model_.changed();
    }
}

// --- FloatingCameraWindow ---

FloatingCameraWindow::FloatingCameraWindow(Kind kind, RootViewModel& model, const PanelFactories& factories,
                                           QWidget* parent)
    : QWidget(parent), kind_(kind), model_(model) {
    setObjectName(kind == Kind::Pip ? QStringLiteral("pipWindow") : QStringLiteral("docCameraWindow"));
    const int pad = int(FloatingCameraBox::padding);
    setFixedSize(int(FloatingCameraBox::width) + 2 * pad, int(FloatingCameraBox::height) + 2 * pad);
    content_ = (kind == Kind::Pip ? factories.pipCamera : factories.docCamera)(this);
    content_->setGeometry(boxRect().adjusted(1, 1, -1, -1));
    // The close button's padded square shares the top-right corner of the padded box.
    const int closeSide = int(FloatingCameraBox::closeSize);
    auto* close = new ImageTapButton(QStringLiteral("close"), [this] {
        if (kind_ == Kind::Pip)
            model_.showPipCamera = !model_.showPipCamera;
        else
            model_.showDocCamera = !model_.showDocCamera;
        QTimer::singleShot(0, &model_, [m = &model_] { emit m->changed(); });
    }, this);
    close->move(width() - int(FloatingCameraBox::closePadding) - closeSide, int(FloatingCameraBox::closePadding));
}

QRect FloatingCameraWindow::boxRect() const {
    const int pad = int(FloatingCameraBox::padding);
    return {pad, pad, int(FloatingCameraBox::width), int(FloatingCameraBox::height)};
}

QPoint FloatingCameraWindow::placeFor(QPointF pipOffset) const {
    QPointF place = pipOffset;
    if (kind_ == Kind::DocCamera) place += FloatingCameraBox::docCameraDisplacement;
    return place.toPoint();
}

void FloatingCameraWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect box = boxRect();
    p.setPen(Qt::white);
    QFont title = font();
    title.setPointSizeF(title.pointSizeF() * 2.0);
    p.setFont(title);
    p.drawText(box, Qt::AlignCenter, QStringLiteral("Initializing ..."));
    p.fillRect(box, QColor(255, 255, 255, 13));
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
}

void FloatingCameraWindow::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !boxRect().contains(e->position().toPoint())) return QWidget::mousePressEvent(e);
    drag_.press(e->globalPosition());
    e->accept();
}

void FloatingCameraWindow::mouseMoveEvent(QMouseEvent* e) {
    if (auto t = drag_.move(e->globalPosition())) {
        model_.cameraWindows.dragChanged(*t);
        emit model_.changed();
    }
}

void FloatingCameraWindow::mouseReleaseEvent(QMouseEvent* e) {
    if (!drag_.pressed()) return;
    if (auto t = drag_.release(e->globalPosition())) {
        model_.cameraWindows.dragEnded(*t);
        emit model_.changed();
    }
}

// --- CameraArea ---

namespace {
template <typename T>
void retire(QPointer<T>& widget) {
    widget->hide();
    widget->deleteLater();
    widget = nullptr;
}
}  // namespace

CameraArea::CameraArea(RootViewModel& model, const PanelFactories& factories, std::function<bool()> cameraAvailable,
                       std::function<void(double)> setZoom, QWidget* parent)
    : QWidget(parent),
      model_(model),
      factories_(factories),
      cameraAvailable_(std::move(cameraAvailable)),
      setZoom_(std::move(setZoom)) {
    setObjectName(QStringLiteral("cameraArea"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    cameraView_ = factories_.cameraView(this);
    setLayer(cameraView_, Layer::CameraPicture);
    whiteboard_ = factories_.whiteboard(this);
    setLayer(whiteboard_, Layer::Whiteboard);
    grabGesture(Qt::PinchGesture);
    refresh();
}

void CameraArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    cameraView_->setGeometry(rect());
    whiteboard_->setGeometry(rect());
    emit panelsChanged();
}

void CameraArea::refresh() {
    // Back to front: camera, whiteboard, browser, picture-in-picture, document camera.
    if (model_.showBrowser && !browser_) {
        browser_ = new BrowserPanelFrame(model_, factories_, this);
        setLayer(browser_, Layer::Browser);
        browser_->show();
        model_.browserShown();
    } else if (!model_.showBrowser && browser_) {
        // The closed browser leaves the view at once and nothing here reaches it afterwards; it is
        // deleted once the event that closed it (perhaps one of its own) has unwound.
        retire(browser_);
    }
    if (browser_) browser_->setGeometry(QRectF(model_.browser.dragged, model_.browser.frame).toRect());

    auto sync = [&](QPointer<FloatingCameraWindow>& window, bool shown, FloatingCameraWindow::Kind kind) {
        if (shown && !window) {
            window = new FloatingCameraWindow(kind, model_, factories_, this);
            setLayer(window, kind == FloatingCameraWindow::Kind::Pip ? Layer::PipCamera : Layer::DocCamera);
            window->show();
        } else if (!shown && window) {
            retire(window);
        }
        if (window) window->move(window->placeFor(model_.cameraWindows.pipOffset));
    };
    sync(pip_, model_.showPipCamera, FloatingCameraWindow::Kind::Pip);
    sync(docCamera_, model_.showDocCamera, FloatingCameraWindow::Kind::DocCamera);
    restack(this);
    emit panelsChanged();
}

void CameraArea::pinch(double magnification) {
    if (auto zoom = model_.pinch.changed(magnification, currentZoomFactor, cameraAvailable_())) setZoom_(*zoom);
}

void CameraArea::pinchEnded() { model_.pinch.ended(); }

bool CameraArea::event(QEvent* event) {
    if (feedPinch(event, pinchGate_, nativeMagnification_, [this](double m) { pinch(m); }, [this] { pinchEnded(); }))
        return true;
    return QWidget::event(event);
}

void CameraArea::wheelEvent(QWheelEvent* e) {
    if (!isZoomWheel(e)) return QWidget::wheelEvent(e);
    pinch(CameraPinch::wheelMagnification(e->angleDelta().y()));
    pinchEnded();
    e->accept();
}

// --- MessageBanner ---

MessageBanner::MessageBanner(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("failureMessage"));
    setAttribute(Qt::WA_StyledBackground, false);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 10, 10, 10);
    row->setSpacing(12);
    label_ = new QLabel(this);
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    label_->setMaximumWidth(720);
    label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette p = label_->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    label_->setPalette(p);
    dismiss_ = new ImageTapButton(QStringLiteral("close"), [this] { hide(); }, this);
    dismiss_->setObjectName(QStringLiteral("dismissFailure"));
    dismiss_->setToolTip(QStringLiteral("Dismiss"));
    row->addWidget(label_, 1);
    row->addWidget(dismiss_, 0, Qt::AlignTop);
    hide();
}

void MessageBanner::showText(const QString& text) {
    label_->setText(text);
    adjustSize();
    show();
}

QString MessageBanner::text() const { return label_->text(); }

void MessageBanner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 140, 120), 1));
    p.setBrush(QColor(150, 28, 28, 235));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
}

// --- SideBySidePane ---

SideBySidePane::SideBySidePane(RootViewModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("sideBySide"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setMinimumWidth(120);
    grabGesture(Qt::PinchGesture);
    picker_ = new SharingsPicker(this);
    close_ = new ImageTapButton(QStringLiteral("close"), [this] { model_.closeSideBySide(); }, this);
    share_ = new ImageTapButton(QStringLiteral("share"), [this] {
        model_.showSharingPicker = true;
        emit model_.changed();
    }, this);
    spring_ = new QTimer(this);
    spring_->setInterval(8);
    connect(spring_, &QTimer::timeout, this, &SideBySidePane::springStep);
    clock_ = new QElapsedTimer;
    clock_->start();
    connect(this, &QObject::destroyed, [clock = clock_] { delete clock; });
    connect(picker_, &SharingsPicker::presentedChanged, this, [this](bool presented) {
        if (model_.showSharingPicker != presented) {
            model_.showSharingPicker = presented;
            emit model_.changed();
        }
    });
}

void SideBySidePane::refresh() {
    picker_->setSharingItems({model_.shareUrl});
    picker_->setPresented(model_.showSharingPicker);
    follow();
}

QRectF SideBySidePane::rectFor(QPointF offset, double scale) const {
    const QImage& image = model_.sideBySideImage;
    if (image.isNull()) return {};
    QSizeF fitted = QSizeF(image.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
    QRectF r(QPointF(0, 0), fitted);
    r.moveCenter(QRectF(rect()).center() + offset);
    const QPointF c = r.center();
    return QRectF(c.x() - r.width() * scale / 2, c.y() - r.height() * scale / 2, r.width() * scale, r.height() * scale);
}

QRectF SideBySidePane::pictureRect() const { return rectFor(model_.picture.viewState, model_.picture.scale); }
QRectF SideBySidePane::shownPictureRect() const { return rectFor(shownOffset_, shownScale_); }
bool SideBySidePane::isAnimating() const { return spring_->isActive() || tap_; }

void SideBySidePane::follow() {
    // The scale follows at once (outside the spring); the displacement springs to its new place.
    if (tap_) return update();
    shownScale_ = model_.picture.scale;
    if (shownOffset_ != model_.picture.viewState && !spring_->isActive()) {
        lastStepMs_ = clock_->elapsed();
        spring_->start();
    }
    update();
}

void SideBySidePane::springStep() {
    // A damped spring: its period is the response, its damping the fraction of critical damping.
    const double omega = 2 * M_PI / springResponse;
    const QPointF target = model_.picture.viewState;
    const qint64 now = clock_->elapsed();
    double dt = std::min<qint64>(now - lastStepMs_, 100) / 1000.0;
    lastStepMs_ = now;
    while (dt > 0) {
        const double h = std::min(dt, 0.002);
        const QPointF accel = -omega * omega * (shownOffset_ - target) - 2 * springDampingFraction * omega * velocity_;
        velocity_ += accel * h;
        shownOffset_ += velocity_ * h;
        dt -= h;
    }
    if (QLineF(shownOffset_, target).length() < 0.25 && QLineF(QPointF(), velocity_).length() < 1.0) {
        shownOffset_ = target;
        velocity_ = {};
        spring_->stop();
    }
    update();
}

void SideBySidePane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!model_.sideBySideImage.isNull()) p.drawImage(shownPictureRect(), model_.sideBySideImage);
}

void SideBySidePane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Right edges 65 and 15 inside the pane's right edge, 15 below its top.
    close_->move(width() - 65 - close_->width(), 15);
    share_->move(width() - 15 - share_->width(), 15);
    picker_->move(share_->x(), share_->y() + share_->height());
    close_->raise();
    share_->raise();
}

void SideBySidePane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    model_.sideBySideShown();
}

void SideBySidePane::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    drag_.press(e->globalPosition());
    e->accept();
}

void SideBySidePane::mouseMoveEvent(QMouseEvent* e) {
    if (auto t = drag_.move(e->globalPosition())) {
        model_.picture.dragChanged(*t);
        follow();
    }
}

void SideBySidePane::mouseReleaseEvent(QMouseEvent* e) {
    if (!drag_.pressed()) return;
    if (auto t = drag_.release(e->globalPosition())) {
        model_.picture.dragChanged(*t);
        follow();
    }
}

void SideBySidePane::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    // Zoom and return eased in over half a second, from where the picture is drawn now.
    const QPointF fromOffset = shownOffset_;
    const double fromScale = shownScale_;
    model_.picture.doubleTap();
    spring_->stop();
    velocity_ = {};
    if (tap_) tap_->stop();
    auto* animation = new QVariantAnimation(this);
    tap_ = animation;
    animation->setDuration(doubleTapMs);
    animation->setEasingCurve(QEasingCurve::InQuad);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    connect(animation, &QVariantAnimation::valueChanged, this, [this, fromOffset, fromScale](const QVariant& v) {
        const double t = v.toDouble();
        shownOffset_ = fromOffset + (model_.picture.viewState - fromOffset) * t;
        shownScale_ = fromScale + (model_.picture.scale - fromScale) * t;
        update();
    });
    connect(animation, &QVariantAnimation::finished, this, [this] {
        shownOffset_ = model_.picture.viewState;
        shownScale_ = model_.picture.scale;
        update();
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void SideBySidePane::wheelEvent(QWheelEvent* e) {
    if (!isZoomWheel(e)) return QWidget::wheelEvent(e);
    model_.picture.pinchChanged(CameraPinch::wheelMagnification(e->angleDelta().y()));
    model_.picture.pinchEnded();
    follow();
    e->accept();
}

bool SideBySidePane::event(QEvent* event) {
    const bool pinched = feedPinch(
        event, pinchGate_, nativeMagnification_,
        [this](double m) {
            model_.picture.pinchChanged(m);
            follow();
        },
        [this] { model_.picture.pinchEnded(); });
    return pinched || QWidget::event(event);
}

}  // namespace qv::app
