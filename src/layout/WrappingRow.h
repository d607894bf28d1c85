#pragma once
// A layout that places its children left to right in lanes, opening a new lane whenever the next
// child would not fit the available width (see Lanes.h for the rule). Each child keeps its ideal
// width (its size hint); a lane is as high as its highest child, which is centred vertically in
// it; lanes sit `lineSpacing` apart. addNewLine() forces a lane break.
#include <QLayout>
#include <QList>

#include <vector>

#include "layout/Lanes.h"

namespace qv::layout {

class WrappingRow : public QLayout {
    Q_OBJECT
public:
    explicit WrappingRow(QWidget* parent = nullptr, LaneAlignment alignment = LaneAlignment::leading,
                         Spacing spacing = {SpacingKind::constant, 8}, double lineSpacing = 0);
    ~WrappingRow() override;

    // A forced lane break after the children added so far.
    void addNewLine();
    // Removes and deletes every child item (widgets are deleted too).
    void clear();

    LaneAlignment laneAlignment() const { return alignment_; }
    Spacing rowSpacing() const { return spacing_; }
    double lineSpacing() const { return lineSpacing_; }

    // The lanes for a given content width: the index (into the items) of each lane's first child.
    std::vector<std::size_t> lanesForWidth(int width) const;

    void addItem(QLayoutItem* item) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    struct Entry {
        QLayoutItem* item = nullptr;
        bool newLine = false;
    };
    // The children that take part (hidden widgets do not), with their measured widths.
    std::vector<LaneChild> measure(std::vector<int>* indices) const;
    // Lays the lanes out in `rect`; returns the height used. Moves the items when `apply`.
    int doLayout(const QRect& rect, bool apply) const;

    QList<Entry> entries_;
    LaneAlignment alignment_;
    Spacing spacing_;
    double lineSpacing_;
};

}  // namespace qv::layout
