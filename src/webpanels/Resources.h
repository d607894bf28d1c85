#pragma once
#include <QString>
#include <QUrl>

namespace qv::webpanels {

// The whiteboard page, "marrowpanel/index.html" among the program's resources.
QString whiteboardPagePath();
// The address the whiteboard page is loaded from (the program's own scheme).
QUrl whiteboardPageUrl();

}  // namespace qv::webpanels
