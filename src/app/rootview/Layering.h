#pragma once
// The one table of the main window's layers, bottom to top. Every panel the root view makes is
// tagged with its layer where it is made; restack() raises siblings into this order, so a panel
// that a factory adds later lands in its place whichever widget made it.
#include <QRegion>
#include <optional>

class QWidget;

namespace qv::app {

enum class Layer : int {
    CameraPicture,
    Whiteboard,
    Browser,
    PipCamera,
    DocCamera,
    SideBySide,
    ArchiveList,
    FileLibrary,
    ControlBar,
    TunnelList,
    GifGenerator,
    KestrixConfig,
    Message,  // failures shown to the teacher, above everything
};

void setLayer(QWidget* widget, Layer layer);
std::optional<Layer> layerOf(const QWidget* widget);

// Raises the tagged children of `parent` into the table's order (untagged ones stay below).
void restack(QWidget* parent);

// The part of `widget` that covers what lies below it: its visible direct children where it draws
// nothing of its own between them (`byChildren`), else its mask where it has one, else its whole
// rectangle; in the coordinates of `target`.
QRegion coveredBy(const QWidget* widget, const QWidget* target, bool byChildren);

}  // namespace qv::app
