#pragma once
// The archive list: a narrow panel over the left edge of the main window with the snapshots and
// movies of the save folder as thumbnail cells, newest first. It fills itself from "images/" and
// "videos/" when it first appears (listing and thumbnails on a worker, handed to the main thread
// one item at a time, in listing order), adds each snapshot or movie the camera announces at the
// top, and slides out of the window 3.0 s after it first appears and on "HideArchiveList"; the
// handle on its right edge slides it back. It also remembers the first snapshot announced since
// start, from which the GIF maker takes its frames (through app::archiveListView).
//
// All state belongs to the main thread.
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "library/LibraryFile.h"
#include "state/NotificationCenter.h"

#include <QMessageBox>
class QVariantAnimation;

namespace qv::library {

class MainThreadHandover;
class ThumbnailList;

class ArchiveListView : public QWidget {
    Q_OBJECT
public:
    explicit ArchiveListView(QWidget* parent = nullptr);
    ~ArchiveListView() override;

    // View state.
    bool hideArchiveList() const { return hideArchiveList_; }
    const std::vector<LibraryFilePtr>& fileList() const { return fileList_; }
    const LibraryFilePtr& firstFile() const { return firstFile_; }
    // The items of fileList with this url (an announced file may also have been found by a load).
    LibraryFilePtr itemForUrl(const QUrl& url) const;

    // What the GIF maker changes: drops the first item with this id, and forgets the first file.
    void removeFromFileList(const QUuid& id);
    void clearFirstFile();

    // Operations (what appearing, notifications, taps and timers run).
    void panelAppeared();
    void loadArchive();
    void addCapturedFile(const app::Notification& notification, LibraryFileType type);
    void collapse();
    void toggleCollapsed();
    void openInFinder();
    void openGifGenerator();
    void showSideBySide(const LibraryFilePtr& item);
    void removeFile(const LibraryFilePtr& item);

    // Parts, for the root view and tests.
    ThumbnailList* list() const { return list_; }
    QWidget* body() const { return body_; }
    QWidget* openInFinderRow() const { return finderRow_; }
    QWidget* generateGifRow() const { return gifRow_; }  // null in the Vemo edition
    QWidget* handle() const { return handle_; }
    // How far the list is shifted to the left now (0 open, 140 collapsed; between while sliding).
    int shift() const { return shift_; }
    bool handlePointsLeft() const { return !hideArchiveList_; }
    QMessageBox* noFolderAlert() const { return noFolderAlert_; }
    // How the load's worker hands its items to this list.
    const std::shared_ptr<MainThreadHandover>& handover() const { return handover_; }

    // Opens a file-viewer window on a folder (the desktop's file manager; tests replace it) and
    // tells `settled` once whether it opened; a failure is shown in the window by then.
    std::function<void(const QString& folder, std::function<void(bool opened)> settled)> openFolder;
    // The 3.0 s of the first collapse and of the retries while no save folder is known.
    int collapseDelayMs = 3000;
    int retryDelayMs = 3000;

    QSize sizeHint() const override;

signals:
    // fileList or firstFile changed.
    void fileListChanged();
    // An announced snapshot or movie was put at the top (after its thumbnail arrived).
    void capturedFileInserted(const qv::library::LibraryFilePtr& item);
    // A load from the folders handed over its last item.
    void loadFinished();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void listArchiveFolders(const QStringList& paths);
    void setHideArchiveList(bool hide, bool animated);
    void applyShift(int shift);
    void contentChanged();

    bool hideArchiveList_ = false;
    std::vector<LibraryFilePtr> fileList_;
    LibraryFilePtr firstFile_;

    std::shared_ptr<MainThreadHandover> handover_;
    int loadGeneration_ = 0;
    bool appearedOnce_ = false;

    QWidget* row_;
    QWidget* body_;
    QWidget* finderRow_;
    QWidget* gifRow_ = nullptr;
    ThumbnailList* list_;
    QWidget* handle_;
    int shift_ = 0;
    QPointer<QVariantAnimation> animation_;
    QPointer<QMessageBox> noFolderAlert_;
};

}  // namespace qv::library
