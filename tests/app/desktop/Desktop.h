#pragma once
// A desktop of its own for the real program: an Xvfb display with openbox on it (or a bare one
// with no window manager), the program started there with its own settings, and the window
// manager's view of its windows.
#include <QElapsedTimer>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <optional>

namespace qv::test {

class Desktop {
public:
    enum class WindowManager { openbox, none };
    explicit Desktop(QSize size = {1920, 1080}, WindowManager wm = WindowManager::openbox);
    ~Desktop();
    bool ready() const { return ready_; }
    QString display() const { return display_; }
    QSize size() const { return size_; }

    // Runs an X tool (xprop, xdotool) on this display; its standard output, trimmed.
    QString tool(const QString& program, const QStringList& arguments, int* exitCode = nullptr) const;

    // The window manager's state of a window: its _NET_WM_STATE atoms, and its frame on screen
    // (the client area, as the window manager placed it).
    QStringList wmState(const QString& window) const;
    std::optional<QRect> geometry(const QString& window) const;
    // Top-level windows, bottom to top, as the window manager stacks them.
    QStringList stacking() const;
    // The first visible window whose name matches the pattern, or nothing.
    std::optional<QString> findWindow(const QString& namePattern) const;
    // The window with the keyboard as the window manager says (_NET_ACTIVE_WINDOW), in decimal.
    QString activeWindow() const;
    // The window `window` is transient for (WM_TRANSIENT_FOR), in decimal; empty when none.
    QString transientFor(const QString& window) const;

private:
    QSize size_;
    QProcess server_;
    QProcess wm_;
    QString display_;
    bool ready_ = false;
};

// One run of the program on a desktop, with its settings in `configHome`; `program` empty: the
// Vemo edition.
class Launch {
public:
    Launch(const Desktop& desktop, const QString& configHome, const QString& program = {});
    ~Launch();
    bool started() const { return started_; }
    // Waits for the main window and returns its id.
    std::optional<QString> waitForWindow(int timeoutMs = 60000);
    bool waitForExit(int timeoutMs = 30000);
    // What the program printed so far.
    QString output() const;
    QProcess& process() { return process_; }
    // Milliseconds since the program was started.
    qint64 sinceStart() const { return sinceStart_.elapsed(); }

private:
    const Desktop& desktop_;
    QProcess process_;
    QString outputPath_;
    bool started_ = false;
    QElapsedTimer sinceStart_;
};

// Waits (polling, with a generous deadline) until `condition` holds.
bool eventually(const std::function<bool()>& condition, int timeoutMs);

}  // namespace qv::test
