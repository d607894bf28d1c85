#pragma once
// The composition of the main window: the camera area (camera picture, whiteboard and the
// floating panels over it) with the side-by-side pane beside it, the archive list, the file
// library (Wendle edition) and the control bar over both, and the centred panels on top.
#include <QPointer>
#include <QWidget>

#include "app/rootview/Layering.h"
#include "app/rootview/PanelFactories.h"
#include "app/rootview/RootViewModel.h"
#include "controlbar/ControlBarModel.h"

class QSplitter;

namespace qv::controlbar {
class ControlBarView;
}

namespace qv::app {

class CameraArea;
class MessageBanner;
class SideBySidePane;

class RootView : public QWidget {
    Q_OBJECT
public:
    struct Camera {
        // The control bar's way to the main camera.
        controlbar::ControlBarModel::CameraProvider controlBar;
        // Whether the main camera exists now, and how to ask it for a zoom factor.
        std::function<bool()> available;
        std::function<void(double factor)> setZoom;
    };

    RootView(PanelFactories factories, Camera camera, QWidget* parent = nullptr);
    ~RootView() override;

    RootViewModel& model() { return *model_; }
    controlbar::ControlBarView* controlBar() const { return controlBar_; }
    CameraArea* cameraArea() const { return cameraArea_; }
    SideBySidePane* sideBySidePane() const { return sideBySide_; }
    QSplitter* splitter() const { return splitter_; }
    QWidget* archiveList() const { return archiveList_; }
    QWidget* fileLibrary() const { return fileLibrary_; }
    QWidget* tunnelList() const { return tunnelList_; }
    QWidget* gifGenerator() const { return gifGenerator_; }
    QWidget* kestrixConfig() const { return kestrixConfig_; }
    // The failure shown in the window now (null when none is).
    MessageBanner* message() const;
    // The part of the whiteboard the layers above it cover, as last given to the page.
    QRegion whiteboardCover() const { return whiteboardCover_; }

    // Shows the teacher what failed and where, over everything, until it is dismissed.
    void showMessage(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    void layoutOverlays();
    void openSideBySide();
    void syncCentredPanel(QPointer<QWidget>& panel, bool shown, const PanelFactories::Make& make, QSize fixed,
                          Layer layer);
    void coverWhiteboard();

    PanelFactories factories_;
    RootViewModel* model_;
    QSplitter* splitter_;
    SideBySidePane* sideBySide_;
    CameraArea* cameraArea_;
    QWidget* archiveList_;
    QWidget* fileLibrary_ = nullptr;
    controlbar::ControlBarView* controlBar_;
    QPointer<QWidget> tunnelList_;
    QPointer<QWidget> gifGenerator_;
    QPointer<QWidget> kestrixConfig_;
    QPointer<MessageBanner> message_;
    QRegion whiteboardCover_;
    bool coverPending_ = false;
};

}  // namespace qv::app
