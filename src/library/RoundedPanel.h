#pragma once
// The look of the media library's side panels: a background with rounded corners of radius 10,
// white text.
#include <QColor>
#include <QWidget>

namespace qv::library {

class RoundedPanel : public QWidget {
public:
    explicit RoundedPanel(QColor background = Qt::gray, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor background_;
};

}  // namespace qv::library
