#pragma once
// Looking at processes a test started through the code under test (a stand-in program and its
// children): whether one is gone, and the pid a stand-in noted in a file.
#include <QFile>
#include <QString>

namespace qv::test {

// True when the process is gone, or only waits to be reaped (having been reparented).
inline bool processGone(qint64 pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray text = stat.readAll();
    const qsizetype paren = text.lastIndexOf(')');
    return paren < 0 || text.mid(paren + 2, 1) == "Z";
}

// The number in a file a stand-in wrote its pid (or a child's) into; 0 while there is none.
inline qint64 readPid(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).trimmed().toLongLong() : 0;
}

}  // namespace qv::test
