#include "helpers/DesktopOpen.h"

#include <QProcess>

#include "state/Failures.h"

namespace qv::app {

bool runDesktopProgram(const QString& program, const QStringList& arguments, const QString& failure,
                       const QString& where) {
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, process,
                     [process, program, failure, where](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0)
                             reportFailure(failure, where,
                                           QStringLiteral("%1 found no program for it (exit code %2)").arg(program).arg(code));
                         process->deleteLater();
                     });
    process->start();
    if (!process->waitForStarted(5000)) {
        reportFailure(failure, where, QStringLiteral("%1 could not be started: %2").arg(program, process->errorString()));
        delete process;
        return false;
    }
    return true;
}

bool openOnDesktop(const QUrl& url, const QString& failure) {
    const QString where = url.isLocalFile() ? url.toLocalFile() : url.toString();
    return runDesktopProgram(QStringLiteral("xdg-open"), {url.isLocalFile() ? url.toLocalFile() : url.toString()},
                             failure, where);
}

}  // namespace qv::app
