#pragma once
// A popover of the control bar: a small grey row (or column) of further controls in a popup frame
// beside its button. A click outside closes it.
#include <QFrame>

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
    // Shows the popover above `anchor`, centred on it (kept on the anchor's screen).
    void popUp(QWidget* anchor);

signals:
    void closed();

protected:
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setContent(const std::vector<QWidget*>& widgets, bool vertical, Qt::Alignment alignment);

    QBoxLayout* row_;
};

}  // namespace qv::controlbar
