#pragma once
#include <QString>

namespace qv::app {

// Sets up a known save folder: the folder locations, the folders themselves.
void initGlobal(const QString& saveFolder);

}  // namespace qv::app
