#pragma once
// The small widgets the file library panel is built of: the half-round collapse handle, the
// category chips and their row, the grid of thumbnail cells, and the scroll area both tabs use.
//
// Threads: main thread only, as every widget.
#include <QLabel>
#include <QScrollArea>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

#include "library/LibraryFile.h"

class QGridLayout;

namespace qv::library {

class ThumbnailView;

// The half-round handle on the panel's left edge.
class CollapseHandle : public QWidget {
public:
    CollapseHandle(std::function<void()> onTap, QWidget* parent);
    void setCollapsed(bool collapsed);
    bool collapsed() const { return collapsed_; }
    void tap() { onTap_(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> onTap_;
    bool collapsed_ = false;
};

// One category chip.
class CategoryChip : public QLabel {
public:
    CategoryChip(const QString& text, std::function<void()> onEnter, std::function<void()> onTap);
    void setHighlighted(bool on);

protected:
    void enterEvent(QEnterEvent*) override { onEnter_(); }
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> onEnter_;
    std::function<void()> onTap_;
};

// The chip row: leaving it clears the hovered chip.
class ChipRow : public QWidget {
public:
    explicit ChipRow(std::function<void()> onLeave) : onLeave_(std::move(onLeave)) {}

protected:
    void leaveEvent(QEvent*) override { onLeave_(); }

private:
    std::function<void()> onLeave_;
};

// A grid of thumbnail cells in three 125-point columns, rows 5 apart, one cell per item keyed by
// the item's id (a cell keeps its hover and alert state while its item stays listed).
class CellGrid : public QWidget {
public:
    using MakeCell = std::function<ThumbnailView*(const LibraryFilePtr& item)>;

    explicit CellGrid(MakeCell makeCell);
    // Shows the items that can be drawn, in their order.
    void setItems(const std::vector<LibraryFilePtr>& items);
    std::vector<QWidget*> cells() const;

private:
    MakeCell makeCell_;
    QGridLayout* grid_;
    std::vector<std::pair<QUuid, ThumbnailView*>> cells_;
};

// A scroll area whose content follows the viewport's width (the chip row wraps at it).
class VerticalScroll : public QScrollArea {
public:
    explicit VerticalScroll(QWidget* content);
};

}  // namespace qv::library
