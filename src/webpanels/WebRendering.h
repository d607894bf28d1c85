#pragma once
// How the web views reach the screen; call before the QApplication exists.
//
// A web view is a Qt Quick item inside a widget. With an OpenGL scene graph, the whole top-level
// window is then composed through OpenGL: every repaint of any widget in it (a camera frame 30
// times a second) copies the full backing store and uploads it as a texture, on the main thread,
// and where the machine has no GPU Mesa draws it all again in software. With the software scene
// graph the window stays a plain raster backing store: a camera frame repaints only the camera's
// rectangle, the page is drawn from its last picture (re-rendered only when the page changes),
// and the web engine paints with its software compositor, which also starts much sooner than a
// GPU process on a software OpenGL. QT_QUICK_BACKEND, when set, still chooses.
#include <QCoreApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>

namespace qv::webpanels {

inline void prepareWebRendering() {
    // The web engine wants shared GL contexts before the application exists, whatever it draws with.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

}  // namespace qv::webpanels
