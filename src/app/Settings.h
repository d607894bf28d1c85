#pragma once
// The edition's user settings: one JSON file per edition ($XDG_CONFIG_HOME/Quorvane/<program>.json)
// that keeps each value's type, so a value of the wrong type can be told from an absent one.
#include <QSettings>

#include <memory>

namespace qv::app {

QSettings::Format jsonSettingsFormat();

// The settings of this program (organisation and application name of the QApplication).
// A settings file that cannot be read (damaged, cut short, a folder in its place) is never
// written over: it is moved aside under a name with the time, the teacher is told once, and the
// program starts from empty settings.
std::unique_ptr<QSettings> openUserSettings();

// Settings kept in the given file (tests, tools), with the same care.
std::unique_ptr<QSettings> openSettingsFile(const QString& path);

// Writes the settings out; false when that fails. Each failure is printed (what, where, why); the
// window shows it the first time a run fails to write that file. Main thread.
bool syncSettings(QSettings& settings);

// Moves an unreadable settings file aside and reports it; returns the new name, or an empty text
// when the file is readable or absent.
QString setAsideUnreadableSettings(const QString& path);

}  // namespace qv::app
