#pragma once
#include <QWidget>

namespace qv::app {

class RootView;

// The root view of the main window: it composes the camera picture and every panel over it.
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(QWidget* parent = nullptr);

    RootView* rootView() const { return rootView_; }

private:
    RootView* rootView_;
};

}  // namespace qv::app
