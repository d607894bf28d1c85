#pragma once
// A popover of the control bar: a small grey row of further buttons in a popup frame beside its
// button. A click outside closes it.
#include <QFrame>

#include <functional>

class QHBoxLayout;

namespace qv::controlbar {

class Popover : public QFrame {
    Q_OBJECT
public:
    explicit Popover(const QString& name, QWidget* parent = nullptr);

    // The row between the two spacers; its old content is removed first.
    void setRow(const std::vector<QWidget*>& widgets);
    // Shows the popover above `anchor`, centred on it (kept on the anchor's screen).
    void popUp(QWidget* anchor);

signals:
    void closed();

protected:
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QHBoxLayout* row_;
};

}  // namespace qv::controlbar
