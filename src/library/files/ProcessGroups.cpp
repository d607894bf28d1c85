#include "library/files/ProcessGroups.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QList>
#include <QUrl>

#include <set>
#include <vector>

namespace qv::library {

namespace {

struct Process {
    pid_t pid = 0;
    pid_t parent = 0;
    pid_t group = 0;
    QList<QByteArray> arguments;
};

// This user's processes as /proc shows them now (one that ends meanwhile is simply missing).
std::vector<Process> ourProcesses() {
    std::vector<Process> out;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = pid_t(entry.toLong(&number));
        if (!number || pid <= 1) continue;
        const QString dir = proc.filePath(entry);
        struct stat st {};
        if (::stat(QFile::encodeName(dir).constData(), &st) != 0 || st.st_uid != ::geteuid()) continue;
        QFile stat(dir + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        // "pid (name) state parent group ...": the name may hold anything, so read after its last ')'.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 3) continue;
        QFile cmdline(dir + QStringLiteral("/cmdline"));
        if (!cmdline.open(QIODevice::ReadOnly)) continue;
        out.push_back(
            {pid, pid_t(fields[1].toLong()), pid_t(fields[2].toLong()), cmdline.readAll().split('\0')});
    }
    return out;
}

// True when `argument` names `folder` or something in it, as a path or as a file URL.
bool namesFolder(const QByteArray& argument, const QList<QByteArray>& forms) {
    for (const QByteArray& form : forms) {
        for (qsizetype at = argument.indexOf(form); at >= 0; at = argument.indexOf(form, at + 1)) {
            const qsizetype after = at + form.size();
            if (after == argument.size() || argument[after] == '/') return true;
        }
    }
    return false;
}

// Started as the program starts LibreOffice: with a private profile.
bool startedAsOurOffice(const Process& p) {
    for (const QByteArray& a : p.arguments)
        if (a.startsWith("-env:UserInstallation=")) return true;
    return false;
}

}  // namespace

void killProcessGroup(qint64 group) {
    if (group > 1) ::kill(-pid_t(group), SIGKILL);
}

int stopProcessesWorkingIn(const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    if (clean.isEmpty() || clean == QLatin1String("/")) return 0;
    const QList<QByteArray> forms{QFile::encodeName(clean), QUrl::fromLocalFile(clean).toEncoded()};
    const pid_t self = ::getpid();

    std::vector<Process> roots;
    std::set<pid_t> doomed;
    for (const Process& p : ourProcesses()) {
        if (p.pid == self) continue;
        for (const QByteArray& a : p.arguments) {
            if (!namesFolder(a, forms)) continue;
            roots.push_back(p);
            doomed.insert(p.pid);
            break;
        }
    }
    if (roots.empty()) return 0;

    // Held still before anything is killed: a stopped process starts no new child, and none of
    // them ends and leaves its children to another parent while the tree is walked.
    std::set<pid_t> stopped;
    for (int round = 0; round < 20; ++round) {
        for (const pid_t pid : doomed)
            if (stopped.insert(pid).second) ::kill(pid, SIGSTOP);
        bool grew = false;
        for (const Process& p : ourProcesses())
            if (p.pid != self && doomed.count(p.parent) && doomed.insert(p.pid).second) grew = true;
        if (!grew) break;
    }
    // A LibreOffice the program started leads a group of its own, which holds nothing but it and
    // what it started: what left its tree goes with the group. Any other group may hold processes
    // that have nothing to do with the folder, and is never signalled.
    for (const Process& r : roots)
        if (r.group == r.pid && startedAsOurOffice(r)) ::kill(-r.pid, SIGKILL);
    for (const pid_t pid : doomed) ::kill(pid, SIGKILL);
    return int(roots.size());
}

}  // namespace qv::library
