#pragma once
// The composition of the main window: the camera area (camera picture, whiteboard and the
// floating panels over it) with the side-by-side pane beside it, the archive list, the file
// library (Wendle edition) and the control bar over both, and the centred panels on top.
#include <QPointer>
#include <QWidget>

#include "app/rootview/PanelFactories.h"
#include "app/rootview/RootViewModel.h"
#include "controlbar/ControlBarModel.h"

class QSplitter;

namespace qv::controlbar {
class ControlBarView;
}

namespace qv::app {

class CameraArea;
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

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void layoutOverlays();
    void openSideBySide();
    void syncCentredPanel(QPointer<QWidget>& panel, bool shown, const PanelFactories::Make& make, QSize fixed);

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
};

}  // namespace qv::app
