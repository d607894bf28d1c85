#pragma once
#include <QRect>
#include <QWidget>

class QSettings;

namespace qv::app {

// The one main window. Its normal frame (the one it has when not full screen) is kept in the
// settings under the window's name and restored when the name is set; closing it ends the program.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow(QWidget* contentView, QSettings* settings, const QString& frameName);
    void setFrameAutosaveName(const QString& name);

    // The frame the window has, or returns to, out of full screen.
    QRect normalFrame() const { return normalFrame_; }
    void setNormalFrame(const QRect& frame);

    // Before the window is first shown: it opens full screen (the window manager maps it full
    // screen at once, with the normal frame to return to).
    void openFullScreen();

    // Writes the normal frame into the settings; false when it could not be written.
    bool saveFrame();

    // Closing the window ends the program when this is set (the program's window, not a test's).
    void setQuitOnClose(bool quit) { quitOnClose_ = quit; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void rememberNormalFrame();
    void coverScreenWithoutWindowManager();

    QSettings* settings_;
    QString frameName_;
    QRect normalFrame_;
    bool quitOnClose_ = true;
};

}  // namespace qv::app
