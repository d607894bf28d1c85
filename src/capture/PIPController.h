#pragma once
// The picture-in-picture camera: a second camera shown in the small floating panel.
//
// PIPViewController is the panel's content: it chooses the camera (the one chosen for the
// panel, else the second camera of the list), creates the PIPController when it is made, keeps
// the preview as large as its own area (320 x 240 at first), and stops the session when it is
// hidden or goes. Each showing of the panel makes a new one.
#include <QWidget>

#include "capture/SecondCamera.h"

namespace qv::capture {

class PIPController : public SecondCamera {
    Q_OBJECT
public:
    explicit PIPController(std::optional<VemoCamera> camera, QObject* parent = nullptr);
    ~PIPController() override;

    // Paints the camera's frames on `view`, fitted with their aspect ratio kept. Throws
    // captureSessionIsMissing unless the session runs.
    void displayPreview(QWidget* view);
};

// Paints the latest frame of a second camera fitted into the widget.
class SecondCameraPreview : public QWidget {
    Q_OBJECT
public:
    explicit SecondCameraPreview(QWidget* parent = nullptr);
    void setCamera(SecondCamera* camera);
    std::uint64_t framesPainted() const { return framesPainted_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<SecondCamera> camera_;
    qint64 lastFrame_ = 0;  // the cache key of the last frame painted
    std::uint64_t framesPainted_ = 0;
};

class PIPViewController : public QWidget {
    Q_OBJECT
public:
    explicit PIPViewController(QWidget* parent = nullptr);
    ~PIPViewController() override;

    PIPController* pipController() const { return pipController_.get(); }
    SecondCameraPreview* previewView() const { return previewView_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::unique_ptr<PIPController> pipController_;
    SecondCameraPreview* previewView_ = nullptr;
};

}  // namespace qv::capture
