#include "library/files/FileLibraryView.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <cmath>
#include <map>

#include "helpers/FolderListing.h"
#include "helpers/Thumbnails.h"
#include "layout/WrappingRow.h"
#include "library/LibraryImages.h"
#include "library/RoundedPanel.h"
#include "library/ThumbnailView.h"
#include "library/files/ImportRules.h"
#include "library/files/SlideConverter.h"
#include "library/files/TemplateCatalogue.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "state/QtPrint.h"
#include "state/Resources.h"
#include "util/Print.h"

namespace qv::library {

using util::printLine;

namespace {

const QString kConvertingText = QStringLiteral(
    "Importing your file into Vemo Library, it will be appeared in the list on the right side. Please wait.");
constexpr int kColumnWidth = 125;
constexpr int kBodyHeight = 510;  // the tab view's 500 with 5 above and below

QString libraryFolder() {
    const auto locations = app::folderLocations();
    return locations ? locations->libraryFolderURL : QString();
}
QString templatesFolder() {
    const auto locations = app::folderLocations();
    return locations ? locations->templatesFolderURL : QString();
}

// A file URL for a path; a folder's URL ends with "/" (the library item tells folders by it).
QUrl itemUrl(const QString& path) {
    QString p = path;
    if (QFileInfo(p).isDir() && !p.endsWith(QLatin1Char('/'))) p += QLatin1Char('/');
    return QUrl::fromLocalFile(p);
}

// The item's picture from the file at its thumbnail address, made on the calling thread.
bool attachThumbnail(const LibraryFilePtr& item) {
    const QString path = localPath(item->thumbnail);
    if (path.isEmpty() || !QFileInfo::exists(path)) return false;
    QString error;
    std::optional<QImage> image = app::makeThumbnail(path, &error);
    if (!image || image->isNull()) return false;
    item->thumbnailImage = std::move(*image);
    return true;
}

// A cell is drawn when its item has a picture or its thumbnail file loads as one.
bool drawable(const LibraryFilePtr& item) {
    if (item->thumbnailImage && !item->thumbnailImage->isNull()) return true;
    QImageReader reader(localPath(item->thumbnail));
    return reader.canRead();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pieces of the panel.

// The half-round handle on the panel's left edge.
class CollapseHandle : public QWidget {
public:
    CollapseHandle(std::function<void()> onTap, QWidget* parent) : QWidget(parent), onTap_(std::move(onTap)) {
        setFixedSize(FileLibraryView::handleSize, FileLibraryView::handleSize);
        setCursor(Qt::PointingHandCursor);
    }
    void setCollapsed(bool collapsed) {
        collapsed_ = collapsed;
        update();
    }
    bool collapsed() const { return collapsed_; }
    void tap() { onTap_(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        // The circle's outline from 30 % to 70 % of its length, clockwise from the rightmost point
        // (through the leftmost one), closed by its chord.
        const QRectF circle(0, 0, width(), height());
        QPainterPath segment;
        segment.arcMoveTo(circle, -0.3 * 360);
        segment.arcTo(circle, -0.3 * 360, -0.4 * 360);
        segment.closeSubpath();
        p.fillPath(segment, QColor(Qt::gray));
        p.translate(10, 25);
        p.rotate(collapsed_ ? 90 : -90);
        const QPixmap arrow = libraryImage(QStringLiteral("toolbar_arrow_down"), QSize(16, 16));
        p.drawPixmap(-8, -8, arrow);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) onTap_();
    }

private:
    std::function<void()> onTap_;
    bool collapsed_ = false;
};

// One category chip.
class CategoryChip : public QLabel {
public:
    CategoryChip(const QString& text, std::function<void()> onEnter, std::function<void()> onTap)
        : QLabel(text), onEnter_(std::move(onEnter)), onTap_(std::move(onTap)) {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setCursor(Qt::PointingHandCursor);
    }
    void setHighlighted(bool on) {
        setStyleSheet(QStringLiteral("QLabel { color: %1; border: 1px solid white; border-radius: 3px;"
                                     " padding: 2px 6px; background: transparent; }")
                          .arg(on ? hoverColor.name() : QStringLiteral("white")));
    }

protected:
    void enterEvent(QEnterEvent*) override { onEnter_(); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) onTap_();
    }

private:
    std::function<void()> onEnter_;
    std::function<void()> onTap_;
};

// The chip row: leaving it clears the hovered chip.
class ChipRow : public QWidget {
public:
    explicit ChipRow(std::function<void()> onLeave) : onLeave_(std::move(onLeave)) {}

protected:
    void leaveEvent(QEvent*) override { onLeave_(); }

private:
    std::function<void()> onLeave_;
};

// A grid of thumbnail cells in three 125-point columns, rows 5 apart, one cell per item keyed by
// the item's id (a cell keeps its hover and alert state while its item stays listed).
class CellGrid : public QWidget {
public:
    using MakeCell = std::function<ThumbnailView*(const LibraryFilePtr& item)>;

    explicit CellGrid(MakeCell makeCell) : makeCell_(std::move(makeCell)) {
        grid_ = new QGridLayout(this);
        grid_->setContentsMargins(0, 0, 0, 0);
        grid_->setHorizontalSpacing(0);
        grid_->setVerticalSpacing(5);
        for (int c = 0; c < 3; ++c) grid_->setColumnMinimumWidth(c, kColumnWidth);
        grid_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    }

    void setItems(const std::vector<LibraryFilePtr>& items) {
        std::map<QUuid, ThumbnailView*> old;
        for (const auto& [id, cell] : cells_) old[id] = cell;
        while (grid_->count()) delete grid_->takeAt(0);
        cells_.clear();
        int index = 0;
        for (const LibraryFilePtr& item : items) {
            if (!drawable(item)) continue;
            ThumbnailView* cell = nullptr;
            if (auto it = old.find(item->id); it != old.end()) {
                cell = it->second;
                old.erase(it);
            } else {
                cell = makeCell_(item);
                cell->setParent(this);
            }
            grid_->addWidget(cell, index / 3, index % 3, Qt::AlignHCenter | Qt::AlignTop);
            cell->show();
            cells_.emplace_back(item->id, cell);
            ++index;
        }
        // A cell may be removing itself right now (its own delete button): delete later.
        for (auto& [id, cell] : old) {
            cell->hide();
            cell->deleteLater();
        }
    }

    std::vector<QWidget*> cells() const {
        std::vector<QWidget*> out;
        for (const auto& [id, cell] : cells_) out.push_back(cell);
        return out;
    }

private:
    MakeCell makeCell_;
    QGridLayout* grid_;
    std::vector<std::pair<QUuid, ThumbnailView*>> cells_;
};

// A scroll area whose content follows the viewport's width (the chip row wraps at it).
class VerticalScroll : public QScrollArea {
public:
    explicit VerticalScroll(QWidget* content) {
        setWidget(content);
        setWidgetResizable(true);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        setFrameShape(QFrame::NoFrame);
    }
};

// ---------------------------------------------------------------------------------------------

FileLibraryServices FileLibraryServices::desktop() {
    FileLibraryServices s;
    s.chooseFiles = [](QWidget* parent) {
        QFileDialog dialog(parent, QStringLiteral("Choose an image, powerpoint, keynote"));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setSizeGripEnabled(true);
        dialog.setOption(QFileDialog::DontUseNativeDialog, false);
        QStringList patterns;
        for (const QString& t : importPanelTypes()) patterns << QStringLiteral("*.") + t << QStringLiteral("*.") + t.toUpper();
        dialog.setNameFilter(QStringLiteral("Pictures, PDFs and presentations (%1)").arg(patterns.join(QLatin1Char(' '))));
        dialog.setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);  // no hidden files
        if (dialog.exec() != QDialog::Accepted) return QStringList();
        return dialog.selectedFiles();
    };
    s.keyPoster = std::shared_ptr<KeyPoster>(makeDesktopKeyPoster());
    return s;
}

FileLibraryView::FileLibraryView(FileLibraryServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)),
      handover_(MainThreadHandover::create(this)),
      converter_(std::make_shared<SlideConverter>(services_.officeProgram, services_.conversionTimeoutMs)) {
    importQueue_.setMaxThreadCount(1);
    listingPool_.setMaxThreadCount(2);
    setAcceptDrops(true);
    setAttribute(Qt::WA_TranslucentBackground);
    buildWidgets();
    app::NotificationCenter::defaultCenter().addObserver(this, QString::fromLatin1(app::notification::OpenFiles),
                                                         [this](const app::Notification&) { showImportPanel(); });
}

FileLibraryView::~FileLibraryView() {
    saveFavorites();
    handover_->detach();
    converter_->cancel();
    importQueue_.waitForDone();
    listingPool_.waitForDone();
}

void FileLibraryView::postTo(const std::shared_ptr<MainThreadHandover>& handover, FileLibraryView* view,
                             std::function<void(FileLibraryView&)> f) {
    handover->post([view, f = std::move(f)] { f(*view); });
}

// ---------------------------------------------------------------------------------------------
// Widgets.

void FileLibraryView::buildWidgets() {
    body_ = new RoundedPanel(QColor(0x80, 0x80, 0x80), this);
    body_->setObjectName(QStringLiteral("fileLibraryBody"));
    body_->setFixedSize(bodyWidth, kBodyHeight);
    QFont headline = body_->font();
    headline.setBold(true);
    body_->setFont(headline);
    auto* bodyLayout = new QVBoxLayout(body_);
    bodyLayout->setContentsMargins(0, 5, 0, 5);
    bodyLayout->setSpacing(0);

    tabs_ = new QTabWidget(body_);
    tabs_->setObjectName(QStringLiteral("fileLibraryTabs"));
    tabs_->setDocumentMode(true);
    tabs_->setStyleSheet(QStringLiteral(
        "QTabWidget#fileLibraryTabs { background: #808080; border-radius: 10px; }"
        "QTabWidget#fileLibraryTabs > QWidget { background: #808080; color: white; }"
        "QTabBar::tab { background: #6b6b6b; color: white; padding: 6px 14px; border-top-left-radius: 6px;"
        " border-top-right-radius: 6px; margin-right: 2px; }"
        "QTabBar::tab:selected { background: #9a9a9a; }"
        "QScrollArea, QScrollArea > QWidget > QWidget { background: #808080; color: white; }"));
    tabs_->addTab(buildMyFilesTab(), QString());
    tabs_->addTab(buildTemplatesTab(), QString());
    bodyLayout->addWidget(tabs_);

    errorBar_ = new QWidget(body_);
    errorBar_->setStyleSheet(QStringLiteral("background: #a33; color: white; border-radius: 6px;"));
    auto* errorLayout = new QHBoxLayout(errorBar_);
    errorLayout->setContentsMargins(8, 4, 4, 4);
    errorLabel_ = new QLabel(errorBar_);
    errorLabel_->setWordWrap(true);
    errorLabel_->setTextFormat(Qt::PlainText);
    auto* dismiss = new QPushButton(QStringLiteral("OK"), errorBar_);
    dismiss->setFlat(true);
    connect(dismiss, &QPushButton::clicked, this, [this] {
        errorBar_->hide();
        emit changed();
    });
    errorLayout->addWidget(errorLabel_, 1);
    errorLayout->addWidget(dismiss);
    errorBar_->hide();
    bodyLayout->addWidget(errorBar_);

    // The converting sheet lies over the tab view while a presentation is converted.
    sheet_ = new QWidget(body_);
    sheet_->setObjectName(QStringLiteral("convertingSheet"));
    sheet_->setAttribute(Qt::WA_StyledBackground);
    sheet_->setStyleSheet(QStringLiteral("QWidget#convertingSheet { background: rgba(0, 0, 0, 150); border-radius: 10px; }"));
    auto* sheetOuter = new QVBoxLayout(sheet_);
    auto* card = new QWidget(sheet_);
    card->setObjectName(QStringLiteral("convertingCard"));
    card->setAttribute(Qt::WA_StyledBackground);
    card->setStyleSheet(QStringLiteral("QWidget#convertingCard { background: #ececec; border-radius: 8px; }"
                                       "QLabel { color: black; }"));
    auto* cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(10, 10, 10, 10);
    sheetText_ = new QLabel(kConvertingText, card);
    sheetText_->setWordWrap(true);
    sheetText_->setFont(headline);
    sheetProgress_ = new QProgressBar(card);
    cardLayout->addWidget(sheetText_);
    cardLayout->addWidget(sheetProgress_);
    sheetOuter->addStretch();
    sheetOuter->addWidget(card);
    sheetOuter->addStretch();
    sheet_->hide();

    handle_ = new CollapseHandle([this] { toggleCollapsed(); }, this);

    slide_ = new QVariantAnimation(this);
    slide_->setDuration(500);
    slide_->setEasingCurve(QEasingCurve::InQuad);
    connect(slide_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) { setShift(v.toDouble()); });

    setFixedSize(sizeHint());
    setShift(0);
    refreshFiles();
    refreshTemplates();
    refreshChips();
}

QWidget* FileLibraryView::buildMyFilesTab() {
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 6, 4, 6);
    layout->setSpacing(6);

    importRow_ = new QPushButton(QIcon(libraryImage(QStringLiteral("toolbar_import"), QSize(24, 24))),
                                 QStringLiteral("Import"), content);
    static_cast<QPushButton*>(importRow_)->setIconSize(QSize(24, 24));
    static_cast<QPushButton*>(importRow_)->setFlat(true);
    importRow_->setCursor(Qt::PointingHandCursor);
    importRow_->setStyleSheet(QStringLiteral("QPushButton { color: white; border: none; padding: 4px; }"
                                             "QPushButton:pressed { color: #ddd; }"));
    connect(static_cast<QPushButton*>(importRow_), &QPushButton::clicked, this, [this] { showImportPanel(); });
    layout->addWidget(importRow_);

    filesEmpty_ = new QLabel(QStringLiteral("Drag & Drop or import files into here for image insertion"), content);
    filesEmpty_->setWordWrap(true);
    filesEmpty_->setAlignment(Qt::AlignCenter);
    layout->addWidget(filesEmpty_);

    filesGrid_ = new CellGrid([this](const LibraryFilePtr& item) {
        std::weak_ptr<LibraryFile> weak = item;
        return new ThumbnailView(QStringLiteral("library"), false, item, [this, weak] {
            if (auto it = weak.lock()) removeFile(it);
        });
    });
    layout->addWidget(filesGrid_);
    layout->addStretch();
    return new VerticalScroll(content);
}

QWidget* FileLibraryView::buildTemplatesTab() {
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 6, 4, 6);
    layout->setSpacing(6);

    auto* searchRow = new QWidget(content);
    auto* searchLayout = new QHBoxLayout(searchRow);
    searchLayout->setContentsMargins(0, 0, 0, 0);
    auto* glass = new QLabel(searchRow);
    {
        QPixmap pm(18, 18);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 2));
        p.drawEllipse(QRectF(2, 2, 10, 10));
        p.drawLine(QPointF(11, 11), QPointF(16, 16));
        glass->setPixmap(pm);
    }
    searchField_ = new QLineEdit(searchRow);
    searchField_->setPlaceholderText(QStringLiteral("Search ..."));
    searchField_->setStyleSheet(QStringLiteral("QLineEdit { color: black; background: red; border: 1px solid gray; }"));
    connect(searchField_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!settingSearchText_) onSearchTextChanged(text);
    });
    searchLayout->addWidget(glass);
    searchLayout->addWidget(searchField_, 1);
    layout->addWidget(searchRow);

    chipRow_ = new ChipRow([this] { setHoveredCategory(QString()); });
    chipLayout_ = new layout::WrappingRow(chipRow_, layout::LaneAlignment::leading,
                                          {layout::SpacingKind::constant, 8}, 0);
    layout->addWidget(chipRow_);

    templatesEmpty_ = new QLabel(QStringLiteral("No templates."), content);
    templatesEmpty_->setAlignment(Qt::AlignCenter);
    layout->addWidget(templatesEmpty_);

    templatesGrid_ = new CellGrid(
        [](const LibraryFilePtr& item) { return new ThumbnailView(QStringLiteral("library"), true, item); });
    layout->addWidget(templatesGrid_);
    layout->addStretch();
    return new VerticalScroll(content);
}

QSize FileLibraryView::sizeHint() const { return {handleSize + bodyWidth, kBodyHeight}; }

QWidget* FileLibraryView::handle() const { return handle_; }

void FileLibraryView::setShift(double shift) {
    shift_ = shift;
    const int dx = static_cast<int>(std::lround(shift));
    body_->move(handleSize + dx, 0);
    handle_->move(handleOffset + dx, (kBodyHeight - handleSize) / 2);
    sheet_->setGeometry(tabs_->geometry());
    // Only the body and the handle take the pointer; the rest lets it through to what lies below.
    QRegion visible(body_->geometry());
    visible += QRegion(handle_->geometry(), QRegion::Ellipse);
    setMask(visible & QRegion(rect()));
}

void FileLibraryView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    setShift(shift_);
}

QList<QLabel*> FileLibraryView::chips() const {
    QList<QLabel*> out;
    for (int i = 0; i < chipLayout_->count(); ++i)
        if (auto* label = qobject_cast<QLabel*>(chipLayout_->itemAt(i)->widget())) out << label;
    return out;
}

std::vector<QWidget*> FileLibraryView::fileCells() const { return filesGrid_->cells(); }
std::vector<QWidget*> FileLibraryView::templateCells() const { return templatesGrid_->cells(); }

QString FileLibraryView::errorText() const { return errorBar_->isHidden() ? QString() : errorLabel_->text(); }

void FileLibraryView::showError(const QString& text) {
    errorLabel_->setText(text);
    errorBar_->show();
    emit changed();
}

void FileLibraryView::refreshFiles() {
    tabs_->setTabText(0, QStringLiteral("My Files (%1)").arg(fileList_.size()));
    filesEmpty_->setVisible(fileList_.empty());
    filesGrid_->setItems(fileList_);
    emit changed();
}

void FileLibraryView::refreshTemplates() {
    tabs_->setTabText(1, QStringLiteral("Templates (%1)").arg(templateList_.size()));
    const std::vector<LibraryFilePtr> shown = templateListFiltered();
    templatesEmpty_->setVisible(shown.empty());
    templatesGrid_->setItems(shown);
    emit changed();
}

void FileLibraryView::refreshChips() {
    const QList<QLabel*> existing = chips();
    QStringList texts;
    for (QLabel* l : existing) texts << l->text();
    if (texts != categoryList_) {
        chipLayout_->clear();
        for (int i = 0; i < categoryList_.size(); ++i) {
            const QString text = categoryList_[i];
            chipLayout_->addWidget(new CategoryChip(
                text, [this, text] { setHoveredCategory(text); }, [this, i] { selectCategory(i); }));
        }
    }
    for (QLabel* chip : chips())
        static_cast<CategoryChip*>(chip)->setHighlighted(chip->text() == hoveredCategory_ ||
                                                         chip->text() == search_.selectedCategory());
    chipRow_->updateGeometry();
}

void FileLibraryView::refreshSheet() {
    sheet_->setGeometry(tabs_->geometry());
    sheet_->setVisible(showingConvertingAlert_);
    if (showingConvertingAlert_) sheet_->raise();
    sheetProgress_->setRange(0, sheetTotal_);
    sheetProgress_->setValue(sheetDone_);
    emit changed();
}

// ---------------------------------------------------------------------------------------------
// Appearance, collapse.

void FileLibraryView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) panelAppeared();
}

void FileLibraryView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) saveFavorites();
}

void FileLibraryView::panelAppeared() {
    if (fileList_.empty()) {
        loadLibraryFiles();
        QTimer::singleShot(services_.collapseDelayMs, this, [this] { collapse(); });
    }
    if (templateList_.empty()) {
        loadTemplates();
        QTimer::singleShot(services_.collapseDelayMs, this, [this] { collapse(); });
    }
}

void FileLibraryView::setHideFileLibrary(bool hide, bool animated) {
    hideFileLibrary_ = hide;
    handle_->setCollapsed(hide);
    const double target = hide ? bodyWidth : 0;
    slide_->stop();
    if (animated && isVisible()) {
        slide_->setStartValue(shift_);
        slide_->setEndValue(target);
        slide_->start();
    } else {
        setShift(target);
    }
    emit changed();
}

void FileLibraryView::collapse() { setHideFileLibrary(true, true); }

void FileLibraryView::toggleCollapsed() { setHideFileLibrary(!hideFileLibrary_, true); }

// ---------------------------------------------------------------------------------------------
// My Files.

void FileLibraryView::loadLibraryFiles() {
    fileList_.clear();
    const int generation = ++listingGeneration_;
    refreshFiles();
    const QString folder = libraryFolder();
    if (folder.isEmpty()) {
        printLine("NO Archive Library yet");
        setHideFileLibrary(true, false);
        QTimer::singleShot(services_.retryDelayMs, this, [this] {
            setHideFileLibrary(false, false);
            loadLibraryFiles();
        });
        return;
    }
    QStringList paths;
    try {
        paths = app::contentsOfDirectory(folder, std::nullopt, app::FileDateKind::contentModificationDate, false, true);
    } catch (const app::FolderListingError&) {
        printLine(" Failed to read directory \u2013 bad permissions, perhaps? ");
        return;
    }
    auto handover = handover_;
    FileLibraryView* self = this;
    listingPool_.start([handover, self, paths, generation] {
        for (const QString& path : paths) {
            LibraryFilePtr item = makeLibraryFile(itemUrl(path));
            if (!attachThumbnail(item)) continue;
            postTo(handover, self, [item, generation](FileLibraryView& v) {
                if (generation != v.listingGeneration_) return;
                v.fileList_.push_back(item);
                v.refreshFiles();
            });
        }
        postTo(handover, self, [generation](FileLibraryView& v) {
            if (generation == v.listingGeneration_) printLine("Total Files in Library:", v.fileList_.size());
        });
    });
}

void FileLibraryView::removeFile(const LibraryFilePtr& item) {
    for (auto it = fileList_.begin(); it != fileList_.end(); ++it) {
        if ((*it)->id == item->id) {
            fileList_.erase(it);
            break;
        }
    }
    refreshFiles();
}

// ---------------------------------------------------------------------------------------------
// Templates and favorites.

std::vector<LibraryFilePtr> FileLibraryView::templateListFiltered() const {
    std::vector<LibraryFilePtr> out;
    for (int i : search_.filtered())
        if (i >= 0 && i < static_cast<int>(templateList_.size())) out.push_back(templateList_[i]);
    return out;
}

std::vector<TemplateFacts> FileLibraryView::templateFacts() const {
    std::vector<TemplateFacts> facts;
    for (const LibraryFilePtr& item : templateList_)
        facts.push_back(library::templateFacts(item->json.value_or(QJsonValue()), item->isFavorited));
    return facts;
}

void FileLibraryView::loadTemplates() {
    templateList_.clear();
    search_.catalogueCleared();
    templatesLoaded_ = false;
    const int generation = ++templatesGeneration_;
    refreshTemplates();
    const QString folder = templatesFolder();
    if (folder.isEmpty()) {
        printLine("NO Archive Library yet");
        setHideFileLibrary(true, false);
        QTimer::singleShot(services_.retryDelayMs, this, [this] {
            setHideFileLibrary(false, false);
            loadTemplates();
        });
        return;
    }
    if (!QFileInfo::exists(QDir(folder).filePath(kTemplatesJson))) {
        printLine("templates.json File NOT exist");
        return;
    }
    QStringList favorites = favoriteTemplates_;
    QString error;
    switch (readFavorites(folder, &favorites, &error)) {
    case FavoritesRead::missing: printLine("favorites File NOT exist"); break;
    case FavoritesRead::unreadable: printLine("favorites.json read error:", error); break;
    case FavoritesRead::ok: favoriteTemplates_ = favorites; break;
    }
    const std::optional<TemplateCatalogue> catalogue = readTemplateCatalogue(folder, &error);
    if (!catalogue) {
        printLine("templates.json read error:", error);
        return;
    }
    templatesJson_ = catalogue->json;
    categoryList_ = catalogue->categoryList;
    refreshChips();

    auto handover = handover_;
    FileLibraryView* self = this;
    const QJsonArray entries = catalogue->templates;
    const QStringList stored = favoriteTemplates_;
    listingPool_.start([handover, self, entries, folder, stored, generation] {
        for (const QJsonValue& entry : entries) {
            const QString key = templateKey(entry);
            LibraryFilePtr item = makeLibraryFile(itemUrl(QDir(folder).filePath(key)));
            item->json = entry;
            item->name = jsonText(entry.toObject().value(QStringLiteral("name")));
            item->isFavorited = stored.contains(key);
            const QString thumb = localPath(item->thumbnail);
            if (thumb.isEmpty() || !QFileInfo::exists(thumb)) {
                printLine("File is not exist:", item->url->toString());
                continue;
            }
            if (!attachThumbnail(item)) continue;
            postTo(handover, self, [item, generation](FileLibraryView& v) {
                if (generation != v.templatesGeneration_) return;
                v.templateList_.push_back(item);
                v.refreshTemplates();
            });
        }
        postTo(handover, self, [generation](FileLibraryView& v) {
            if (generation != v.templatesGeneration_) return;
            v.search_.catalogueLoaded(static_cast<int>(v.templateList_.size()));
            v.templatesLoaded_ = true;
            printLine("Total Templates in Templates:", v.templateList_.size());
            v.refreshTemplates();
        });
    });
}

void FileLibraryView::saveFavorites() {
    // Before a complete load the marks in memory are not the user's: writing them would lose the
    // favorites on disk.
    if (!templatesLoaded_) return;
    const QString folder = templatesFolder();
    if (folder.isEmpty()) return;
    std::vector<std::pair<QString, bool>> keys;
    for (const LibraryFilePtr& item : templateList_)
        keys.emplace_back(templateKey(item->json.value_or(QJsonValue())), item->isFavorited);
    const QStringList toStore = favoritesToStore(keys, favoriteTemplates_);
    QString error;
    if (!writeFavorites(folder, toStore, &error)) {
        printLine("update favorites.json error:", error);
        return;
    }
    favoriteTemplates_ = toStore;
}

void FileLibraryView::onSearchTextChanged(const QString& text) {
    search_.onSearchTextChanged(text, templateFacts());
    if (searchField_->text() != text) {
        settingSearchText_ = true;
        searchField_->setText(text);
        settingSearchText_ = false;
    }
    refreshTemplates();
    refreshChips();
}

void FileLibraryView::selectCategory(int index) {
    const bool all = search_.selectCategory(index, categoryList_, templateFacts());
    if (all) printLine(QString::fromUtf8(QJsonDocument(templatesJson_).toJson(QJsonDocument::Compact)));
    settingSearchText_ = true;
    searchField_->clear();
    settingSearchText_ = false;
    refreshTemplates();
    refreshChips();
}

void FileLibraryView::setHoveredCategory(const QString& category) {
    if (hoveredCategory_ == category) return;
    hoveredCategory_ = category;
    refreshChips();
}

// ---------------------------------------------------------------------------------------------
// Import, conversion, paste.

void FileLibraryView::showImportPanel() {
    if (!services_.chooseFiles) return;
    const QStringList files = services_.chooseFiles(this);
    if (files.isEmpty()) return;
    importFile(files.first(), true);
    if (hideFileLibrary_) setHideFileLibrary(false, true);
    for (int i = 1; i < files.size(); ++i) {
        printLine(util::debugQuoted(QUrl::fromLocalFile(files[i]).toString().toStdString()));
        importFile(files[i], false);
    }
}

bool FileLibraryView::importDropped(const QList<QUrl>& urls) {
    if (libraryFolder().isEmpty()) return false;
    for (const QUrl& url : urls)
        if (url.isLocalFile()) importFile(url.toLocalFile(), false);
    return true;
}

void FileLibraryView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void FileLibraryView::dropEvent(QDropEvent* event) {
    if (importDropped(event->mimeData()->urls()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void FileLibraryView::importFile(const QString& path, bool paste) {
    const QString folder = libraryFolder();
    if (folder.isEmpty()) return;
    printLine("Load files into library:", QUrl::fromLocalFile(path));
    auto handover = handover_;
    FileLibraryView* self = this;
    switch (importKind(path)) {
    case ImportKind::imageOrPDF:
        importQueue_.start([handover, self, path, folder, paste] {
            const CopyResult copy = copyIntoFolder(path, folder);
            if (copy.outcome == CopyOutcome::sameFile) {
                printLine("Same Folder, No actions.");
                return;
            }
            if (copy.outcome == CopyOutcome::failed) {
                printLine("Copy Error");
                const QString text = QStringLiteral("%1 could not be copied into the library: %2")
                                         .arg(QFileInfo(path).fileName(), copy.error);
                postTo(handover, self, [text](FileLibraryView& v) { v.showError(text); });
                return;
            }
            LibraryFilePtr item = makeLibraryFile(QUrl::fromLocalFile(copy.destination));
            if (!attachThumbnail(item)) return;  // the copy stays, unlisted
            postTo(handover, self, [item, paste](FileLibraryView& v) { v.addImported(item, paste); });
        });
        break;
    case ImportKind::presentation: {
        if (path.endsWith(QLatin1Char('/')) || QFileInfo(path).isDir()) return;
        auto converter = converter_;
        importQueue_.start([handover, self, converter, path, folder] {
            postTo(handover, self, [](FileLibraryView& v) {
                v.showingConvertingAlert_ = true;
                v.sheetDone_ = v.sheetTotal_ = 0;
                v.refreshSheet();
            });
            const ConversionResult result = converter->convert(path, folder, [handover, self](int done, int total) {
                postTo(handover, self, [done, total](FileLibraryView& v) {
                    v.sheetDone_ = done;
                    v.sheetTotal_ = total;
                    v.refreshSheet();
                });
            });
            LibraryFilePtr item;
            if (result.ok) {
                item = makeLibraryFile(itemUrl(result.folder));
                if (!attachThumbnail(item)) item.reset();  // no first slide: not listed
            } else {
                printLine(result.error);
            }
            postTo(handover, self, [item, error = result.ok ? QString() : result.error](FileLibraryView& v) {
                v.showingConvertingAlert_ = false;
                v.refreshSheet();
                if (!error.isEmpty()) v.showError(error);
                if (item) v.addImported(item, false);
            });
        });
        break;
    }
    case ImportKind::other: break;
    }
}

void FileLibraryView::addImported(const LibraryFilePtr& item, bool paste) {
    fileList_.insert(fileList_.begin(), item);
    refreshFiles();
    if (paste && services_.keyPoster)
        pasteIntoFrontApplication(localPath(item->url), QApplication::clipboard(), *services_.keyPoster);
}

bool FileLibraryView::waitForImports(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (importQueue_.waitForDone(10)) {
            // Deliver what the workers queued.
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            return true;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
}

}  // namespace qv::library
