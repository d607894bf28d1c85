#pragma once
// Failures that cost the teacher work (a picture or a movie not written, a file that no program
// opens) are printed and shown in the main window. The window installs the display; until it does
// (and in tests without one) the line is only printed.
// Main thread only; reportFailureLater() may be called from any thread.
#include <QString>

#include <functional>

namespace qv::app {

// Prints `what`, `where` (a path or an address) and `why` as one line of up to three items, and
// shows them, one per line. Empty items are left out.
void reportFailure(const QString& what, const QString& where = QString(), const QString& why = QString());
// The same, handed to the main thread.
void reportFailureLater(const QString& what, const QString& where = QString(), const QString& why = QString());
// Only shows them, one per line, for failures whose printed line has a form of its own (or is
// printed each time while the window says it once).
void showFailure(const QString& what, const QString& where = QString(), const QString& why = QString());

// The window's way to show a failure's text; an empty function removes it.
void setFailureDisplay(std::function<void(const QString& text)> display);

}  // namespace qv::app
