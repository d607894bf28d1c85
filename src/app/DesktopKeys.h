#pragma once
// The desktop's own keys for the main window, whatever has the focus (the whiteboard page
// included): Ctrl+Q quits as closing the window does, F11 turns full screen on and off as the
// View Option's "Full Screen" entry does, and Esc leaves full screen. Esc stays with a text field
// being edited (one of ours or one in a web page), and with a popover or dialog that has the
// keyboard. Main thread only.
#include <QObject>
#include <QPointer>

class QKeyEvent;
class QWidget;

namespace qv::app {

class DesktopKeys : public QObject {
    Q_OBJECT
public:
    // Watches every key of the application for `window`'s sake.
    explicit DesktopKeys(QWidget* window);
    ~DesktopKeys() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool escape(QObject* target, QKeyEvent* key);

    QPointer<QWidget> window_;
    bool passing_ = false;  // an Esc handed back to the page that had it
};

}  // namespace qv::app
