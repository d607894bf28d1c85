#include "helpers/DesktopOpen.h"

#include <QProcess>
#include <QTimer>

#include <memory>

#include "state/Failures.h"

namespace qv::app {

namespace {

// Calls `settled` at most once, whichever of the process's end and the settle timer comes first.
struct Settle {
    DesktopSettled settled;
    void operator()(bool opened) {
        if (!settled) return;
        DesktopSettled once = std::move(settled);
        settled = nullptr;
        once(opened);
    }
};

}  // namespace

bool runDesktopProgram(const QString& program, const QStringList& arguments, const QString& failure,
                       const QString& where, DesktopSettled settled, int settleMs) {
    auto settle = std::make_shared<Settle>(Settle{std::move(settled)});
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, process,
                     [process, program, failure, where, settle](int code, QProcess::ExitStatus status) {
                         const bool ok = status == QProcess::NormalExit && code == 0;
                         if (!ok)
                             reportFailure(failure, where,
                                           QStringLiteral("%1 found no program for it (exit code %2)").arg(program).arg(code));
                         (*settle)(ok);
                         process->deleteLater();
                     });
    process->start();
    if (!process->waitForStarted(5000)) {
        reportFailure(failure, where, QStringLiteral("%1 could not be started: %2").arg(program, process->errorString()));
        delete process;
        (*settle)(false);
        return false;
    }
    // Still running after a while: the program it started has taken the file.
    QTimer::singleShot(settleMs, process, [settle] { (*settle)(true); });
    return true;
}

bool openOnDesktop(const QUrl& url, const QString& failure, DesktopSettled settled, int settleMs) {
    const QString where = url.isLocalFile() ? url.toLocalFile() : url.toString();
    return runDesktopProgram(QStringLiteral("xdg-open"),
                             {url.isLocalFile() ? url.toLocalFile() : url.toString()}, failure, where,
                             std::move(settled), settleMs);
}

}  // namespace qv::app
