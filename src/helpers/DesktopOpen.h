#pragma once
// Hands a file, a folder or a message to the desktop's own programs (xdg-open, xdg-email) and
// shows the teacher when none takes it: the program cannot be started, or it ends with an error
// because no program is set up for that kind of file. Main thread only.
#include <QString>
#include <QStringList>
#include <QUrl>

namespace qv::app {

// Runs `program` with `arguments`; when it cannot start or ends with an error, reports `failure`
// with `where` and the reason (printed and shown). False only when it could not start.
bool runDesktopProgram(const QString& program, const QStringList& arguments, const QString& failure,
                       const QString& where);

// Opens `url` (a file or a folder) in the program the desktop has for it.
bool openOnDesktop(const QUrl& url, const QString& failure);

}  // namespace qv::app
