#pragma once
// The small widgets the file library panel is built of: the half-round collapse handle, the
// category chips and their row, the grid of thumbnail cells, and the scroll area both tabs use.
//
// Threads: main thread only, as every widget.
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

#include "library/LibraryFile.h"

class QAbstractScrollArea;

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
// the item's id (a cell keeps its hover and alert state while its item stays listed). Every cell
// keeps its full height: the grid is as high as its rows, and the scroll area around it scrolls.
// Only the rows in the scroll area's view have a cell, so a library of any size costs what one
// screen of cells does; a cell whose delete question is open lives on while it is scrolled away.
class CellGrid : public QWidget {
public:
    using MakeCell = std::function<ThumbnailView*(const LibraryFilePtr& item)>;

    explicit CellGrid(MakeCell makeCell);
    // Shows the items that can be drawn, in their order.
    void setItems(const std::vector<LibraryFilePtr>& items);
    // The cells in view, in item order.
    std::vector<QWidget*> cells() const;
    // The items shown (in view or not), in order.
    const std::vector<LibraryFilePtr>& items() const { return items_; }
    // The height of a row: that of a cell with its picture and its name.
    int rowHeight() const;

    static constexpr int columns = 3;
    static constexpr int columnWidth = 125;
    static constexpr int rowSpacing = 5;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchScrollArea();
    // The rows the scroll area shows now (all of them outside a scroll area).
    std::pair<int, int> rowsInView() const;
    void layoutCells();

    MakeCell makeCell_;
    std::vector<LibraryFilePtr> items_;
    QHash<QUuid, ThumbnailView*> cells_;  // the cells of the rows in view (and those asking to delete)
    QPointer<QAbstractScrollArea> scroll_;
};

// A scroll area whose content follows the viewport's width (the chip row wraps at it).
class VerticalScroll : public QScrollArea {
public:
    explicit VerticalScroll(QWidget* content);
};

}  // namespace qv::library
