#pragma once
#include <QWidget>

class QSettings;

namespace qv::app {

class RootView;

// The root view of the main window: it composes the camera picture and every panel over it.
class ContentView : public QWidget {
    Q_OBJECT
public:
    // The control bar keeps the offline mode in the program's user settings.
    explicit ContentView(QWidget* parent = nullptr);
    // ... or in the given settings (the application delegate's own), which must outlive the view.
    explicit ContentView(QSettings* settings, QWidget* parent = nullptr);

    RootView* rootView() const { return rootView_; }

private:
    RootView* rootView_;
};

}  // namespace qv::app
