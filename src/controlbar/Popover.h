#pragma once
// A popover of the control bar: a small grey row (or column) of further controls in a popup frame
// above its button. A click outside closes it. It stays above its button whatever its content:
// when the content changes while it is shown, it is placed anew.
#include <QFrame>
#include <QMargins>
#include <QPointer>

#include <functional>

class QBoxLayout;

namespace qv::controlbar {

class Popover : public QFrame {
    Q_OBJECT
public:
    explicit Popover(const QString& name, QWidget* parent = nullptr);

    // The row between the two spacers; its old content is removed first.
    void setRow(const std::vector<QWidget*>& widgets);
    // A column between two spacers, each widget centred (or aligned to the leading edge).
    void setColumn(const std::vector<QWidget*>& widgets, Qt::Alignment alignment = Qt::AlignHCenter);
    // Room around the content: 8 left and right, 5 above and below unless set otherwise.
    void setPadding(const QMargins& padding);
    // Shows the popover above `anchor`, centred on it (kept on the anchor's screen).
    void popUp(QWidget* anchor);

signals:
    void closed();

protected:
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setContent(const std::vector<QWidget*>& widgets, bool vertical, Qt::Alignment alignment);
    void placeAboveAnchor();

    QBoxLayout* row_;
    QPointer<QWidget> anchor_;
};

}  // namespace qv::controlbar
