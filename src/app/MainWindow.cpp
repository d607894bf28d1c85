#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QSettings>
#include <QVBoxLayout>

namespace qv::app {

namespace {
QString frameKey(const QString& name) { return QStringLiteral("window_frame ") + name; }
}  // namespace

MainWindow::MainWindow(QWidget* contentView, QSettings* settings, const QString& frameName)
    : settings_(settings), frameName_(frameName) {
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(contentView);
}

void MainWindow::setFrameAutosaveName(const QString& name) {
    frameName_ = name;
    if (!settings_) return;
    const QByteArray saved = QByteArray::fromBase64(settings_->value(frameKey(name)).toString().toLatin1());
    if (!saved.isEmpty()) restoreGeometry(saved);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (settings_ && !frameName_.isEmpty()) {
        settings_->setValue(frameKey(frameName_), QString::fromLatin1(saveGeometry().toBase64()));
        settings_->sync();
    }
    event->accept();
    // Closing the main window ends the program, open panels or not.
    QApplication::quit();
}

}  // namespace qv::app
