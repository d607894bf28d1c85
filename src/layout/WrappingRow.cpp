#include "layout/WrappingRow.h"

#include <QSpacerItem>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace qv::layout {

WrappingRow::WrappingRow(QWidget* parent, LaneAlignment alignment, Spacing spacing, double lineSpacing)
    : QLayout(parent), alignment_(alignment), spacing_(spacing), lineSpacing_(lineSpacing) {
    setContentsMargins(0, 0, 0, 0);
}

WrappingRow::~WrappingRow() { clear(); }

void WrappingRow::addNewLine() {
    entries_.append({new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Fixed), true});
    invalidate();
}

void WrappingRow::clear() {
    while (QLayoutItem* item = takeAt(0)) {
        if (QWidget* w = item->widget()) w->deleteLater();
        delete item;
    }
}

void WrappingRow::addItem(QLayoutItem* item) {
    entries_.append({item, false});
    invalidate();
}

QLayoutItem* WrappingRow::itemAt(int index) const {
    return index >= 0 && index < entries_.size() ? entries_[index].item : nullptr;
}

QLayoutItem* WrappingRow::takeAt(int index) {
    if (index < 0 || index >= entries_.size()) return nullptr;
    QLayoutItem* item = entries_.takeAt(index).item;
    invalidate();
    return item;
}

int WrappingRow::count() const { return static_cast<int>(entries_.size()); }

Qt::Orientations WrappingRow::expandingDirections() const { return {}; }

bool WrappingRow::hasHeightForWidth() const { return true; }

int WrappingRow::heightForWidth(int width) const { return doLayout(QRect(0, 0, width, 0), false); }

QSize WrappingRow::sizeHint() const {
    // Ideally everything in one lane.
    std::vector<int> indices;
    const std::vector<LaneChild> content = measure(&indices);
    double w = 0;
    for (std::size_t i = 0; i < content.size(); ++i) w += content[i].width + (i ? spacing_.s : 0);
    const QMargins m = contentsMargins();
    const int width = static_cast<int>(std::ceil(w)) + m.left() + m.right();
    return {width, heightForWidth(width)};
}

QSize WrappingRow::minimumSize() const {
    int widest = 0;
    for (const Entry& e : entries_)
        if (!e.newLine && !e.item->isEmpty()) widest = std::max(widest, e.item->sizeHint().width());
    const QMargins m = contentsMargins();
    return {widest + m.left() + m.right(), 0};
}

void WrappingRow::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    doLayout(rect, true);
}

std::vector<LaneChild> WrappingRow::measure(std::vector<int>* indices) const {
    std::vector<LaneChild> content;
    for (int i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if (e.newLine) {
            content.push_back(LaneChild::line());
        } else if (!e.item->isEmpty()) {
            content.push_back(LaneChild::of(e.item->sizeHint().width()));
        } else {
            continue;
        }
        indices->push_back(i);
    }
    return content;
}

std::vector<std::size_t> WrappingRow::lanesForWidth(int width) const {
    std::vector<int> indices;
    const std::vector<LaneChild> content = measure(&indices);
    std::vector<std::size_t> lanes = firstItemOfEachLane(content, width, spacing_.s);
    for (std::size_t& first : lanes) first = static_cast<std::size_t>(indices[first]);
    return lanes;
}

int WrappingRow::doLayout(const QRect& rect, bool apply) const {
    const QRect area = rect.marginsRemoved(contentsMargins());
    std::vector<int> indices;
    const std::vector<LaneChild> content = measure(&indices);
    const std::vector<std::size_t> lanes = firstItemOfEachLane(content, area.width(), spacing_.s);

    double y = 0;
    for (std::size_t k = 0; k < lanes.size(); ++k) {
        const LaneRange range = laneRange(lanes, content.size(), k);
        std::vector<double> widths;
        int laneHeight = 0;
        for (std::size_t i = range.begin; i < range.end; ++i) {
            widths.push_back(content[i].width);
            if (!content[i].newLine) laneHeight = std::max(laneHeight, entries_[indices[i]].item->sizeHint().height());
        }
        if (k > 0) y += lineSpacing_;
        if (apply) {
            const std::vector<double> xs = laneOffsets(widths, area.width(), spacing_, alignment_);
            for (std::size_t i = range.begin; i < range.end; ++i) {
                QLayoutItem* item = entries_[indices[i]].item;
                const QSize hint = content[i].newLine ? QSize(0, 0) : item->sizeHint();
                const int x = area.left() + static_cast<int>(std::lround(xs[i - range.begin]));
                const int top = area.top() + static_cast<int>(std::lround(y)) + (laneHeight - hint.height()) / 2;
                item->setGeometry(QRect(QPoint(x, top), hint));
            }
        }
        y += laneHeight;
    }
    const QMargins m = contentsMargins();
    return static_cast<int>(std::ceil(y)) + m.top() + m.bottom();
}

}  // namespace qv::layout
