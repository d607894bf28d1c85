#pragma once
#include <QWidget>

namespace qv::app {

// The root view of the main window: it composes the camera picture and every panel over it.
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(QWidget* parent = nullptr);
};

}  // namespace qv::app
