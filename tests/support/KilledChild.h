#pragma once
// What a run of the program leaves when it is killed with SIGKILL at a given instant: `work` runs in
// a forked child (the program's own code making its working files) and calls `killNow` while what
// it made is still held; the child dies there, so nothing is finished, unlocked or removed as a
// living process would. `killNow` hands back the lines it is given (paths made, say). Call it
// before the test starts threads of its own.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace qv::test {

using KillNow = std::function<void(const QStringList& lines)>;

inline QStringList runAndKill(const std::function<void(const KillNow& killNow)>& work) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        work([&](const QStringList& lines) {
            const QByteArray text = lines.join(QLatin1Char('\n')).toUtf8();
            for (qsizetype done = 0; done < text.size();) {
                const ssize_t n = ::write(pipeEnds[1], text.constData() + done, size_t(text.size() - done));
                if (n <= 0) break;
                done += n;
            }
            ::raise(SIGKILL);
        });
        ::raise(SIGKILL);  // nothing to hand back
        ::_exit(1);
    }
    ::close(pipeEnds[1]);
    QByteArray text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    ::close(pipeEnds[0]);
    int status = 0;
    if (child > 0) ::waitpid(child, &status, 0);
    if (child <= 0 || !WIFSIGNALED(status) || WTERMSIG(status) != SIGKILL) return {};
    return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace qv::test
