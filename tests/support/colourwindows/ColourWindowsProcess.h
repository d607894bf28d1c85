#pragma once
// Drives the colour-windows helper (another program with coloured windows of known titles) from a
// test. QV_COLOUR_WINDOWS names the helper's executable.
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace qv::test {

class ColourWindowsProcess {
public:
    // `display` empty: the process's own DISPLAY.
    explicit ColourWindowsProcess(const QString& display = {}) {
        if (!display.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("DISPLAY"), display);
            process_.setProcessEnvironment(environment);
        }
        process_.start(QString::fromUtf8(QV_COLOUR_WINDOWS), QStringList());
        process_.waitForStarted(30000);
    }
    ~ColourWindowsProcess() {
        process_.write("quit\n");
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000)) process_.kill();
        process_.waitForFinished(5000);
    }

    qint64 pid() const { return process_.processId(); }

    // A window of colour `rgb` (e.g. "ff0000") at `geometry`; 0 when the helper did not answer.
    // `desktop` -1: none named. `kind`: "net", "wm" or "dock".
    std::uint32_t open(const QString& rgb, QRect geometry, const QString& title, int desktop = -1,
                       const QString& kind = QStringLiteral("net")) {
        const QString answer = ask(QStringLiteral("open %1 %2 %3 %4 %5 %6 %7 %8")
                                       .arg(rgb)
                                       .arg(geometry.x())
                                       .arg(geometry.y())
                                       .arg(geometry.width())
                                       .arg(geometry.height())
                                       .arg(desktop)
                                       .arg(kind, title));
        if (!answer.startsWith(QLatin1String("opened "))) return 0;
        return std::uint32_t(answer.mid(7).toULong());
    }
    void close(std::uint32_t window) { ask(QStringLiteral("close %1").arg(window)); }
    // The window's content on the screen; null when it is gone.
    QRect geometry(std::uint32_t window) {
        const QStringList parts = ask(QStringLiteral("geometry %1").arg(window)).split(QLatin1Char(' '));
        if (parts.size() != 4) return {};
        return QRect(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt());
    }

private:
    QString ask(const QString& command) {
        process_.write(command.toUtf8() + '\n');
        QElapsedTimer timer;
        timer.start();
        while (!process_.canReadLine() && timer.elapsed() < 30000) process_.waitForReadyRead(100);
        return QString::fromUtf8(process_.readLine()).trimmed();
    }

    QProcess process_;
};

}  // namespace qv::test
