#pragma once
// Hands a file, a folder or a message to the desktop's own programs (xdg-open, xdg-email) and
// shows the teacher when none takes it: the program cannot be started, or it ends with an error
// because no program is set up for that kind of file. Main thread only.
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace qv::app {

// How a desktop program's run came out, told once: false when it could not start or ended with
// an error (the failure is shown by then), true when it ended well or is still running after a
// while (xdg-open waits for some of the programs it starts).
using DesktopSettled = std::function<void(bool opened)>;
inline constexpr int kDesktopSettleMs = 2000;

// Runs `program` with `arguments`; when it cannot start or ends with an error, reports `failure`
// with `where` and the reason (printed and shown). False only when it could not start.
bool runDesktopProgram(const QString& program, const QStringList& arguments, const QString& failure,
                       const QString& where, DesktopSettled settled = {}, int settleMs = kDesktopSettleMs);

// Opens `url` (a file or a folder) in the program the desktop has for it.
bool openOnDesktop(const QUrl& url, const QString& failure, DesktopSettled settled = {},
                   int settleMs = kDesktopSettleMs);

}  // namespace qv::app
