#pragma once
// Where the program's resources (the whiteboard page, templates, lessons) are found.
#include <QString>

namespace qv::webpanels {

// $QV_RESOURCES_DIR when set, otherwise "resources" next to the executable. No trailing slash.
QString resourcesDirectory();

// The absolute path of a resource, given relative to the resources directory.
QString resourcePath(const QString& relative);

// The whiteboard page, "marrowpanel/index.html" among the resources.
QString whiteboardPagePath();

}  // namespace qv::webpanels
