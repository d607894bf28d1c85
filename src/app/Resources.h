#pragma once
#include <QString>

namespace qv::app {

// The folder of the program's resources (whiteboard page, templates, lessons): $QV_RESOURCES_DIR
// when set, else "resources" next to the executable.
QString resourcesDirectory();

}  // namespace qv::app
