#pragma once
// The GIF maker: a panel over the main window that turns the snapshots taken since start into an
// animated GIF. Its frames are the archive list's own items (reached through
// app::archiveListView): on opening, the archive list's snapshots from the first one announced
// since start to the newest, oldest first; "+1", "+3", "+5" add older ones in front; each new
// snapshot is appended when the archive list has added it. A timer cycles the preview through the
// frames at the chosen interval; "Export GIF" writes the file where the user chooses, under the
// name as typed (off the main thread, with progress; "Close" waits for its end), and then offers to
// delete the snapshots it holds. A panel closed another way while it exports stops the export and
// says so.
// Main thread only.
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <atomic>
#include <memory>
#include <vector>

#include "library/GifEncoder.h"
#include "library/LibraryFile.h"
#include "state/NotificationCenter.h"

#include <QFileDialog>
class QLabel;
#include <QMessageBox>
class QProgressBar;
class QPushButton;
class QSlider;

namespace qv::library {

class ArchiveListView;
class MainThreadHandover;
class ThumbnailList;

class GifGeneratorView : public QWidget {
    Q_OBJECT
public:
    explicit GifGeneratorView(QWidget* parent = nullptr);
    ~GifGeneratorView() override;

    // View state.
    const std::vector<LibraryFilePtr>& frameFileList() const { return frameFileList_; }
    const LibraryFilePtr& gifCurrentFrameFile() const { return gifCurrentFrameFile_; }
    double gifInterval() const { return gifInterval_; }
    bool previewTimerRunning() const { return timer_.isActive(); }
    bool showingDeleteAlert() const { return showingDeleteAlert_; }
    bool exporting() const { return exporting_; }

    // Operations (what appearing, buttons, the slider, notifications and timers run).
    void panelAppeared();
    void loadFrames();
    void loadPreviousFrames(int count);
    void snapshotCaptured(const app::Notification& notification);
    void startPreviewTimer();
    void stopPreviewTimer();
    void advancePreview();
    void clearFrames();
    void removeFrame(const LibraryFilePtr& frame);
    // The slider shows 1.5 minus the interval (0 to 1.4).
    void setSliderValue(double value);
    double sliderValue() const { return 1.5 - gifInterval_; }
    void showExportPanel();
    void exportGif(const QString& target);
    void deleteOriginals();
    void close();

    // Parts, for tests.
    ThumbnailList* frameList() const { return frameList_; }
    QWidget* previewPart() const { return preview_; }
    QLabel* frameCountLabel() const { return frameCount_; }
    QSlider* speedSlider() const { return slider_; }
    QPushButton* button(const QString& text) const;
    QProgressBar* progressBar() const { return progress_; }
    QMessageBox* resultAlert() const { return resultAlert_; }
    QFileDialog* exportPanel() const { return exportPanel_; }
    const GifExportResult& lastExport() const { return lastExport_; }

    int retryDelayMs = 3000;
    int appendDelayMs = 100;
    GifEncoderOptions encoderOptions;

signals:
    void framesChanged();
    void exportFinished(bool ok);

protected:
    void showEvent(QShowEvent* event) override;

private:
    ArchiveListView* archive();
    void watchArchive();
    void appendCapturedItem(const LibraryFilePtr& item);
    void appendPending(const QUrl& url);
    void framesUpdated();
    void refreshPreview();
    void recentre();
    void exportDone(const GifExportResult& result, const std::vector<LibraryFilePtr>& frames);

    std::vector<LibraryFilePtr> frameFileList_;
    LibraryFilePtr gifCurrentFrameFile_;
    double gifInterval_ = 0.5;
    QTimer timer_;
    bool showingDeleteAlert_ = false;
    bool exporting_ = false;
    std::shared_ptr<std::atomic<bool>> stopExport_ = std::make_shared<std::atomic<bool>>(false);
    bool appeared_ = false;

    // Snapshots announced whose archive item has not arrived yet, oldest first.
    struct Pending {
        QUrl url;
        bool due;  // its 0.1 s have passed
    };
    std::vector<Pending> pending_;
    QPointer<ArchiveListView> watchedArchive_;
    // The frames the last export wrote: what "DELETE" removes.
    std::vector<LibraryFilePtr> exportedFrames_;
    GifExportResult lastExport_;
    std::shared_ptr<MainThreadHandover> handover_;

    ThumbnailList* frameList_;
    QWidget* column_;
    QWidget* preview_;
    QWidget* picture_;
    QLabel* frameCount_;
    QSlider* slider_;
    QPushButton* clearButton_;
    QPushButton* closeButton_;
    QPushButton* exportButton_;
    QProgressBar* progress_;
    QPointer<QMessageBox> resultAlert_;
    QPointer<QFileDialog> exportPanel_;
};

}  // namespace qv::library
