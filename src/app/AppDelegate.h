#pragma once
// The application's launch sequence, the save folder the user chooses once, and the main window.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

#include <memory>

class QFileDialog;
#include <QSettings>
class QWidget;

namespace qv::app {

class DesktopKeys;
class MainWindow;
class WindowDelegate;

class AppDelegate : public QObject {
    Q_OBJECT
public:
    // Where a known save folder's server listens and which feed the update check reads; tests
    // use an ephemeral port and a local feed.
    struct LaunchOptions {
        std::uint16_t serverPort = 9080;
        std::optional<QUrl> updateFeed;
    };

    // `settings`: where the user's choices are kept (the edition's own settings when null).
    explicit AppDelegate(std::unique_ptr<QSettings> settings = nullptr, QObject* parent = nullptr);
    ~AppDelegate() override;

    void setLaunchOptions(const LaunchOptions& options) { options_ = options; }

    MainWindow* window() const;
    WindowDelegate* windowDelegate() const { return windowDelegate_.get(); }

    void applicationDidFinishLaunching();
    void applicationWillTerminate() {}
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }

    void restoreSettings();
    void chooseSaveFolder();
    void storeSaveFolder(const QString& folder);
    void checkForUpdate();

    // How long a first launch waits before asking for the save folder.
    static constexpr int saveFolderPromptDelayMs = 3000;

signals:
    // A new folder panel was opened (tests and screenshots find it here). It is on screen in front
    // of the main window; one asked for before the main window exists comes on screen with it.
    void saveFolderPanelShown(QFileDialog* panel);
    // initGlobal ran for this folder.
    void saveFolderInitialised(const QString& folder);

private:
    void changeArchiveHandler();
    void useSaveFolder(const QString& folder);
    void presentPanel(QFileDialog* panel);

    LaunchOptions options_;
    std::unique_ptr<QSettings> settings_;
    std::unique_ptr<WindowDelegate> windowDelegate_;
    QPointer<MainWindow> window_;
    QList<QPointer<QFileDialog>> waitingPanels_;  // asked for before the main window existed
    QString panelFolder_;                          // where the next panel opens
    std::unique_ptr<DesktopKeys> keys_;
};

}  // namespace qv::app
