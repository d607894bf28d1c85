#pragma once
// The browser's named images (the drawings in the resources' "icons" folder), and a button that
// shows one, stretched to its size inside a margin.
#include <QAbstractButton>
#include <QPixmap>

namespace qv::webpanels {

// The image "icons/<name>.svg" among the resources at `size` (transparent when it is missing).
QPixmap browserImage(const QString& name, QSize size, qreal devicePixelRatio = 1.0);

class BrowserImageButton : public QAbstractButton {
    Q_OBJECT
public:
    BrowserImageButton(const QString& image, int side, int margin, QWidget* parent = nullptr);
    QString image() const { return image_; }
    void setImage(const QString& image);
    // Drawn at this opacity (the arrows while there is nowhere to go); still clickable.
    void setImageOpacity(double opacity);
    double imageOpacity() const { return opacity_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString image_;
    int side_;
    int margin_;
    double opacity_ = 1.0;
};

}  // namespace qv::webpanels
