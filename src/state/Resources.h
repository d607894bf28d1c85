#pragma once
// Where the program's resources (whiteboard page, templates, lessons, pictures) are found.
#include <QString>

namespace qv::app {

// $QV_RESOURCES_DIR when set, else "resources" next to the executable; absolute, no trailing slash.
QString resourcesDirectory();

// The absolute path of a resource given relative to the resources directory.
QString resourcePath(const QString& relative);

}  // namespace qv::app
