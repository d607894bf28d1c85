#include "app/AppDelegate.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <utility>

#include "app/ContentView.h"
#include "app/DesktopKeys.h"
#include "app/HIDLinks.h"
#include "app/InitGlobal.h"
#include "app/MainWindow.h"
#include "app/RecordingRecovery.h"
#include "app/SaveFolderBookmark.h"
#include "app/Settings.h"
#include "app/UpdateCheck.h"
#include "app/WindowDelegate.h"
#include "library/files/Leftovers.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "state/QtPrint.h"
#include "util/BuildInfo.h"

namespace qv::app {

namespace {
constexpr const char* kFolderKey = "bookmark_folder";
constexpr const char* kOfflineKey = "bookmark_offline";
constexpr const char* kResolutionKey = "bookmark_resolution";

// A stored value of another type counts as absent.
std::optional<QVariant> storedValue(QSettings& settings, const char* key, QMetaType::Type type) {
    const QVariant v = settings.value(key);
    if (!v.isValid() || v.typeId() != type) return std::nullopt;
    return v;
}
}  // namespace

AppDelegate::AppDelegate(std::unique_ptr<QSettings> settings, QObject* parent)
    : QObject(parent),
      settings_(settings ? std::move(settings) : openUserSettings()),
      windowDelegate_(std::make_unique<WindowDelegate>()),
      panelFolder_(QDir::homePath()) {}

AppDelegate::~AppDelegate() {
    for (const QPointer<QFileDialog>& panel : waitingPanels_)
        if (panel) delete panel.data();
    if (window_) delete window_.data();  // with the panels shown over it
}

MainWindow* AppDelegate::window() const { return window_.data(); }

void AppDelegate::applicationDidFinishLaunching() {
    restoreSettings();

    installHIDLinkStarter();
    auto* content = new ContentView(settings_.get());
    auto* window = new MainWindow(content, settings_.get(), QString());
    window_ = window;
    QRect frame(QPoint(0, 0), QSize(1280, 800));
    if (QScreen* screen = QGuiApplication::primaryScreen()) frame.moveCenter(screen->availableGeometry().center());
    window->setNormalFrame(frame);
    const QString name = QString::fromUtf8(util::build::bundleName);
    window->setWindowTitle(name);
    window->setFrameAutosaveName(name);  // a frame saved earlier under the name takes effect here
    // Full screen from the start: asked before the window is mapped, so the window manager never
    // shows it otherwise; leaving full screen returns to the normal frame set above.
    window->openFullScreen();
    window->show();
    window->raise();
    window->activateWindow();
    window->installEventFilter(windowDelegate_.get());
    // A folder asked for before the window existed (the stored one no longer works) is asked now,
    // in front of it.
    for (const QPointer<QFileDialog>& panel : std::exchange(waitingPanels_, {}))
        if (panel) presentPanel(panel);
    keys_ = std::make_unique<DesktopKeys>(window);

    NotificationCenter::defaultCenter().addObserver(this, notification::ChangeArchive,
                                                    [this](const Notification&) { changeArchiveHandler(); });
}

void AppDelegate::restoreSettings() {
    if (auto offline = storedValue(*settings_, kOfflineKey, QMetaType::Bool)) {
        globalOfflineMode = offline->toBool();
        util::printLine("offlineMode: ", globalOfflineMode);
    }
    if (auto resolution = storedValue(*settings_, kResolutionKey, QMetaType::QString)) {
        applyResolution(resolution->toString());
        util::printLine("Resolution: ", globalResolution);
    }
    auto folder = storedValue(*settings_, kFolderKey, QMetaType::QByteArray);
    if (!folder) {
        util::printLine("No Access yet");
        QTimer::singleShot(saveFolderPromptDelayMs, this, &AppDelegate::chooseSaveFolder);
        return;
    }
    QString error;
    auto resolved = resolveBookmark(folder->toByteArray(), &error);
    if (!resolved) {
        util::printLine("Bookmark Access Fails: " + error);
        chooseSaveFolder();
        return;
    }
    if (resolved->isStale) {
        util::printLine("Bookmark Access isSlate");
        chooseSaveFolder();
        return;
    }
    util::printLine("Read Permission Root:", QUrl::fromLocalFile(resolved->path + "/"));
    useSaveFolder(resolved->path);
}

void AppDelegate::presentPanel(QFileDialog* panel) {
    // A dialog of the main window: the window manager keeps it above the (full-screen) window,
    // whatever is clicked in the window meanwhile, and gives it the keyboard.
    panel->setParent(window_, panel->windowFlags());
    panel->show();
    panel->raise();
    panel->activateWindow();
}

void AppDelegate::chooseSaveFolder() {
    // Each call opens a panel of its own; each panel's choice is handled on its own.
    auto* panel = new QFileDialog(nullptr, QStringLiteral("Please choose a folder to be used for saving files."));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly);
    panel->setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    panel->setWindowModality(Qt::NonModal);
    // Where the teacher's folders are: the folder the last panel was in, at first the home folder
    // (never the folder the program happened to be started from).
    panel->setDirectory(panelFolder_);
    connect(panel, &QFileDialog::finished, this, [this, panel] {
        const QString shown = panel->directory().absolutePath();
        if (QFileInfo(shown).isDir()) panelFolder_ = shown;
    });
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString& folder) {
        if (!folder.isEmpty()) storeSaveFolder(folder);
    });
    if (window_)
        presentPanel(panel);
    else
        waitingPanels_.append(panel);  // asked during the launch, before the main window is made
    emit saveFolderPanelShown(panel);
}

void AppDelegate::storeSaveFolder(const QString& folder) {
    auto data = bookmarkData(folder);
    if (!data) {
        util::printLine("Error storing bookmarks");
        return;
    }
    settings_->setValue(kFolderKey, *data);
    syncSettings(*settings_);
    const QString path = QString::fromUtf8(*data);
    util::printLine("Save Permission Root:", path);
    useSaveFolder(path);
}

void AppDelegate::useSaveFolder(const QString& folder) {
    initGlobal(folder, options_.serverPort);
    if (auto locations = folderLocations()) {
        QPointer<AppDelegate> self(this);
        recoverInterruptedRecordings(locations->videosFolderURL,
                                     [self]() -> QWidget* { return self ? self->window() : nullptr; });
        // What a killed run left of its working files, wherever it made them.
        QThreadPool::globalInstance()->start([] { library::removeLeftoversOfEarlierRuns(); });
    }
    checkForUpdate();
    emit saveFolderInitialised(folder);
}

void AppDelegate::checkForUpdate() {
    if (options_.updateFeed)
        qv::app::checkForUpdate(*options_.updateFeed);
    else
        qv::app::checkForUpdate();
}

void AppDelegate::changeArchiveHandler() { chooseSaveFolder(); }

}  // namespace qv::app
