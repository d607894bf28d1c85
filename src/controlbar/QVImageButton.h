#pragma once
// The icon-over-label button of the control bar and its popovers: a cell of at least 64 x 64
// whose label takes "hover_color" while the pointer is over it, and which runs its action on a
// single click anywhere in the cell.
#include <QColor>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;

namespace qv::controlbar {

class QVImageButton : public QWidget {
    Q_OBJECT
public:
    using Action = std::function<void()>;

    // `tooltip` is kept with the button and never shown. Without `color` the icon keeps its own
    // colours and the label the default text colour; with it the icon is drawn in that colour.
    QVImageButton(const QString& icon, const QString& text, const QString& tooltip,
                  std::optional<QColor> color = std::nullopt, Action action = {}, QWidget* parent = nullptr);

    const QString& icon() const { return icon_; }
    const QString& text() const { return text_; }
    const QString& tooltip() const { return tooltip_; }
    const std::optional<QColor>& color() const { return color_; }
    bool hovered() const { return hovered_; }
    // Hovered exactly when the pointer lies over the button now (after the bar was rebuilt).
    void syncHoverWithPointer();
    // The label's colour now (hover_color under the pointer, else the button's colour, or an
    // invalid colour for the default text colour).
    QColor labelColor() const;
    // The icon's size on screen: at most 32 x 32, keeping the image's aspect ratio.
    QSize iconSize() const;

    static constexpr int button_width = 64;
    static constexpr int button_height = 64;
    static constexpr int icon_width = 32;
    static constexpr int icon_height = 32;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setHovered(bool hovered);
    void refreshLabel();
    void refreshIcon();

    QString icon_;
    QString text_;
    QString tooltip_;
    std::optional<QColor> color_;
    Action action_;
    bool hovered_ = false;
    bool pressedInside_ = false;
    QLabel* iconLabel_;
    QLabel* textLabel_;
};

}  // namespace qv::controlbar
