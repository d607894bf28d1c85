#pragma once
#include <QString>

namespace qv::webpanels {

// The whiteboard page, "marrowpanel/index.html" among the program's resources.
QString whiteboardPagePath();

}  // namespace qv::webpanels
