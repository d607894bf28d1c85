#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStringList>
#include <QVBoxLayout>
#include <QWindow>
#include <QWindowStateChangeEvent>

#include "app/Settings.h"
#include "app/WindowManagerCheck.h"

namespace qv::app {

namespace {
QString frameKey(const QString& name) { return QStringLiteral("window_frame ") + name; }

// "x y width height"; anything else (also the frames of earlier versions) reads as none.
std::optional<QRect> parseFrame(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    const QStringList parts = value.toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 4) return std::nullopt;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].toInt(&ok);
        if (!ok) return std::nullopt;
    }
    if (v[2] <= 0 || v[3] <= 0) return std::nullopt;
    return QRect(v[0], v[1], v[2], v[3]);
}

// A frame that fits on one of the screens (moved and shrunk onto the nearest one if needed).
QRect onScreen(QRect frame) {
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return frame;
    const QRect area = screen->availableGeometry();
    frame.setWidth(std::min(frame.width(), area.width()));
    frame.setHeight(std::min(frame.height(), area.height()));
    if (frame.right() > area.right()) frame.moveRight(area.right());
    if (frame.bottom() > area.bottom()) frame.moveBottom(area.bottom());
    if (frame.left() < area.left()) frame.moveLeft(area.left());
    if (frame.top() < area.top()) frame.moveTop(area.top());
    return frame;
}

bool coversScreen(const QWidget* w) {
    const QScreen* screen = w->screen();
    return screen && w->geometry() == screen->geometry();
}
}  // namespace

MainWindow::MainWindow(QWidget* contentView, QSettings* settings, const QString& frameName)
    : settings_(settings), frameName_(frameName) {
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(contentView);
}

void MainWindow::setNormalFrame(const QRect& frame) {
    normalFrame_ = onScreen(frame);
    if (!(windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized))) setGeometry(normalFrame_);
}

void MainWindow::setFrameAutosaveName(const QString& name) {
    frameName_ = name;
    if (!settings_) return;
    if (auto saved = parseFrame(settings_->value(frameKey(name)))) setNormalFrame(*saved);
}

void MainWindow::openFullScreen() {
    rememberNormalFrame();
    setWindowState(windowState() | Qt::WindowFullScreen);
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    const auto old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
    if (!(old & Qt::WindowFullScreen) && (windowState() & Qt::WindowFullScreen)) {
        // Once the native window has taken the new state (this event comes before it does).
        QMetaObject::invokeMethod(this, &MainWindow::coverScreenWithoutWindowManager, Qt::QueuedConnection);
        return;
    }
    // Out of full screen (by the View Option, a key or the window manager): back to the normal
    // frame, whatever size the window manager leaves the window at for now.
    if ((old & Qt::WindowFullScreen) && !(windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized)) &&
        !normalFrame_.isEmpty())
        setGeometry(normalFrame_);
}

void MainWindow::coverScreenWithoutWindowManager() {
    // Nobody carries the full-screen state out on a bare X server: the window covers its screen
    // itself. Through the native window, since the widget's own geometry calls would drop the state.
    QWindow* native = windowHandle();
    if (!native || !(windowState() & Qt::WindowFullScreen) || windowManagerFillsScreens()) return;
    if (const QScreen* s = screen()) native->setGeometry(s->geometry());
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    coverScreenWithoutWindowManager();
}

void MainWindow::rememberNormalFrame() {
    // Only a frame the window has in its normal state, never the screen-sized one it passes
    // through on the way into or out of full screen.
    if (windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized | Qt::WindowMinimized)) return;
    if (isVisible() && coversScreen(this)) return;
    normalFrame_ = geometry();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (isVisible()) rememberNormalFrame();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible()) rememberNormalFrame();
}

bool MainWindow::saveFrame() {
    if (!settings_ || frameName_.isEmpty() || normalFrame_.isEmpty()) return true;
    const QRect f = normalFrame_;
    settings_->setValue(frameKey(frameName_),
                        QStringLiteral("%1 %2 %3 %4").arg(f.x()).arg(f.y()).arg(f.width()).arg(f.height()));
    return syncSettings(*settings_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    saveFrame();
    event->accept();
    // Closing the main window ends the program, open panels or not.
    if (quitOnClose_) QApplication::quit();
}

}  // namespace qv::app
