#include "webpanels/BrowserView.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>
#include <QWebEngineView>

#include <cmath>

#include "state/AppState.h"
#include "state/QtPrint.h"
#include "webpanels/BrowserBoardView.h"
#include "webpanels/BrowserBookmarkView.h"
#include "webpanels/BrowserImages.h"
#include "webpanels/BrowserScripts.h"
#include "webpanels/BrowserWebView.h"
#include "webpanels/ScriptCalls.h"

namespace qv::webpanels {

namespace {

const QColor headerColor(128, 128, 128, 204);  // gray at opacity 0.8

// A popover: a frameless pop-up that closes on a click outside and reports it.
class Popover : public QWidget {
public:
    Popover(QWidget* parent, std::function<void()> dismissed, qreal cornerRadius = 8)
        : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint),
          dismissed_(std::move(dismissed)),
          cornerRadius_(cornerRadius) {
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(headerColor);
        p.drawRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
    }
    void hideEvent(QHideEvent* e) override {
        QWidget::hideEvent(e);
        if (dismissed_) dismissed_();
    }

private:
    std::function<void()> dismissed_;
    qreal cornerRadius_;
};

// The invisible corner grip: it takes the pointer (also over a transparent page) and leaves the
// drag to the panel's host, which resizes from here.
class CornerGrip : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(255, 0, 0, 3));  // red at opacity 0.01
    }
};

double roundedZoom(double z) { return std::round(z * 1000.0) / 1000.0; }

QLabel* boldLabel(const QString& text) {
    auto* label = new QLabel(text);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

}  // namespace

BrowserView::BrowserView(const QString& address, bool canGoBack, bool canGoForward, bool pdfMode, bool lessonsMode,
                         double opacityValue, std::function<void()> onClosed, QWidget* parent)
    : QWidget(parent),
      address_(address),
      opacityValue_(opacityValue),
      canGoBack_(canGoBack),
      canGoForward_(canGoForward),
      pdfMode_(pdfMode),
      lessonsMode_(lessonsMode),
      onClosed_(std::move(onClosed)) {
    setObjectName(QStringLiteral("browserView"));
    toggleModel_.enableRemoveBackground = app::enableRemoveBackground;
    // Each showing starts with Invert Color off, also when the app-wide inversion is still on
    // from an earlier one; the pages keep following the app-wide value (every finished load
    // applies it), and switching Invert Color to that value changes nothing.
    toggleModel_.inverted = false;

    // Header.
    header_ = new QWidget(this);
    header_->setObjectName(QStringLiteral("browserHeader"));
    header_->setAutoFillBackground(true);
    QPalette hp = header_->palette();
    hp.setColor(QPalette::Window, headerColor);
    hp.setColor(QPalette::WindowText, Qt::white);
    hp.setColor(QPalette::Text, Qt::white);
    header_->setPalette(hp);
    auto* row = new QHBoxLayout(header_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    pdfTitle_ = new QLabel(QStringLiteral("PDF Viewer"), header_);
    pdfTitle_->setObjectName(QStringLiteral("pdfTitle"));
    row->addWidget(pdfTitle_);

    navigation_ = new QWidget(header_);
    auto* nav = new QHBoxLayout(navigation_);
    nav->setContentsMargins(0, 0, 0, 0);
    nav->setSpacing(0);
    nav->addSpacing(5);
    search_ = new BrowserImageButton(QStringLiteral("google_icon"), 24, 2, navigation_);
    back_ = new BrowserImageButton(QStringLiteral("arrow_left"), 24, 2, navigation_);
    forward_ = new BrowserImageButton(QStringLiteral("arrow_right"), 24, 2, navigation_);
    nav->addWidget(search_);
    nav->addWidget(back_);
    nav->addWidget(forward_);
    nav->addSpacing(30);
    addressField_ = new QLineEdit(navigation_);
    addressField_->setObjectName(QStringLiteral("addressField"));
    addressField_->setPlaceholderText(QStringLiteral(" Enter url at here:"));
    addressField_->setFrame(false);
    QFont titleFont = addressField_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    addressField_->setFont(titleFont);
    addressField_->setStyleSheet(QStringLiteral("QLineEdit { color: white; background: transparent; border: 1px solid "
                                                "white; } QLineEdit[text=\"\"] { color: white; }"));
    QPalette ap = addressField_->palette();
    ap.setColor(QPalette::PlaceholderText, Qt::white);
    addressField_->setPalette(ap);
    addressField_->setMinimumWidth(120);
    nav->addWidget(addressField_, 1);
    title_ = new QLabel(navigation_);
    title_->setObjectName(QStringLiteral("lessonsTitle"));
    title_->setFont(titleFont);
    title_->setTextFormat(Qt::PlainText);
    title_->setToolTip(QStringLiteral("Toggle offline mode in settings and re-open lessons."));
    nav->addWidget(title_);
    row->addWidget(navigation_, 1);
    row->addSpacing(100);

    annotate_ = new BrowserImageButton(QStringLiteral("toolbar_freehand"), 28, 3, header_);
    bookmark_ = new BrowserImageButton(QStringLiteral("toolbar_bookmark"), 28, 3, header_);
    settingsButton_ = new BrowserImageButton(QStringLiteral("toolbar_settings"), 28, 3, header_);
    zoomIn_ = new BrowserImageButton(QStringLiteral("toolbar_zoom_in"), 28, 3, header_);
    zoomOut_ = new BrowserImageButton(QStringLiteral("toolbar_zoom_out"), 28, 3, header_);
    close_ = new BrowserImageButton(QStringLiteral("close"), 28, 3, header_);
    for (QWidget* w : {static_cast<QWidget*>(annotate_), static_cast<QWidget*>(bookmark_),
                       static_cast<QWidget*>(settingsButton_), static_cast<QWidget*>(zoomIn_),
                       static_cast<QWidget*>(zoomOut_), static_cast<QWidget*>(close_)})
        row->addWidget(w);
    row->addSpacing(10);

    connect(search_, &QAbstractButton::clicked, this, &BrowserView::openSearchEngine);
    connect(back_, &QAbstractButton::clicked, this, &BrowserView::goBack);
    connect(forward_, &QAbstractButton::clicked, this, &BrowserView::goForward);
    connect(addressField_, &QLineEdit::textEdited, this, [this](const QString& text) { address_ = text; });
    connect(addressField_, &QLineEdit::returnPressed, this, &BrowserView::commitAddress);
    connect(annotate_, &QAbstractButton::clicked, this, [this] {
        if (enableAnnotation_)
            setAnnotation(false, allowAnnotationCall(false));
        else
            setAnnotation(true, allowAnnotationCall(true));
    });
    connect(bookmark_, &QAbstractButton::clicked, this, [this] { setShowBookmark(true); });
    connect(settingsButton_, &QAbstractButton::clicked, this, [this] { setShowPopoverSettings(true); });
    connect(zoomIn_, &QAbstractButton::clicked, this, &BrowserView::zoomIn);
    connect(zoomOut_, &QAbstractButton::clicked, this, &BrowserView::zoomOut);
    connect(close_, &QAbstractButton::clicked, this, &BrowserView::close);

    // Page area: the browsed page and the board page on each other.
    pageArea_ = new QWidget(this);
    pageArea_->setObjectName(QStringLiteral("browserPageArea"));
    page_ = new BrowserWebView(this, pageArea_);
    board_ = new BrowserBoardView(pageArea_);
    auto* layers = new QGridLayout(pageArea_);
    layers->setContentsMargins(0, 0, 0, 0);
    layers->addWidget(page_, 0, 0);
    layers->addWidget(board_, 0, 0);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(header_);
    column->addWidget(pageArea_, 1);

    grip_ = new CornerGrip(this);
    grip_->setObjectName(QStringLiteral("cornerGrip"));
    grip_->setFixedSize(32, 32);
    refresh();
}

BrowserView::~BrowserView() {
    if (settings_) delete settings_;
    if (bookmarks_) delete bookmarks_;
}

BrowserImageButton* BrowserView::button(const QString& image) const {
    for (BrowserImageButton* b : {search_, back_, forward_, annotate_, bookmark_, settingsButton_, zoomIn_, zoomOut_, close_})
        if (b->image() == image) return b;
    if (image == QLatin1String("toolbar_freehand") || image == QLatin1String("toolbar_freehand_on")) return annotate_;
    return nullptr;
}

void BrowserView::setAddress(const QString& address) {
    address_ = address;
    if (addressField_->text() != address) addressField_->setText(address);
    emit stateChanged();
}

void BrowserView::setOpacityValue(double value) {
    opacityValue_ = std::clamp(value, 0.2, 1.0);
    page_->setPageOpacity(opacityValue_);
    emit stateChanged();
}

void BrowserView::setShowPopoverSettings(bool shown) {
    if (showPopoverSettings_ == shown) return;
    showPopoverSettings_ = shown;
    if (shown) {
        if (!settings_) settings_ = makeSettingsPopover();
        presentPopover(settings_, settingsButton_);
    } else if (settings_) {
        settings_->hide();
    }
    emit stateChanged();
}

void BrowserView::setShowBookmark(bool shown) {
    if (showBookmark_ == shown) return;
    showBookmark_ = shown;
    if (shown) {
        // Each presentation reads the bookmarks anew.
        if (bookmarks_) bookmarks_->deleteLater();
        bookmarks_ = makeBookmarkPopover();
        presentPopover(bookmarks_, bookmark_);
    } else if (bookmarks_) {
        bookmarks_->hide();
    }
    emit stateChanged();
}

void BrowserView::presentPopover(QWidget* popover, QWidget* anchor) {
    popover->adjustSize();
    const QPoint bottomCentre = anchor->mapToGlobal(QPoint(anchor->width() / 2, anchor->height()));
    popover->move(bottomCentre.x() - popover->width() / 2, bottomCentre.y());
    popover->show();
}

QWidget* BrowserView::makeSettingsPopover() {
    auto* popover = new Popover(this, [this] {
        if (showPopoverSettings_) {
            showPopoverSettings_ = false;
            emit stateChanged();
        }
    });
    popover->setObjectName(QStringLiteral("browserSettings"));
    QPalette p = popover->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    popover->setPalette(p);
    auto* column = new QVBoxLayout(popover);
    column->setContentsMargins(10, 10, 10, 15);

    auto* transparency = new QHBoxLayout;
    transparency->addWidget(boldLabel(QStringLiteral("Transparency:")));
    transparency->addStretch();
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(QStringLiteral("transparencySlider"));
    slider->setRange(200, 1000);
    slider->setValue(int(std::lround(opacityValue_ * 1000)));
    slider->setFixedWidth(80);
    connect(slider, &QSlider::valueChanged, this, [this](int v) { setOpacityValue(v / 1000.0); });
    transparency->addWidget(slider);
    transparency->addStretch();
    column->addLayout(transparency);

    auto switchRow = [](const QString& text, QCheckBox* box) {
        auto* rowWidget = new QWidget;
        auto* row = new QHBoxLayout(rowWidget);
        row->setContentsMargins(0, 0, 0, 0);
        QLabel* label = boldLabel(text);
        label->setFixedWidth(150);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row->addWidget(label);
        row->addStretch();
        row->addWidget(box);
        row->addStretch();
        return rowWidget;
    };
    removeSwitch_ = new QCheckBox;
    removeSwitch_->setObjectName(QStringLiteral("removeBackgroundSwitch"));
    removeSwitch_->setChecked(toggleModel_.enableRemoveBackground);
    column->addWidget(switchRow(QStringLiteral("Background Removal:"), removeSwitch_));
    invertSwitch_ = new QCheckBox;
    invertSwitch_->setObjectName(QStringLiteral("invertSwitch"));
    invertSwitch_->setChecked(toggleModel_.inverted);
    invertRow_ = switchRow(QStringLiteral("Invert Color:"), invertSwitch_);
    column->addWidget(invertRow_);
    invertRow_->setVisible(toggleModel_.enableRemoveBackground);
    connect(removeSwitch_, &QCheckBox::toggled, this, [this](bool on) { setEnableRemoveBackground(on); });
    connect(invertSwitch_, &QCheckBox::toggled, this, [this](bool on) { setInverted(on); });
    return popover;
}

QWidget* BrowserView::makeBookmarkPopover() {
    // As wide as the bookmark stack, with its rounded corners; 5 below it.
    auto* popover = new Popover(
        this,
        [this] {
            if (showBookmark_) {
                showBookmark_ = false;
                emit stateChanged();
            }
        },
        BrowserBookmarkView::cornerRadius);
    popover->setObjectName(QStringLiteral("browserBookmarks"));
    auto* column = new QVBoxLayout(popover);
    column->setContentsMargins(0, 0, 0, 5);
    column->setSizeConstraint(QLayout::SetFixedSize);
    bookmarkView_ = new BrowserBookmarkView(popover);
    column->addWidget(bookmarkView_, 0, Qt::AlignHCenter);
    connect(bookmarkView_, &BrowserBookmarkView::listChanged, popover, [popover] { popover->adjustSize(); });
    return popover;
}

void BrowserView::setNavigationState(bool canGoBack, bool canGoForward) {
    canGoBack_ = canGoBack;
    canGoForward_ = canGoForward;
    refresh();
    emit stateChanged();
}

void BrowserView::setPdfMode(bool pdfMode) {
    pdfMode_ = pdfMode;
    refresh();
    emit stateChanged();
}

void BrowserView::openSearchEngine() {
    setAddress(QString::fromLatin1(searchEngineHost));
    if (app::browserWebView) app::browserWebView->loadURL(address_);
}

void BrowserView::goBack() {
    if (app::browserWebView) app::browserWebView->wkWebView()->back();
}

void BrowserView::goForward() {
    if (app::browserWebView) app::browserWebView->wkWebView()->forward();
}

void BrowserView::commitAddress() {
    address_ = addressField_->text();
    if (address_ == preAddress_) return;
    if (app::browserWebView) app::browserWebView->loadURL(address_);
    preAddress_ = address_;
}

void BrowserView::setAnnotation(bool enabled, const QString& script) {
    enableAnnotation_ = enabled;
    if (app::browserBoardView) app::browserBoardView->evaluateScript(script);
    refresh();
    emit stateChanged();
}

void BrowserView::zoomIn() {
    if (!app::browserWebView) return;
    QWebEngineView* view = app::browserWebView->wkWebView();
    view->setZoomFactor(roundedZoom(view->zoomFactor() + 0.1));
}

void BrowserView::zoomOut() {
    if (!app::browserWebView) return;
    QWebEngineView* view = app::browserWebView->wkWebView();
    double z = roundedZoom(view->zoomFactor() - 0.1);
    if (z < 1.0) z = 1.0;
    view->setZoomFactor(z);
}

void BrowserView::close() {
    if (app::browserWebView) {
        app::browserWebView->wkWebView()->setHtml(QString());
        app::browserWebView->setShowingBrowser(false);
    }
    if (onClosed_) onClosed_();
}

void BrowserView::setEnableRemoveBackground(bool enabled) {
    if (enabled != toggleModel_.enableRemoveBackground) {
        util::printLine(QStringLiteral("enableRemoveBackground ") + (enabled ? QStringLiteral("true") : QStringLiteral("false")));
        app::enableRemoveBackground = enabled;
        if (app::browserWebView) {
            if (!enabled)
                app::browserWebView->wkWebView()->reload();  // the page gets its backgrounds back
            else
                app::browserWebView->evaluateBackgroundScript(updateInvertCall(app::invertColor, true));
        }
    }
    toggleModel_.enableRemoveBackground = enabled;
    if (removeSwitch_ && removeSwitch_->isChecked() != enabled) removeSwitch_->setChecked(enabled);
    if (invertRow_) {
        invertRow_->setVisible(enabled);
        if (settings_) settings_->adjustSize();
    }
    emit stateChanged();
}

void BrowserView::setInverted(bool inverted) {
    if (inverted != app::invertColor) {
        app::invertColor = inverted;
        if (app::browserWebView) app::browserWebView->evaluateBackgroundScript(updateInvertCall(inverted));
    }
    toggleModel_.inverted = inverted;
    if (invertSwitch_ && invertSwitch_->isChecked() != inverted) invertSwitch_->setChecked(inverted);
    emit stateChanged();
}

void BrowserView::refresh() {
    pdfTitle_->setVisible(pdfMode_);
    navigation_->setVisible(!pdfMode_);
    search_->setVisible(!lessonsMode_);
    addressField_->setVisible(!lessonsMode_);
    title_->setVisible(lessonsMode_);
    title_->setText(QStringLiteral("Wendle Lessons ") + (app::globalOfflineMode ? QStringLiteral("(Offline)") : QString()));
    back_->setImageOpacity(canGoBack_ ? 1.0 : 0.5);
    forward_->setImageOpacity(canGoForward_ ? 1.0 : 0.5);
    annotate_->setImage(enableAnnotation_ ? QStringLiteral("toolbar_freehand_on") : QStringLiteral("toolbar_freehand"));
    bookmark_->setVisible(!pdfMode_ && !lessonsMode_);
    zoomIn_->setVisible(!pdfMode_);
    zoomOut_->setVisible(!pdfMode_);
    layoutPage();
}

void BrowserView::layoutPage() {
    // The board lies in front and takes the pointer only while annotating.
    board_->setAttribute(Qt::WA_TransparentForMouseEvents, !enableAnnotation_);
    board_->wkWebView()->setAttribute(Qt::WA_TransparentForMouseEvents, !enableAnnotation_);
    if (QWidget* proxy = board_->wkWebView()->focusProxy())
        proxy->setAttribute(Qt::WA_TransparentForMouseEvents, !enableAnnotation_);
    if (enableAnnotation_)
        board_->raise();
    else
        page_->raise();
    grip_->move(width() - grip_->width(), height() - grip_->height());
    grip_->raise();
}

void BrowserView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutPage();
}

}  // namespace qv::webpanels
