#pragma once
// What earlier runs of the program left behind when they were killed: working files in
// "~library/" (copies on their way in, slides being made), LibreOffice's folders in the temporary
// folder (and a LibreOffice still working in them), and unfinished GIFs wherever the teacher had
// them written. The program recorded each before it made it (library/WorkingFiles.h); what no
// record names stays, whatever its name looks like, and so does what a running program (this one
// or another) uses.
#include <QString>
#include <QStringList>

namespace qv::library {

// Removes those leftovers, printing a line for each, and first stops the processes that still work
// in a folder that goes (with the processes they started). Blocks for as long as that takes: call
// it off the main thread. Returns what was removed. `recordsFolder` empty: the program's own.
QStringList removeLeftoversOfEarlierRuns(const QString& recordsFolder = {});

}  // namespace qv::library
