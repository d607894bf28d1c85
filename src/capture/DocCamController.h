#pragma once
// The document camera: a second camera whose frames go to the whiteboard. Every frame replaces
// the app-wide latest document-camera frame (app::setDocCamSampleBuffer); the whiteboard page
// shows it in its picture window -100, asking for the frame through the script bridge, which
// answers with docCamFrameDataURL().
//
// DocCamViewController is the (empty, 320 x 240) content of the document-camera panel: it
// chooses the camera (the one chosen for the document camera, else the second camera of the
// list), creates and prepares the DocCamController when it is made, and stops the session when
// it is hidden or goes.
#include <QWidget>

#include <functional>

#include "capture/SecondCamera.h"

namespace qv::capture {

// The whiteboard's picture-window number of the live document-camera picture.
inline constexpr int docCamWindowNumber = -100;

class DocCamController : public SecondCamera {
    Q_OBJECT
public:
    explicit DocCamController(std::optional<VemoCamera> vemoCamera, QObject* parent = nullptr);
    ~DocCamController() override;

    // Starts the preparation and at once asks the whiteboard page for the picture window.
    void prepare(Completion completion);

    // How a script reaches the whiteboard page: installed by the web panels. Without one the
    // request for the picture window is skipped.
    using ScriptRunner = std::function<void(const QString& script)>;
    static void setWhiteboardScriptRunner(ScriptRunner runner);

protected:
    // The 1280-wide format of the maker's cameras, at most 33 frames per second.
    void chooseFormat(const VemoCamera& camera, DeviceFormatRef& format,
                      std::optional<FrameDuration>& minFrameDuration) const override;
    void frameArrived(const std::shared_ptr<const QImage>& frame) override;
};

// The latest document-camera frame as "data:image/jpeg;base64,..." (JPEG, no line breaks), or
// an empty text while there is none.
QString docCamFrameDataURL();

class DocCamViewController : public QWidget {
    Q_OBJECT
public:
    explicit DocCamViewController(QWidget* parent = nullptr);
    ~DocCamViewController() override;

    DocCamController* docCamController() const { return docCamController_.get(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::unique_ptr<DocCamController> docCamController_;
    QWidget* previewView_ = nullptr;
};

}  // namespace qv::capture
