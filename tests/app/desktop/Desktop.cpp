#include "app/desktop/Desktop.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

namespace qv::test {

bool eventually(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QThread::msleep(100);
    }
    return true;
}

Desktop::Desktop(QSize size, WindowManager wm) : size_(size) {
    server_.setProgram(QStringLiteral("Xvfb"));
    server_.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                          QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()), QStringLiteral("-nolisten"),
                          QStringLiteral("tcp")});
    server_.start();
    if (!server_.waitForStarted(10000)) return;
    QByteArray number;
    if (!eventually([&] {
            server_.waitForReadyRead(100);
            number += server_.readAllStandardOutput();
            return number.contains('\n');
        }, 20000))
        return;
    display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    if (wm == WindowManager::none) {
        ready_ = true;
        return;
    }
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    wm_.setProcessEnvironment(env);
    wm_.setProgram(QStringLiteral("openbox"));
    wm_.setStandardOutputFile(QProcess::nullDevice());
    wm_.setStandardErrorFile(QProcess::nullDevice());
    wm_.start();
    if (!wm_.waitForStarted(10000)) return;
    ready_ = eventually([&] {
        return tool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
            .contains(QStringLiteral("window id"));
    }, 20000);
}

Desktop::~Desktop() {
    for (QProcess* p : {&wm_, &server_}) {
        if (p->state() == QProcess::NotRunning) continue;
        p->terminate();
        if (!p->waitForFinished(5000)) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
}

QString Desktop::tool(const QString& program, const QStringList& arguments, int* exitCode) const {
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    p.setProcessEnvironment(env);
    p.start(program, arguments);
    p.waitForFinished(20000);
    if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QStringList Desktop::wmState(const QString& window) const {
    const QString out = tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_STATE")});
    static const QRegularExpression atom(QStringLiteral("_NET_WM_STATE_[A-Z_]+"));
    QStringList atoms;
    for (auto it = atom.globalMatch(out); it.hasNext();) atoms << it.next().captured(0);
    return atoms;
}

std::optional<QRect> Desktop::geometry(const QString& window) const {
    int code = 0;
    const QString out =
        tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window}, &code);
    if (code != 0) return std::nullopt;
    QMap<QString, int> v;
    for (const QString& line : out.split('\n')) {
        const auto parts = line.split('=');
        if (parts.size() == 2) v[parts[0].trimmed()] = parts[1].trimmed().toInt();
    }
    if (!v.contains("X") || !v.contains("WIDTH")) return std::nullopt;
    return QRect(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]);
}

QStringList Desktop::stacking() const {
    const QString out = tool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    static const QRegularExpression id(QStringLiteral("0x[0-9a-fA-F]+"));
    QStringList ids;
    for (auto it = id.globalMatch(out); it.hasNext();) ids << QString::number(it.next().captured(0).toULongLong(nullptr, 16));
    return ids;
}

std::optional<QString> Desktop::findWindow(const QString& namePattern) const {
    int code = 0;
    const QString out = tool(QStringLiteral("xdotool"),
                             {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), namePattern},
                             &code);
    if (code != 0 || out.isEmpty()) return std::nullopt;
    return out.split('\n').last().trimmed();
}

QString Desktop::activeWindow() const {
    const QString out = tool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")});
    static const QRegularExpression id(QStringLiteral("0x[0-9a-fA-F]+"));
    const auto match = id.match(out);
    return match.hasMatch() ? QString::number(match.captured(0).toULongLong(nullptr, 16)) : QString();
}

QString Desktop::transientFor(const QString& window) const {
    const QString out = tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("WM_TRANSIENT_FOR")});
    static const QRegularExpression id(QStringLiteral("window id # (0x[0-9a-fA-F]+)"));
    const auto match = id.match(out);
    return match.hasMatch() ? QString::number(match.captured(1).toULongLong(nullptr, 16)) : QString();
}

Launch::Launch(const Desktop& desktop, const QString& configHome, const QString& program) : desktop_(desktop) {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), desktop.display());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QUORVANE_SYNTHETIC_DEVICES"));
    process_.setProcessEnvironment(env);
    process_.setProgram(program.isEmpty() ? QStringLiteral(QV_PROGRAM) : program);
    outputPath_ = configHome + QStringLiteral("/output.txt");
    process_.setStandardOutputFile(outputPath_, QIODevice::Append);
    process_.setStandardErrorFile(QProcess::nullDevice());
    sinceStart_.start();
    process_.start();
    started_ = process_.waitForStarted(10000);
}

Launch::~Launch() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

std::optional<QString> Launch::waitForWindow(int timeoutMs) {
    std::optional<QString> window;
    eventually([&] {
        window = desktop_.findWindow(QStringLiteral("^Quorvane$"));
        return window.has_value() || process_.state() == QProcess::NotRunning;
    }, timeoutMs);
    return window;
}

bool Launch::waitForExit(int timeoutMs) { return process_.waitForFinished(timeoutMs); }

QString Launch::output() const {
    QFile file(outputPath_);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

}  // namespace qv::test
