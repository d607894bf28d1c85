#pragma once
#include <QWidget>

class QSettings;

namespace qv::app {

// The one main window. Its frame is kept in the settings under the window's name and restored
// when the window is made; closing it ends the program.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow(QWidget* contentView, QSettings* settings, const QString& frameName);
    void setFrameAutosaveName(const QString& name);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QSettings* settings_;
    QString frameName_;
};

}  // namespace qv::app
