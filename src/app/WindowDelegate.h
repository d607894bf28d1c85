#pragma once
#include <QObject>

namespace qv::app {

// Watches the main window: when it leaves full screen, nudges the window one point to the right
// (without repainting) and back, so that its contents are laid out again for the window size.
class WindowDelegate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void windowDidExitFullScreen();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace qv::app
