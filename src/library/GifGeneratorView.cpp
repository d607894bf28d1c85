#include "library/GifGeneratorView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QThreadPool>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "helpers/NiceButtonStyle.h"
#include "library/ArchiveListView.h"
#include "library/MainThreadHandover.h"
#include "library/PlainTextAlert.h"
#include "library/RoundedPanel.h"
#include "library/ThumbnailList.h"
#include "library/ThumbnailView.h"
#include "state/AppState.h"
#include "state/Notifications.h"
#include "util/Print.h"

namespace qv::library {

namespace nt = app::notification;

namespace {

constexpr int kColumnWidth = 140;
constexpr int kSliderSteps = 140;  // hundredths of a second over 0 to 1.4

// The current frame's picture, 640 x 360, scaled to fill, with a white rounded border.
class FramePicture : public QWidget {
public:
    explicit FramePicture(QWidget* parent) : QWidget(parent) { setFixedSize(640, 360); }
    void setImage(const QImage& image) {
        image_ = image;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (!image_.isNull()) {
            p.save();
            p.setClipRect(rect());
            const QSize filled = image_.size().scaled(size(), Qt::KeepAspectRatioByExpanding);
            p.drawImage(QRect(QPoint((width() - filled.width()) / 2, (height() - filled.height()) / 2), filled), image_);
            p.restore();
        }
        p.setPen(QPen(Qt::white, 2));
        p.drawRoundedRect(r, 10, 10);
    }

private:
    QImage image_;
};

QPushButton* niceButton(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(text);
    app::NiceButtonStyle{Qt::white, QColor::fromRgbF(0, 0, 1, 0.6f), parent->palette().color(QPalette::Highlight)}.apply(b);
    return b;
}

// The save panel of the export. Qt's own dialog reads a typed name holding double quotes as a
// list of quoted names ("my "class" #1.gif" would give "class"); a GIF has one name, and that is
// the text as typed.
class ExportPanel : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    std::function<void(const QString& path)> onChosen;

    void accept() override {
        const auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = edit ? edit->text() : QString();
        if (!typed.contains(QLatin1Char('"'))) {
            QFileDialog::accept();  // Qt's road, which ends in fileSelected
            return;
        }
        const QFileInfo info(QDir(directory().absolutePath()).absoluteFilePath(typed));
        if (info.isDir()) {
            setDirectory(info.absoluteFilePath());
            return;
        }
        if (info.exists() &&
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(info.fileName()),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
            return;
        const QString path = info.absoluteFilePath();
        const auto chosen = onChosen;
        QDialog::accept();
        if (chosen) chosen(path);
    }
};

QUrl urlOf(const app::Notification& n) {
    const QVariant v = n.userInfo.value(QStringLiteral("url"));
    if (v.typeId() == QMetaType::QUrl) return v.toUrl();
    if (v.typeId() == QMetaType::QString) return QUrl::fromLocalFile(v.toString());
    return {};
}

}  // namespace

GifGeneratorView::GifGeneratorView(QWidget* parent) : QWidget(parent), handover_(MainThreadHandover::create(this)) {
    setObjectName(QStringLiteral("gifGenerator"));
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &GifGeneratorView::advancePreview);

    auto* rowLayout = new QHBoxLayout(this);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(0);

    // The frame column.
    column_ = new RoundedPanel(Qt::gray, this);
    column_->setObjectName(QStringLiteral("frameColumn"));
    column_->setFixedWidth(kColumnWidth);
    auto* column = new QVBoxLayout(column_);
    column->setContentsMargins(0, 5, 0, 5);
    column->setSpacing(2);
    auto* title = new QLabel(QStringLiteral("Load previous frames:"), column_);
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    auto* plusRow = new QHBoxLayout;
    plusRow->setSpacing(2);
    for (int n : {1, 3, 5}) {
        QPushButton* b = niceButton(QStringLiteral("+%1").arg(n), column_);
        connect(b, &QPushButton::clicked, this, [this, n] { loadPreviousFrames(n); });
        plusRow->addWidget(b);
    }
    column->addLayout(plusRow);
    frameList_ = new ThumbnailList(
        QStringLiteral("Next snapshot will be here."),
        [this](const LibraryFilePtr& item, QWidget* parent) {
            return new ThumbnailView(QStringLiteral("gif"), false, item, [this, item] { removeFrame(item); }, {}, parent);
        },
        column_);
    frameList_->setFixedWidth(kColumnWidth);
    column->addWidget(frameList_);
    auto* bottomRow = new QHBoxLayout;
    clearButton_ = niceButton(QStringLiteral("Clear"), column_);
    connect(clearButton_, &QPushButton::clicked, this, &GifGeneratorView::clearFrames);
    closeButton_ = niceButton(QStringLiteral("Close"), column_);
    connect(closeButton_, &QPushButton::clicked, this, &GifGeneratorView::close);
    bottomRow->addStretch(1);
    bottomRow->addWidget(clearButton_);
    bottomRow->addWidget(closeButton_);
    bottomRow->addStretch(1);
    column->addLayout(bottomRow);
    rowLayout->addWidget(column_, 0, Qt::AlignVCenter);

    // The preview part.
    preview_ = new RoundedPanel(QColor::fromRgbF(0.5f, 0.5f, 0.5f, 0.8f), this);
    preview_->setObjectName(QStringLiteral("preview"));
    auto* previewLayout = new QVBoxLayout(preview_);
    previewLayout->setContentsMargins(5, 5, 5, 5);
    picture_ = new FramePicture(preview_);
    previewLayout->addWidget(picture_, 0, Qt::AlignCenter);
    // The controls row keeps its parts together, centred under the picture.
    auto* controls = new QHBoxLayout;
    controls->setContentsMargins(5, 5, 5, 5);
    controls->addStretch(1);
    frameCount_ = new QLabel(preview_);
    frameCount_->setObjectName(QStringLiteral("frameCount"));
    QFont headline = frameCount_->font();
    headline.setBold(true);
    frameCount_->setFont(headline);
    controls->addWidget(frameCount_);
    controls->addSpacing(50);
    auto* slow = new QLabel(QStringLiteral("Slow"), preview_);
    slow->setObjectName(QStringLiteral("slowLabel"));
    slow->setFont(headline);
    controls->addWidget(slow);
    slider_ = new QSlider(Qt::Horizontal, preview_);
    slider_->setObjectName(QStringLiteral("speedSlider"));
    slider_->setRange(0, kSliderSteps);
    slider_->setFixedWidth(150);
    slider_->setValue(int(std::lround(sliderValue() * 100)));
    connect(slider_, &QSlider::valueChanged, this, [this](int v) { setSliderValue(v / 100.0); });
    controls->addWidget(slider_);
    auto* fast = new QLabel(QStringLiteral("Fast"), preview_);
    fast->setObjectName(QStringLiteral("fastLabel"));
    fast->setFont(headline);
    controls->addWidget(fast);
    controls->addSpacing(50);
    exportButton_ = niceButton(QStringLiteral("Export GIF"), preview_);
    exportButton_->setMinimumWidth(80);
    connect(exportButton_, &QPushButton::clicked, this, &GifGeneratorView::showExportPanel);
    controls->addWidget(exportButton_);
    controls->addStretch(1);
    previewLayout->addLayout(controls);
    progress_ = new QProgressBar(preview_);
    progress_->setObjectName(QStringLiteral("exportProgress"));
    progress_->setFormat(QStringLiteral("Exporting %v of %m frames"));
    progress_->hide();
    previewLayout->addWidget(progress_);
    rowLayout->addWidget(preview_, 0, Qt::AlignVCenter);

    app::NotificationCenter::defaultCenter().addObserver(
        this, nt::ImageCaptured, [this](const app::Notification& n) { snapshotCaptured(n); });
    watchArchive();
    refreshPreview();
    framesUpdated();
}

GifGeneratorView::~GifGeneratorView() {
    handover_->detach();
    if (!exporting_) return;
    // Closed while the GIF was written (the root view toggled the panel away, or the program quit):
    // the export stops, its working file goes, and the teacher is told, on the window that stays.
    *stopExport_ = true;
    QWidget* window = parentWidget() ? parentWidget()->window() : nullptr;
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Export GIF"),
                                QStringLiteral("The GIF maker was closed while the GIF was written: the export was "
                                               "stopped and nothing was written."),
                                QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("exportStoppedAlert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QPushButton* GifGeneratorView::button(const QString& text) const { return findChild<QPushButton*>(text); }

ArchiveListView* GifGeneratorView::archive() {
    watchArchive();
    return app::archiveListView.data();
}

void GifGeneratorView::watchArchive() {
    ArchiveListView* current = app::archiveListView.data();
    if (current == watchedArchive_) return;
    if (watchedArchive_) disconnect(watchedArchive_, nullptr, this, nullptr);
    watchedArchive_ = current;
    if (current)
        connect(current, &ArchiveListView::capturedFileInserted, this,
                [this](const LibraryFilePtr& item) { appendCapturedItem(item); });
}

void GifGeneratorView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous() && !appeared_) {
        appeared_ = true;
        panelAppeared();
    }
}

void GifGeneratorView::framesUpdated() {
    frameList_->setItems(frameFileList_);
    frameCount_->setText(QStringLiteral("%1 Frames").arg(frameFileList_.size()));
    recentre();
    emit framesChanged();
}

void GifGeneratorView::refreshPreview() {
    const bool shown = gifCurrentFrameFile_ && gifCurrentFrameFile_->thumbnailImage;
    for (QWidget* w : preview_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (w != progress_) w->setVisible(shown);
    progress_->setVisible(exporting_);
    preview_->setVisible(shown || exporting_);
    if (shown) static_cast<FramePicture*>(picture_)->setImage(*gifCurrentFrameFile_->thumbnailImage);
    clearButton_->setVisible(bool(gifCurrentFrameFile_));
    exportButton_->setEnabled(!exporting_);
    closeButton_->setEnabled(!exporting_);  // the export ends with a message first
    recentre();
}

void GifGeneratorView::recentre() {
    // The panel grows with its frames and preview; it stays centred over the window.
    adjustSize();
    if (QWidget* p = parentWidget()) {
        QRect r(QPoint(0, 0), size());
        r.moveCenter(p->rect().center());
        move(r.topLeft());
    }
}

void GifGeneratorView::panelAppeared() {
    if (!frameFileList_.empty()) return;
    loadFrames();
}

void GifGeneratorView::loadFrames() {
    frameFileList_.clear();
    framesUpdated();
    if (!app::folderLocations()) {
        util::printLine("NO Archive Library yet");
        QTimer::singleShot(retryDelayMs, this, [this] { loadFrames(); });
        return;
    }
    ArchiveListView* list = archive();
    if (!list || !list->firstFile()) return;
    const QUuid first = list->firstFile()->id;
    for (const LibraryFilePtr& item : list->fileList()) {
        if (item->type == LibraryFileType::PNG) frameFileList_.insert(frameFileList_.begin(), item);
        if (item->id == first) break;
    }
    framesUpdated();
    startPreviewTimer();
}

void GifGeneratorView::loadPreviousFrames(int count) {
    ArchiveListView* list = archive();
    if (list) {
        const LibraryFilePtr first = frameFileList_.empty() ? nullptr : frameFileList_.front();
        bool passed = !first;
        int inserted = 0;
        for (const LibraryFilePtr& item : list->fileList()) {
            if (inserted >= count) break;
            if (item->type != LibraryFileType::PNG) continue;
            if (!passed) {
                passed = item->id == first->id;
                continue;
            }
            frameFileList_.insert(frameFileList_.begin(), item);
            ++inserted;
        }
        framesUpdated();
    }
    startPreviewTimer();
}

void GifGeneratorView::snapshotCaptured(const app::Notification& notification) {
    const QUrl url = urlOf(notification);
    if (url.isEmpty()) return;
    pending_.push_back({url, false});
    QTimer::singleShot(appendDelayMs, this, [this, url] { appendPending(url); });
}

void GifGeneratorView::appendPending(const QUrl& url) {
    // The frame is the archive list's own item for that file; when the list has not added it
    // yet, capturedFileInserted brings it later.
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) { return p.url == url && !p.due; });
    if (it == pending_.end()) return;
    it->due = true;
    ArchiveListView* list = archive();
    if (!list) return;
    if (LibraryFilePtr item = list->itemForUrl(url)) appendCapturedItem(item);
}

void GifGeneratorView::appendCapturedItem(const LibraryFilePtr& item) {
    if (!item->url) return;
    // Only a file announced while this panel was open, once its 0.1 s have passed.
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [&](const Pending& p) { return p.url == *item->url && p.due; });
    if (it == pending_.end()) return;
    pending_.erase(it);
    const bool present = std::any_of(frameFileList_.begin(), frameFileList_.end(),
                                     [&](const LibraryFilePtr& f) { return f->id == item->id; });
    if (present) return;
    frameFileList_.push_back(item);
    framesUpdated();
    startPreviewTimer();
}

void GifGeneratorView::startPreviewTimer() {
    stopPreviewTimer();
    timer_.start(std::max(1, int(std::lround(gifInterval_ * 1000))));
}

void GifGeneratorView::stopPreviewTimer() { timer_.stop(); }

void GifGeneratorView::advancePreview() {
    auto it = gifCurrentFrameFile_
                  ? std::find_if(frameFileList_.begin(), frameFileList_.end(),
                                 [&](const LibraryFilePtr& f) { return f->id == gifCurrentFrameFile_->id; })
                  : frameFileList_.end();
    if (it != frameFileList_.end() && std::next(it) != frameFileList_.end())
        gifCurrentFrameFile_ = *std::next(it);
    else
        gifCurrentFrameFile_ = frameFileList_.empty() ? nullptr : frameFileList_.front();
    refreshPreview();
}

void GifGeneratorView::clearFrames() {
    frameFileList_.clear();
    framesUpdated();
}

void GifGeneratorView::removeFrame(const LibraryFilePtr& frame) {
    auto it = std::find_if(frameFileList_.begin(), frameFileList_.end(),
                           [&](const LibraryFilePtr& f) { return f->id == frame->id; });
    if (it == frameFileList_.end()) return;
    frameFileList_.erase(it);
    framesUpdated();
}

void GifGeneratorView::setSliderValue(double value) {
    gifInterval_ = 1.5 - std::clamp(value, 0.0, 1.4);
    const int steps = int(std::lround(value * 100));
    if (slider_->value() != steps) {
        const QSignalBlocker block(slider_);
        slider_->setValue(steps);
    }
    startPreviewTimer();
}

void GifGeneratorView::showExportPanel() {
    if (exporting_) return;
    auto* panel = new ExportPanel(this, QStringLiteral("Export GIF"));
    panel->setObjectName(QStringLiteral("exportPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setWindowModality(Qt::NonModal);
    const auto folders = app::folderLocations();
    panel->setDirectory(folders ? folders->rootFolderURL : QDir::homePath());
    panel->selectFile(QStringLiteral("export.gif"));
    QPointer<GifGeneratorView> self(this);
    panel->onChosen = [self](const QString& file) {
        if (!self) return;
        self->stopPreviewTimer();
        self->exportGif(file);
    };
    connect(panel, &QFileDialog::fileSelected, this, [panel](const QString& file) { panel->onChosen(file); });
    exportPanel_ = panel;
    panel->show();
}

void GifGeneratorView::exportGif(const QString& target) {
    if (frameFileList_.empty() || target.isEmpty() || exporting_) return;
    std::vector<GifFrameInput> inputs;
    for (const LibraryFilePtr& f : frameFileList_) inputs.push_back({localPath(f->url), f->description()});
    std::vector<LibraryFilePtr> frames = frameFileList_;
    GifEncoderOptions options = encoderOptions;
    options.intervalSeconds = gifInterval_;

    exporting_ = true;
    stopExport_ = std::make_shared<std::atomic<bool>>(false);
    progress_->setRange(0, int(inputs.size()));
    progress_->setValue(0);
    refreshPreview();
    std::shared_ptr<MainThreadHandover> handover = handover_;
    QThreadPool::globalInstance()->start([this, handover, target, inputs, frames, options, stop = stopExport_] {
        GifExportResult result = writeGif(
            target, inputs, options,
            [this, handover](int done, int) { handover->post([this, done] { progress_->setValue(done); }); },
            stop.get());
        handover->post([this, result, frames] { exportDone(result, frames); });
    });
}

void GifGeneratorView::exportDone(const GifExportResult& result, const std::vector<LibraryFilePtr>& frames) {
    exporting_ = false;
    lastExport_ = result;
    refreshPreview();
    QString skipped;
    if (!result.skipped.isEmpty())
        skipped = QStringLiteral("\n\nLeft out, their pictures could not be read: ") + result.skipped.join(QStringLiteral(", "));

    auto* alert = new QMessageBox(this);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setObjectName(QStringLiteral("exportAlert"));
    resultAlert_ = alert;
    if (!result.ok) {
        util::printLine("GIF export failed:", result.error.toStdString());
        alert->setIcon(QMessageBox::Warning);
        alert->setText(QStringLiteral("Export Failed"));
        alert->setInformativeText(result.error + skipped);
        showTextsPlain(*alert);
        alert->addButton(QMessageBox::Ok);
        alert->open();
        emit exportFinished(false);
        return;
    }
    exportedFrames_.clear();
    for (int i : result.written) exportedFrames_.push_back(frames[size_t(i)]);
    showingDeleteAlert_ = true;
    alert->setText(QStringLiteral("Export Successful!"));
    alert->setInformativeText(QStringLiteral("Do you want to DELETE original snapshots from your computer?") + skipped);
    showTextsPlain(*alert);
    QPushButton* del = alert->addButton(QStringLiteral("DELETE"), QMessageBox::AcceptRole);
    QPushButton* keep = alert->addButton(QStringLiteral("Keep"), QMessageBox::RejectRole);
    alert->setDefaultButton(keep);
    connect(alert, &QMessageBox::finished, this, [this, alert, del] {
        showingDeleteAlert_ = false;
        const bool deleting = alert->clickedButton() == del;
        // After the alert has finished closing: either answer may destroy this panel.
        QTimer::singleShot(0, this, [this, deleting] {
            if (deleting)
                deleteOriginals();
            else
                close();
        });
    });
    alert->open();
    emit exportFinished(true);
}

void GifGeneratorView::deleteOriginals() {
    // The snapshots in the GIF leave the disk and the archive list; the next GIF starts from the
    // next snapshot taken.
    ArchiveListView* list = archive();
    for (const LibraryFilePtr& frame : exportedFrames_) {
        QFile::remove(localPath(frame->url));
        if (list) list->removeFromFileList(frame->id);
    }
    exportedFrames_.clear();
    frameFileList_.clear();
    gifCurrentFrameFile_.reset();
    if (list) list->clearFirstFile();
    framesUpdated();
    refreshPreview();
    // Last: the root view may destroy this panel in answer.
    app::post(nt::OpenGifGenerator);
}

void GifGeneratorView::close() { app::post(nt::OpenGifGenerator); }

}  // namespace qv::library
