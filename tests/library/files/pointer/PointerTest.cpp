#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
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

// My Files with 60 files under a real pointer: the wheel over the cells scrolls the tab, and the
// delete button that the pointer brings up sits on a whole cell in view.
TEST_F(PointerOnPanel, TheWheelScrollsMyFilesAndTheDeleteButtonSitsOnAWholeCell) {
    for (int i = 0; i < 60; ++i) {
        const QString path = lib(QString("page-%1.png").arg(i, 2, 10, QChar('0')));
        writePng(path, QColor::fromHsv(i * 6, 200, 220));
        setAge(path, 1000 + i);
    }
    FileLibraryView panel(services());
    panel.move(200, 150);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    ASSERT_TRUE(waitUntil([&] { return panel.fileList().size() == 60; }, 30000));
    auto* scroll = qobject_cast<QScrollArea*>(panel.tabs()->widget(0));
    ASSERT_NE(scroll, nullptr);
    QScrollBar* bar = scroll->verticalScrollBar();
    ASSERT_EQ(bar->value(), 0);

    auto* first = static_cast<ThumbnailView*>(panel.fileCells()[0]);
    ASSERT_TRUE(pointerTo(first, first->thumbnailRect().center()));
    ASSERT_TRUE(waitUntil([&] { return first->hovered(); }, 5000));
    // Wheel down, as a mouse's wheel does (button 5), three notches.
    ASSERT_EQ(QProcess::execute("xdotool", {"click", "--repeat", "3", "--delay", "50", "5"}), 0);
    ASSERT_TRUE(waitUntil([&] { return bar->value() > 0; }, 5000)) << "the wheel did not scroll the tab";
    spin(100);

    // Whatever cell lies under the pointer now shows its delete button, on a whole cell in view.
    const QPoint global = scroll->viewport()->mapToGlobal(scroll->viewport()->rect().center());
    ASSERT_TRUE(pointerTo(global + QPoint(1, 0)));
    ASSERT_TRUE(pointerTo(global));
    ThumbnailView* under = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (QWidget* w : panel.fileCells())
                if (auto* cell = static_cast<ThumbnailView*>(w); cell->hovered()) under = cell;
            return under != nullptr;
        },
        5000));
    EXPECT_TRUE(under->showsDeleteButton());
    EXPECT_EQ(under->height(), ThumbnailView::heightWithPicture(under->font()));
    const QRect inView(under->mapTo(scroll->viewport(), QPoint(0, 0)), under->size());
    EXPECT_TRUE(scroll->viewport()->rect().contains(
        under->mapTo(scroll->viewport(), under->hoverControlRect().center())));
    EXPECT_GE(inView.height(), ThumbnailView::thumbnailHeight);
}

}  // namespace
