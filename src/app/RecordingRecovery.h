#pragma once
// At start-up and whenever the save folder changes, interrupted recordings in the videos folder are
// finished off the main thread, what a recording killed before its first picture left is removed,
// and the teacher is told which were recovered and which removed.
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace qv::app {

// Starts the recovery of `videosFolder` on a worker; the message, if there is anything to say,
// opens over the window that `window` gives when it is ready (on its own without one).
void recoverInterruptedRecordings(const QString& videosFolder, std::function<QWidget*()> window);

// The message's text for recovered, failed and removed movies; empty when there is nothing to say.
QString recoveryMessage(const QStringList& recovered, const QStringList& failed,
                        const QStringList& removed = {});

}  // namespace qv::app
