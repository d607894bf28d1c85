#pragma once
// The edition's user settings: one JSON file per edition ($XDG_CONFIG_HOME/Quorvane/<program>.json)
// that keeps each value's type, so a value of the wrong type can be told from an absent one.
#include <QSettings>

#include <memory>

namespace qv::app {

QSettings::Format jsonSettingsFormat();

// The settings of this program (organisation and application name of the QApplication).
std::unique_ptr<QSettings> openUserSettings();

// Settings kept in the given file (tests, tools).
std::unique_ptr<QSettings> openSettingsFile(const QString& path);

}  // namespace qv::app
