#pragma once
// Stopping the processes the library starts (LibreOffice) with everything they started in turn.
// Any thread.
#include <QString>

namespace qv::library {

// Kills every process of the group `group` (a process started as the leader of a group of its own).
void killProcessGroup(qint64 group);

// Kills, with their groups, this user's processes whose command line mentions `text` (a folder of
// the program's own that only its children are given). Returns how many were found.
int stopProcessesMentioning(const QString& text);

}  // namespace qv::library
