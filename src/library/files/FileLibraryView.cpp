// The panel itself: its layout (the body with its two tabs, the error bar, the converting sheet and
// the handle), what it shows of its state, sliding in and out, and the listing of "My Files".
#include "library/files/FileLibraryView.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <cmath>

#include "helpers/FolderListing.h"
#include "layout/WrappingRow.h"
#include "library/LibraryImages.h"
#include "library/RoundedPanel.h"
#include "library/ThumbnailView.h"
#include "library/files/FileLibraryFolders.h"
#include "library/files/FileLibraryWidgets.h"
#include "library/files/ImportRules.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "state/QtPrint.h"
#include "util/Print.h"

namespace qv::library {

using util::printLine;

namespace {

const QString kConvertingText = QStringLiteral(
    "Importing your file into Vemo Library, it will be appeared in the list on the right side. Please wait.");
constexpr int kTabsHeight = 500;
constexpr int kBodyHeight = kTabsHeight + 10;  // the tab view with 5 above and below

// Of the hidden names in the library folder, My Files lists what an import makes of a file whose
// own name is hidden: a picture or PDF, or the folder of a presentation's slides. The program's
// working files (".part", slide folders on their way) and the desktop's hidden files
// (".directory", ".Trash-1000/") are none of these and stay out.
bool listedInMyFiles(const QString& path, const LibraryFile& item) {
    const QFileInfo info(path);
    if (!info.fileName().startsWith(QLatin1Char('.'))) return true;
    if (info.isDir()) return item.type == LibraryFileType::PPT;
    return info.isFile() && importKind(path) == ImportKind::imageOrPDF;
}

}  // namespace

FileLibraryView::FileLibraryView(FileLibraryServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)),
      handover_(MainThreadHandover::create(this)),
      imports_(std::make_unique<ImportQueue>(services_.officeProgram, services_.conversionTimeoutMs)) {
    listingPool_.setMaxThreadCount(2);
    // LibreOffice is stopped as the program quits, not left converting behind it.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { imports_->cancel(); });
    setAcceptDrops(true);
    setAttribute(Qt::WA_TranslucentBackground);
    buildWidgets();
    app::NotificationCenter::defaultCenter().addObserver(this, QString::fromLatin1(app::notification::OpenFiles),
                                                         [this](const app::Notification&) { showImportPanel(); });
}

FileLibraryView::~FileLibraryView() {
    saveFavorites();
    handover_->detach();
    imports_.reset();
    listingPool_.waitForDone();
}

void FileLibraryView::postTo(const std::shared_ptr<MainThreadHandover>& handover, FileLibraryView* view,
                             std::function<void(FileLibraryView&)> f) {
    handover->post([view, f = std::move(f)] { f(*view); });
}

// ---------------------------------------------------------------------------------------------
// Layout.

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
    // The tab view keeps its height; the failures bar below it makes the body taller instead.
    tabs_->setFixedHeight(kTabsHeight);
    bodyLayout->addWidget(tabs_);

    errorBar_ = new QWidget(body_);
    errorBar_->setStyleSheet(QStringLiteral("background: #a33; color: white; border-radius: 6px;"));
    auto* errorLayout = new QHBoxLayout(errorBar_);
    errorLayout->setContentsMargins(8, 4, 4, 4);
    errorLabel_ = new QLabel(errorBar_);
    errorLabel_->setObjectName(QStringLiteral("importErrors"));
    errorLabel_->setWordWrap(true);
    errorLabel_->setTextFormat(Qt::PlainText);  // file names, never markup
    errorLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    errorScroll_ = new QScrollArea(errorBar_);
    errorScroll_->setWidget(errorLabel_);
    errorScroll_->setWidgetResizable(true);
    errorScroll_->setFrameShape(QFrame::NoFrame);
    errorScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* dismiss = new QPushButton(QStringLiteral("OK"), errorBar_);
    dismiss->setFlat(true);
    connect(dismiss, &QPushButton::clicked, this, [this] {
        errors_.clear();
        errorBar_->hide();
        fitBody();
        emit changed();
    });
    errorLayout->addWidget(errorScroll_, 1);
    errorLayout->addWidget(dismiss);
    errorBar_->hide();
    errorBar_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);  // as high as its lines
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

QSize FileLibraryView::sizeHint() const {
    return {handleSize + bodyWidth, body_ ? body_->height() : kBodyHeight};
}

void FileLibraryView::fitBody() {
    const int bar = errorBar_->isHidden() ? 0 : errorBar_->sizeHint().height();
    const int height = kBodyHeight + bar;
    if (body_->height() == height) return;
    const int before = this->height();
    body_->setFixedSize(bodyWidth, height);
    setFixedSize(sizeHint());
    // Kept where it was centred.
    if (parentWidget()) move(x(), y() + (before - height) / 2);
    setShift(shift_);
}

QWidget* FileLibraryView::handle() const { return handle_; }

void FileLibraryView::setShift(double shift) {
    shift_ = shift;
    const int dx = static_cast<int>(std::lround(shift));
    body_->move(handleSize + dx, 0);
    handle_->move(handleOffset + dx, (body_->height() - handleSize) / 2);
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
    // Each failure stays until the teacher dismisses them: several imports may fail at once.
    errors_ << text;
    errorLabel_->setText(errors_.join(QLatin1Char('\n')));
    // As high as its lines, up to five of them; more scroll.
    const int lines = errorLabel_->heightForWidth(errorScroll_->viewport()->width() > 50 ? errorScroll_->viewport()->width()
                                                                                          : bodyWidth - 80);
    errorScroll_->setFixedHeight(std::min(lines, 6 * errorLabel_->fontMetrics().lineSpacing()) + 2);
    errorBar_->show();
    fitBody();
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
        retryWithSaveFolder(&FileLibraryView::loadLibraryFiles);
        return;
    }
    QStringList paths;
    try {
        // Hidden names too: what an import made of a hidden-named file is listed like the others.
        paths = app::contentsOfDirectory(folder, std::nullopt, app::FileDateKind::contentModificationDate,
                                         false, false);
    } catch (const app::FolderListingError&) {
        printLine(" Failed to read directory \u2013 bad permissions, perhaps? ");
        return;
    }
    auto handover = handover_;
    FileLibraryView* self = this;
    listingPool_.start([handover, self, paths, generation] {
        for (const QString& path : paths) {
            LibraryFilePtr item = makeLibraryFile(itemUrl(path));
            if (!listedInMyFiles(path, *item)) continue;
            // A slide folder without its first slide stands for nothing; a file that cannot be
            // read is listed with a plain picture, so that the teacher can see and delete it.
            const QString thumbnail = localPath(item->thumbnail);
            if (thumbnail.isEmpty() || !QFileInfo::exists(thumbnail)) continue;
            if (!attachThumbnail(*item)) attachGenericPicture(*item);
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

// No save folder is known yet: the panel slides away at once and `load` runs again a little later,
// with the panel back.
void FileLibraryView::retryWithSaveFolder(void (FileLibraryView::*load)()) {
    printLine("NO Archive Library yet");
    setHideFileLibrary(true, false);
    QTimer::singleShot(services_.retryDelayMs, this, [this, load] {
        setHideFileLibrary(false, false);
        (this->*load)();
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

}  // namespace qv::library
