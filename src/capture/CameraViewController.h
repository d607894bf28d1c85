#pragma once
// Owns the main camera's controller, publishes it and itself in `sharedCameraController` and
// `sharedCameraViewController`, and hosts the preview view, kept as large as the area it is given.
#include <QObject>
#include <QPointer>
#include <QSizeF>

#include <memory>

#include "capture/core/DeviceProvider.h"

class QWidget;

namespace qv::capture {

class CameraController;
class CameraPreviewView;

class CameraViewController : public QObject {
    Q_OBJECT
public:
    // `provider`: where discovery finds devices (by default as the environment selects).
    explicit CameraViewController(std::unique_ptr<DeviceProvider> provider = nullptr, QObject* parent = nullptr);
    ~CameraViewController() override;

    CameraController* cameraController() const { return cameraController_; }
    CameraPreviewView* previewView() const { return previewView_; }
    // The root view (created by loadView, owned by whoever places it).
    QWidget* view();

    // Publishes, creates the preview view and prepares the camera.
    void viewDidLoad();
    // The size of the area the camera view gives (swapped while turned a quarter turn); the
    // preview follows it.
    void setRootSize(const QSizeF& size);
    QSizeF rootSize() const { return rootSize_; }
    void frameDidChange();

private:
    void loadView();

    CameraController* cameraController_;
    QPointer<QWidget> view_;
    QPointer<CameraPreviewView> previewView_;
    QSizeF rootSize_;
};

}  // namespace qv::capture
