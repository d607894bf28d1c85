#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>

#include <vector>

#include "layout/WrappingRow.h"

using namespace qv::layout;

namespace {

// A child of a fixed ideal size.
class Box : public QWidget {
public:
    Box(int w, int h) : hint_(w, h) {}
    QSize sizeHint() const override { return hint_; }

private:
    QSize hint_;
};

struct Row {
    QWidget host;
    WrappingRow* row;
    std::vector<Box*> boxes;

    Row(const std::vector<int>& widths, Spacing spacing = {SpacingKind::constant, 8},
        LaneAlignment alignment = LaneAlignment::leading, double lineSpacing = 0) {
        row = new WrappingRow(&host, alignment, spacing, lineSpacing);
        for (int w : widths) {
            boxes.push_back(new Box(w, 20));
            row->addWidget(boxes.back());
        }
    }
    void layOut(int width) {
        row->setGeometry(QRect(0, 0, width, row->heightForWidth(width)));
    }
};

TEST(WrappingRow, WorkedExampleOnWidgets) {
    Row r({40, 52, 30, 120, 10});
    EXPECT_EQ(r.row->lanesForWidth(100), (std::vector<std::size_t>{0, 2, 3, 4}));
    r.layOut(100);
    // Lanes touch (line spacing 0), children 8 apart from the leading edge.
    EXPECT_EQ(r.boxes[0]->geometry(), QRect(0, 0, 40, 20));
    EXPECT_EQ(r.boxes[1]->geometry(), QRect(48, 0, 52, 20));
    EXPECT_EQ(r.boxes[2]->geometry(), QRect(0, 20, 30, 20));
    EXPECT_EQ(r.boxes[3]->geometry(), QRect(0, 40, 120, 20));
    EXPECT_EQ(r.boxes[4]->geometry(), QRect(0, 60, 10, 20));
    EXPECT_EQ(r.row->heightForWidth(100), 80);
}

TEST(WrappingRow, HeightFollowsTheWidthAndLineSpacing) {
    Row r({40, 40, 40}, {SpacingKind::constant, 8}, LaneAlignment::leading, 6);
    EXPECT_EQ(r.row->heightForWidth(200), 20);       // one lane
    EXPECT_EQ(r.row->heightForWidth(90), 20 + 6 + 20);  // 40 + 8 + 40 = 88 fits, the third wraps
    EXPECT_EQ(r.row->heightForWidth(40), 20 * 3 + 6 * 2);
}

TEST(WrappingRow, NoChildrenTakeNoHeight) {
    Row r({});
    EXPECT_EQ(r.row->heightForWidth(300), 0);
    EXPECT_TRUE(r.row->lanesForWidth(300).empty());
}

TEST(WrappingRow, ForcedBreakAndHiddenChildren) {
    Row r({10, 10});
    r.row->addNewLine();
    r.boxes.push_back(new Box(10, 20));
    r.row->addWidget(r.boxes.back());
    EXPECT_EQ(r.row->lanesForWidth(300), (std::vector<std::size_t>{0, 2, 3}));
    r.layOut(300);
    EXPECT_EQ(r.boxes[2]->y(), 20);  // the newLine lane is empty, so it adds no height
    // A hidden child takes no room.
    r.host.show();
    r.boxes[1]->hide();
    r.layOut(300);
    EXPECT_EQ(r.boxes[2]->y(), 20);
    EXPECT_EQ(r.row->lanesForWidth(300), (std::vector<std::size_t>{0, 2, 3}));
}

TEST(WrappingRow, TrailingDynamicLanes) {
    Row r({20, 30, 90}, {SpacingKind::dynamic, 8}, LaneAlignment::trailing);
    r.layOut(100);
    EXPECT_EQ(r.boxes[0]->x(), 0);  // two children span the lane
    EXPECT_EQ(r.boxes[1]->x(), 70);
    EXPECT_EQ(r.boxes[2]->x(), 10);  // alone: at the trailing edge
}

TEST(WrappingRow, TextChipsKeepTheirNaturalWidth) {
    QWidget host;
    auto* row = new WrappingRow(&host);
    std::vector<QLabel*> chips;
    for (const char* text : {"All", "Favorite", "Mathematics", "Science", "Language Arts", "History"}) {
        chips.push_back(new QLabel(QString::fromUtf8(text)));
        row->addWidget(chips.back());
    }
    host.resize(150, 10);
    row->setGeometry(QRect(0, 0, 150, row->heightForWidth(150)));
    for (QLabel* chip : chips) {
        EXPECT_EQ(chip->width(), chip->sizeHint().width()) << chip->text().toStdString();
        EXPECT_LE(chip->geometry().right(), 149 + (chip->width() > 150 ? chip->width() : 0));
    }
    EXPECT_GT(row->lanesForWidth(150).size(), 1u);
}

}  // namespace
