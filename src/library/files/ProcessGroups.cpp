#include "library/files/ProcessGroups.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

namespace qv::library {

void killProcessGroup(qint64 group) {
    if (group > 1) ::kill(-pid_t(group), SIGKILL);
}

int stopProcessesMentioning(const QString& text) {
    const QByteArray needle = QFile::encodeName(text);
    if (needle.isEmpty()) return 0;
    int found = 0;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = pid_t(entry.toLong(&number));
        if (!number || pid <= 1 || pid == ::getpid()) continue;
        struct stat st {};
        if (::stat(QFile::encodeName(proc.filePath(entry)).constData(), &st) != 0 || st.st_uid != ::geteuid()) continue;
        QFile cmdline(proc.filePath(entry) + QStringLiteral("/cmdline"));
        if (!cmdline.open(QIODevice::ReadOnly) || !cmdline.readAll().contains(needle)) continue;
        ++found;
        const pid_t group = ::getpgid(pid);
        if (group > 1 && group != ::getpgrp())
            ::kill(-group, SIGKILL);
        else
            ::kill(pid, SIGKILL);
    }
    return found;
}

}  // namespace qv::library
