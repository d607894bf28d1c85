#pragma once
// What this process holds, as the kernel counts it: open descriptors, threads, resident memory.
#include <QByteArray>
#include <QFile>

#include <filesystem>

namespace qv::test {

inline int entriesOf(const char* folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

inline int openDescriptors() { return entriesOf("/proc/self/fd"); }
inline int threadCount() { return entriesOf("/proc/self/task"); }

// A size line of /proc/self/status in MB: "VmRSS:" (resident now), "VmHWM:" (its peak).
inline double statusMegabytes(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key)) return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// Starts the peak of the resident memory ("VmHWM:") afresh from what is resident now.
inline void resetPeakResident() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

}  // namespace qv::test
