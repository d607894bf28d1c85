#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTest>

#include "library/ThumbnailView.h"
#include "library/files/FileLibraryView.h"
#include "library/files/PanelFixture.h"
#include "support/QtWait.h"

using namespace qv::library;
using namespace qv::test;

namespace {

// Moves the real pointer (XTest), to a point of the screen as a person would.
bool pointerTo(QPoint global) {
    return QProcess::execute("xdotool", {"mousemove", "--sync", QString::number(global.x()), QString::number(global.y())}) == 0;
}
bool pointerTo(const QWidget* w, QPoint local) { return pointerTo(w->mapToGlobal(local)); }

using PointerOnPanel = PanelFixture;

// The chip under the pointer is the hovered one: it keeps that over the gaps of the row, changes on
// entering another chip and is cleared when the pointer leaves the row. A template cell shows its
// favorite control while the pointer is over its picture, and no longer once it has left.
TEST_F(PointerOnPanel, ChipsAndCellsFollowARealPointer) {
    writeCatalogue(kCatalogue);
    writeTemplatePictures(*this);
    FileLibraryView panel(services());
    panel.move(200, 150);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    ASSERT_TRUE(waitUntil([&] { return panel.templatesLoaded(); }, 20000));
    panel.tabs()->setCurrentIndex(1);
    ASSERT_TRUE(waitUntil([&] { return panel.templateCells().size() == 4 && panel.chips().size() == 10; }, 5000));
    ASSERT_TRUE(pointerTo(panel.searchField(), panel.searchField()->rect().center()));
    spin(100);
    ASSERT_EQ(panel.hoveredCategory(), "");

    const QList<QLabel*> chips = panel.chips();
    const auto chipNamed = [&](const QString& text) {
        for (QLabel* chip : chips)
            if (chip->text() == text) return chip;
        return static_cast<QLabel*>(nullptr);
    };
    const QString hover = QColor(0x4D, 0xB8, 0xFF).name();
    ASSERT_TRUE(pointerTo(chipNamed("Music"), chipNamed("Music")->rect().center()));
    ASSERT_TRUE(waitUntil([&] { return panel.hoveredCategory() == "Music"; }, 5000)) << panel.hoveredCategory().toStdString();
    EXPECT_TRUE(chipNamed("Music")->styleSheet().contains(hover));

    ASSERT_TRUE(pointerTo(chipNamed("Math"), chipNamed("Math")->rect().center()));
    ASSERT_TRUE(waitUntil([&] { return panel.hoveredCategory() == "Math"; }, 5000)) << panel.hoveredCategory().toStdString();
    EXPECT_FALSE(chipNamed("Music")->styleSheet().contains(hover));

    // The gap between two chips of a lane: still "Math".
    QLabel* math = chipNamed("Math");
    const QPoint gap(math->geometry().right() + 4, math->geometry().center().y());
    ASSERT_EQ(panel.chipRow()->childAt(gap), nullptr);
    ASSERT_TRUE(pointerTo(panel.chipRow(), gap));
    spin(200);
    EXPECT_EQ(panel.hoveredCategory(), "Math");

    // Out of the row, onto the search field.
    ASSERT_TRUE(pointerTo(panel.searchField(), panel.searchField()->rect().center()));
    ASSERT_TRUE(waitUntil([&] { return panel.hoveredCategory().isEmpty(); }, 5000)) << panel.hoveredCategory().toStdString();
    EXPECT_FALSE(chipNamed("Math")->styleSheet().contains(hover));

    auto* cell = static_cast<ThumbnailView*>(panel.templateCells()[0]);
    ASSERT_TRUE(pointerTo(cell, cell->thumbnailRect().center()));
    ASSERT_TRUE(waitUntil([&] { return cell->hovered(); }, 5000));
    EXPECT_TRUE(cell->showsFavoriteButton());
    ASSERT_TRUE(pointerTo(panel.searchField(), panel.searchField()->rect().center()));
    ASSERT_TRUE(waitUntil([&] { return !cell->hovered(); }, 5000));
    EXPECT_FALSE(cell->showsFavoriteButton());
}

}  // namespace
