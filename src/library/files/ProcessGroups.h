#pragma once
// Stopping the processes the library starts (LibreOffice) with everything they started in turn.
// Any thread.
#include <QString>

namespace qv::library {

// Kills every process of the group `group`: only a group the program started itself (a process it
// made the leader of a group of its own).
void killProcessGroup(qint64 group);

// Stops this user's processes that work on `folder` (a folder of the program's own that only its
// children are given: an argument names it or something in it) and every process they started,
// found by walking /proc from parent to child. Other processes of their groups live on: a group is
// signalled only where its leader is itself such a process started as LibreOffice is (with a
// private profile), which only the program does. Returns how many processes worked on the folder.
int stopProcessesWorkingIn(const QString& folder);

}  // namespace qv::library
