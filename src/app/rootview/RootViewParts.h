#pragma once
// The pieces of the root view: the camera area with its floating panels, the side-by-side pane.
#include <QPointer>
#include <QWidget>

#include "app/rootview/PanelFactories.h"
#include "app/rootview/PanelRules.h"
#include "app/rootview/RootViewModel.h"

class QElapsedTimer;
class QLabel;
class QTimer;
class QVariantAnimation;

namespace qv::app {

class SharingsPicker;

// A 32 x 32 named image that runs an action on a click.
class ImageTapButton : public QWidget {
    Q_OBJECT
public:
    ImageTapButton(const QString& image, std::function<void()> action, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString image_;
    std::function<void()> action_;
};

// The browser panel: the browser inside a white 2-pixel border, moved by a drag and resized from
// its bottom-right corner.
class BrowserPanelFrame : public QWidget {
    Q_OBJECT
public:
    BrowserPanelFrame(RootViewModel& model, const PanelFactories& factories, QWidget* parent);
    QWidget* browser() const { return browser_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    RootViewModel& model_;
    QWidget* browser_;
    DragGate drag_;
};

// The picture-in-picture or document-camera window: a 320 x 180 box with a close button, dragged
// by its box; both windows share one displacement.
class FloatingCameraWindow : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Pip, DocCamera };
    FloatingCameraWindow(Kind kind, RootViewModel& model, const PanelFactories& factories, QWidget* parent);
    Kind kind() const { return kind_; }
    QPoint placeFor(QPointF pipOffset) const;
    QRect boxRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Kind kind_;
    RootViewModel& model_;
    QWidget* content_;
    DragGate drag_;
};

// The camera area: the camera picture, the whiteboard over it, and the browser panel and the two
// camera windows above that. A pinch (or Ctrl + wheel) zooms the main camera.
class CameraArea : public QWidget {
    Q_OBJECT
public:
    CameraArea(RootViewModel& model, const PanelFactories& factories, std::function<bool()> cameraAvailable,
               std::function<void(double)> setZoom, QWidget* parent);

    void refresh();
    QWidget* cameraView() const { return cameraView_; }
    QWidget* whiteboard() const { return whiteboard_; }
    BrowserPanelFrame* browserPanel() const { return browser_; }
    FloatingCameraWindow* pipWindow() const { return pip_; }
    FloatingCameraWindow* docCameraWindow() const { return docCamera_; }
    // One step of a pinch with magnification m since it began; `ended` closes it.
    void pinch(double magnification);
    void pinchEnded();

signals:
    // A floating panel opened, closed or moved.
    void panelsChanged();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    RootViewModel& model_;
    const PanelFactories& factories_;
    std::function<bool()> cameraAvailable_;
    std::function<void(double)> setZoom_;
    QWidget* cameraView_;
    QWidget* whiteboard_;
    QPointer<BrowserPanelFrame> browser_;
    QPointer<FloatingCameraWindow> pip_;
    QPointer<FloatingCameraWindow> docCamera_;
    PinchGate pinchGate_;
    double nativeMagnification_ = 1.0;
};

// A failure shown to the teacher: what failed and where, with a button that dismisses it. It stays
// until dismissed or replaced by the next one.
class MessageBanner : public QWidget {
    Q_OBJECT
public:
    explicit MessageBanner(QWidget* parent);
    void showText(const QString& text);
    QString text() const;
    QWidget* dismissButton() const { return dismiss_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* label_;
    QWidget* dismiss_;
};

// The side-by-side pane: one captured picture to pan, pinch and double-tap, with a close button
// and a share button.
class SideBySidePane : public QWidget {
    Q_OBJECT
public:
    explicit SideBySidePane(RootViewModel& model, QWidget* parent);

    QWidget* closeButton() const { return close_; }
    QWidget* shareButton() const { return share_; }
    SharingsPicker* sharingsPicker() const { return picker_; }
    // Where the picture settles (fitted, displaced, scaled), and where it is drawn now: a new
    // displacement is reached with a spring, a double tap's zoom and return eased in.
    QRectF pictureRect() const;
    QRectF shownPictureRect() const;
    bool isAnimating() const;
    void refresh();

    // The spring of the displacement and the double tap's animation.
    static constexpr double springResponse = 0.55;
    static constexpr double springDampingFraction = 0.825;
    static constexpr int doubleTapMs = 500;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    RootViewModel& model_;
    ImageTapButton* close_;
    ImageTapButton* share_;
    SharingsPicker* picker_;
    DragGate drag_;
    PinchGate pinchGate_;
    double nativeMagnification_ = 1.0;

    QRectF rectFor(QPointF offset, double scale) const;
    void follow();
    void springStep();
    QPointF shownOffset_;
    QPointF velocity_;
    double shownScale_ = 1.0;
    QTimer* spring_;
    qint64 lastStepMs_ = 0;
    QElapsedTimer* clock_;
    QPointer<QVariantAnimation> tap_;
};

}  // namespace qv::app
