#include "app/ContentView.h"

#include <QVBoxLayout>

#include "app/Settings.h"
#include "app/rootview/RootView.h"
#include "controlbar/ControlBarView.h"

namespace qv::app {

ContentView::ContentView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 200);
    RootView::Camera camera;
    camera.controlBar = []() -> controlbar::CameraPort* { return nullptr; };
    camera.available = [] { return false; };
    camera.setZoom = [](double) {};
    rootView_ = new RootView(PanelFactories::placeholders(), std::move(camera), this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(rootView_);

    // The offline mode is kept between launches under "bookmark_offline".
    rootView_->controlBar()->model().setOfflineModeStore([](bool offline) {
        auto settings = openUserSettings();
        settings->setValue(QStringLiteral("bookmark_offline"), offline);
        settings->sync();
    });
}

}  // namespace qv::app
