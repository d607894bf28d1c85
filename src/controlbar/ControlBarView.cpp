#include "controlbar/ControlBarView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QPushButton>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QTimer>
#include <QVariantAnimation>
#include <QVBoxLayout>

#include <cmath>

#include "helpers/DesktopOpen.h"
#include "helpers/FullScreen.h"
#include "state/AppState.h"
#include "capture/hid/HIDReports.h"
#include "helpers/NiceButtonStyle.h"
#include "helpers/RoundedBackground.h"
#include "util/BuildInfo.h"
#include "controlbar/BarStyle.h"
#include "controlbar/NamedImages.h"
#include "controlbar/Popover.h"
#include "controlbar/QVImageButton.h"

namespace qv::controlbar {

namespace {

const QString kNoFolderMessage = QStringLiteral(
    "No Permissions granted to save files on your computer, please restart app and choose a folder to save files!");

// Slider positions are hundredths of the zoom factor.
constexpr int kSliderScale = 100;

// Runs a function on a left click.
class Clickable : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> onClick;

protected:
    void mousePressEvent(QMouseEvent* e) override { e->accept(); }
    void mouseReleaseEvent(QMouseEvent* e) override {
        e->accept();
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && onClick) {
            auto f = onClick;
            f();
        }
    }
};

// The tab above the bar: the cap of a grey circle with the arrow turned by the bar's state.
class CollapseTab : public Clickable {
public:
    explicit CollapseTab(QWidget* parent) : Clickable(parent) {
        setObjectName(QStringLiteral("collapseTab"));
        // The 50 x 50 circle sits 33 points low, so only its cap of 17 points shows above the bar.
        setFixedSize(50, 17);
    }
    bool turned = false;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF circle(0, 0, 50, 50);
        // The outline from 0.55 to 0.95 of its length, clockwise from the rightmost point: the arc
        // from 198 to 342 degrees on screen, closed by its chord.
        QPainterPath cap;
        cap.arcMoveTo(circle, -198);
        cap.arcTo(circle, -198, -144);
        cap.closeSubpath();
        p.fillPath(cap, QColor(128, 128, 128));
        const QPixmap arrow = namedImage(QStringLiteral("toolbar_arrow_down"), QSize(20, 20), devicePixelRatioF());
        p.translate(25, 10);
        if (turned) p.rotate(180);
        p.drawPixmap(QPointF(-10, -10), arrow);
    }
};

// The grey rounded row behind the buttons.
class BarFrame : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override { app::paintRoundedBackground(*this, barBackground()); }
};

// The last capture, filling a 56 x 56 circle.
class RoundThumbnail : public Clickable {
public:
    RoundThumbnail(const QImage& image, QWidget* parent) : Clickable(parent), image_(image) {
        setObjectName(QStringLiteral("lastCapture"));
        setFixedSize(56, 56);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath circle;
        circle.addEllipse(QRectF(rect()));
        p.setClipPath(circle);
        // Fill: keep the aspect ratio and cut what overflows.
        const QSizeF scaled = QSizeF(image_.size()).scaled(QSizeF(size()), Qt::KeepAspectRatioByExpanding);
        QRectF target(QPointF(0, 0), scaled);
        target.moveCenter(QRectF(rect()).center());
        p.drawImage(target, image_);
    }

private:
    QImage image_;
};

Clickable* imageOnly(const QString& name, QWidget* parent, std::function<void()> onClick) {
    auto* w = new Clickable(parent);
    w->setObjectName(name);
    auto* label = new QLabel(w);
    label->setPixmap(namedImage(name, QSize(32, 32), w->devicePixelRatioF()));
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(label);
    w->onClick = std::move(onClick);
    return w;
}

void clearLayout(QHBoxLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            // Deleted later: the click that led here may still be unwinding through the button.
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
}

const QString kZoom = QStringLiteral("Zoom");
const QString kViewOption = QStringLiteral("ViewOption");
const QString kRecord = QStringLiteral("Record");
const QString kViewer = QStringLiteral("Browsers");
const QString kFocus = QStringLiteral("Focus");
const QString kAdjust = QStringLiteral("Adjust");
const QString kSettings = QStringLiteral("Settings");

// "Update", "Change" and "Pair": white text on grey, the accent colour while pressed.
QPushButton* textButton(const QString& text, std::function<void()> action) {
    auto* b = new QPushButton(text);
    b->setObjectName(text);
    app::NiceButtonStyle{Qt::white, QColor(128, 128, 128), QApplication::palette().color(QPalette::Highlight)}.apply(b);
    QObject::connect(b, &QPushButton::clicked, b, [action = std::move(action)] { action(); });
    return b;
}

QLabel* boldText(const QString& text, const QColor& color = {}) {
    auto* label = new QLabel(text);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    if (color.isValid()) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, color);
        label->setPalette(p);
    }
    return label;
}

// A picker of the Settings popover; its entries are drawn in black, as the platform's menus are.
QComboBox* picker(const QString& name, const std::vector<QString>& entries, int selected) {
    auto* combo = new QComboBox;
    combo->setObjectName(name);
    combo->setPalette(QApplication::palette());
    for (const QString& entry : entries) combo->addItem(entry);
    combo->setCurrentIndex(selected >= 0 && selected < combo->count() ? selected : -1);
    return combo;
}

}  // namespace

ControlBarView::ControlBarView(ControlBarModel::CameraProvider camera, QWidget* parent)
    : QWidget(parent), model_(new ControlBarModel(std::move(camera), this)) {
    setObjectName(QStringLiteral("controlBar"));
    applyBarForeground(this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* tab = new CollapseTab(this);
    tab->onClick = [this] { model_->toggleControlBar(); };
    tab_ = tab;
    column->addWidget(tab_, 0, Qt::AlignHCenter);

    bar_ = new BarFrame(this);
    bar_->setObjectName(QStringLiteral("bar"));
    auto* row = new QHBoxLayout(bar_);
    row->setContentsMargins(10, 2, 10, 2);
    auto* main = new QWidget(bar_);
    mainRow_ = new QHBoxLayout(main);
    mainRow_->setContentsMargins(0, 0, 0, 0);
    hidButtons_ = new QWidget(bar_);
    hidButtons_->setObjectName(QStringLiteral("hidButtons"));
    hidRow_ = new QHBoxLayout(hidButtons_);
    hidRow_->setContentsMargins(0, 0, 0, 0);
    row->addWidget(main);
    row->addWidget(hidButtons_);
    column->addWidget(bar_, 0, Qt::AlignHCenter);

    for (const QString& name : {kZoom, kViewOption, kRecord, kViewer, kFocus, kAdjust, kSettings}) {
        auto* popover = new Popover(name, this);
        popovers_[name] = popover;
        connect(popover, &Popover::closed, this, [this, name] {
            bool* flag = name == kZoom         ? &model_->showPopoverZoom
                         : name == kViewOption ? &model_->showPopoverViewOption
                         : name == kRecord     ? &model_->showPopoverRecord
                         : name == kFocus      ? &model_->showPopoverFocus
                         : name == kAdjust     ? &model_->showPopoverAdjust
                         : name == kSettings   ? &model_->showPopoverSettings
                                               : &model_->showPopoverViewer;
            if (*flag) {
                *flag = false;
                emit model_->changed();
            }
        });
    }
    // The Zoom popover keeps its slider for good, so a drag is never cut by a refresh.
    zoomSlider_ = new QSlider(Qt::Horizontal);
    zoomSlider_->setObjectName(QStringLiteral("zoomSlider"));
    zoomSlider_->setFixedWidth(200);
    zoomSlider_->setRange(int(0.5 * kSliderScale), 10 * kSliderScale);
    connect(zoomSlider_, &QSlider::valueChanged, this, [this](int v) {
        model_->setZoomFromSlider(double(v) / kSliderScale);
    });
    popovers_[kZoom]->setRow(zoomRow());
    // The Focus and Adjust popovers keep their content for good too (a drag is never cut).
    popovers_[kFocus]->setRow(focusRow());
    popovers_[kAdjust]->setColumn(adjustColumn());
    // The Settings popover's rows reach its edges: no room around them.
    popovers_[kSettings]->setPadding(QMargins());
    connect(model_, &ControlBarModel::updateFailed, this, &ControlBarView::showUpdateFailure);

    connect(model_, &ControlBarModel::changed, this, &ControlBarView::refresh);
    refresh();
}

ControlBarView::~ControlBarView() = default;

void ControlBarView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    model_->appear();
}

bool ControlBarView::event(QEvent* event) {
    const bool result = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest) emit resized();
    return result;
}

QVImageButton* ControlBarView::button(const QString& icon) const {
    // A button of a group that was taken down (hidden, deleted later) does not count.
    auto find = [&](const QWidget* root) -> QVImageButton* {
        for (auto* b : root->findChildren<QVImageButton*>(icon))
            if (b->isVisibleTo(root)) return b;
        return nullptr;
    };
    if (auto* b = find(this)) return b;
    for (const auto& [name, popover] : popovers_)
        if (auto* b = find(popover)) return b;
    return nullptr;
}

QWidget* ControlBarView::thumbnail() const {
    for (auto* w : findChildren<QWidget*>(QStringLiteral("lastCapture")))
        if (!w->isHidden()) return w;
    return nullptr;
}

Popover* ControlBarView::popover(const QString& name) const {
    auto it = popovers_.find(name);
    return it == popovers_.end() ? nullptr : it->second;
}

void ControlBarView::refresh() {
    static_cast<CollapseTab*>(tab_)->turned = model_->hideControlBar;
    tab_->update();
    if (barShown_ == model_->hideControlBar) slideBar(model_->hideControlBar);
    rebuildMainButtons();
    rebuildHIDButtons();
    for (const auto& [setting, slider] : imageSliders_) {
        // Values put back by a reset move the sliders without sending anything.
        const int value = int(hid::sliderCommandValue(model_->imageSetting(setting)));
        if (slider->value() != value) {
            QSignalBlocker block(slider);
            slider->setValue(value);
        }
    }
    const int sliderValue = int(std::lround(model_->zoomFactor * kSliderScale));
    if (zoomSlider_->value() != sliderValue) {
        QSignalBlocker block(zoomSlider_);
        zoomSlider_->setValue(sliderValue);
    }
    refreshPopovers();
    adjustSize();
    emit resized();
    // Buttons made or moved by the rebuild: the highlight follows the pointer, once they are laid out.
    QTimer::singleShot(0, this, [this] {
        for (auto* b : findChildren<QVImageButton*>()) b->syncHoverWithPointer();
    });
}

void ControlBarView::slideBar(bool hide) {
    // The bar slides out downwards, or in from below, eased in over half a second; the tab
    // turns its arrow at once.
    barShown_ = !hide;
    if (slide_) delete slide_.data();
    const int distance = bar_->sizeHint().height();
    if (!hide) {
        bar_->show();
        adjustSize();
    }
    auto* animation = new QVariantAnimation(this);
    slide_ = animation;
    animation->setDuration(isVisible() ? slideDurationMs : 0);
    animation->setEasingCurve(QEasingCurve::InQuad);
    animation->setStartValue(hide ? 0 : distance);
    animation->setEndValue(hide ? distance : 0);
    connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        slideOffset_ = v.toInt();
        emit resized();
    });
    connect(animation, &QVariantAnimation::finished, this, [this, hide] {
        slideOffset_ = 0;
        if (hide) bar_->hide();
        adjustSize();
        emit resized();
    });
    slideOffset_ = hide ? 0 : distance;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void ControlBarView::rebuildMainButtons() {
    const ControlBarModel& m = *model_;
    const ToggleModel& t = m.toggleModel;
    // Rebuilt only when what is shown changes.
    const QString signature = QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                                  .arg(m.hasThumbnail() ? m.thumbnailURL.toString() : QString())
                                  .arg(t.isWendle)
                                  .arg(m.enableAnnotation)
                                  .arg(m.isFreezing)
                                  .arg(m.isRecording)
                                  .arg(m.recordingTimerStr)
                                  .arg(qint64(m.thumbnailImage.cacheKey()));
    if (signature == mainSignature_) return;
    mainSignature_ = signature;
    clearLayout(mainRow_);

    QWidget* parent = mainRow_->parentWidget();
    ControlBarModel* model = model_;
    auto add = [&](QWidget* w) {
        mainRow_->addWidget(w, 0, Qt::AlignVCenter);
        w->show();
    };
    auto button = [&](const QString& icon, const QString& text, std::function<void()> action,
                      std::optional<QColor> color = std::nullopt, const QString& tooltip = {}) {
        add(new QVImageButton(icon, text, tooltip, color, std::move(action), parent));
    };

    if (m.hasThumbnail()) {
        auto* thumb = new RoundThumbnail(m.thumbnailImage, parent);
        thumb->onClick = [model] { model->showLastCapture(); };
        add(thumb);
    } else {
        button("toolbar_folder", "Files", [this] { revealSaveFolder(); });
    }
    if (t.isWendle) button("toolbar_openfile", "Open File", [model] { model->openFiles(); });
    if (m.enableAnnotation)
        button("toolbar_freehand_on", "Annotate", [model] { model->turnAnnotationOff(); });
    else
        button("toolbar_freehand", "Annotate", [model] { model->turnAnnotationOn(); });
    if (t.isWendle)
        button("toolbar_viewer", "Browsers", [model] {
            model->showPopoverViewer = true;
            emit model->changed();
        });
    button("toolbar_zoom", "Zoom", [model] {
        model->showPopoverZoom = true;
        emit model->changed();
    });
    if (m.isFreezing)
        button("toolbar_resume", "Resume", [model] { model->setFreezing(false); }, redColor);
    else
        button("toolbar_freeze", "Pause", [model] { model->setFreezing(true); });
    if (m.isRecording)
        button("toolbar_stop_recording", m.recordingTimerStr, [model] { model->stopRecording(); }, redColor);
    else
        button(
            "toolbar_record", "Record",
            [model] {
                model->showPopoverRecord = true;
                emit model->changed();
            },
            std::nullopt, QStringLiteral("To record screen, press Shift-Command(⌘)-5"));
    button("toolbar_snapshot", "Snapshot", [model] { model->takeSnapshot(); });
    button("toolbar_view", "View Option", [model] {
        model->showPopoverViewOption = true;
        emit model->changed();
    });
}

std::vector<QWidget*> ControlBarView::browsersRow() {
    ControlBarModel* model = model_;
    std::vector<QWidget*> row;
    row.push_back(new QVImageButton("toolbar_browser", "Web", {}, std::nullopt, [model] { model->openWebBrowser(); }));
    row.push_back(new QVImageButton("toolbar_viewer_tunnel", "Plenwick", {}, std::nullopt, [this] { showTunnelList(); }));
    if (model->toggleModel.allowDocCam)
        row.push_back(new QVImageButton("toolbar_viewer_doccam", "Doc Camera", {}, std::nullopt,
                                        [model] { model->openDocCamera(); }));
    row.push_back(new QVImageButton("toolbar_lessons", "Lessons", {}, std::nullopt, [model] { model->openLessons(); }));
    return row;
}

std::vector<QWidget*> ControlBarView::zoomRow() {
    ControlBarModel* model = model_;
    return {imageOnly("toolbar_zoom_out", nullptr, [model] { model->zoomOut(); }), zoomSlider_,
            imageOnly("toolbar_zoom_in", nullptr, [model] { model->zoomIn(); })};
}

std::vector<QWidget*> ControlBarView::recordRow() {
    ControlBarModel* model = model_;
    return {new QVImageButton("toolbar_record_camera", "Camera Only", {}, std::nullopt,
                              [model] { model->startRecording(ControlBarModel::Recording::Movie); }),
            new QVImageButton("toolbar_record_screen", "Screen", {}, std::nullopt,
                              [model] { model->startRecording(ControlBarModel::Recording::Screen); })};
}

std::vector<QWidget*> ControlBarView::viewOptionRow() {
    ControlBarModel* model = model_;
    std::vector<QWidget*> row;
    if (!model->toggleModel.isWendle) {
        row.push_back(new QVImageButton("toolbar_rotate_left", "Rotate Left", {}, std::nullopt,
                                        [model] { model->rotate(QStringLiteral("left")); }));
        row.push_back(new QVImageButton("toolbar_rotate_right", "Rotate Right", {}, std::nullopt,
                                        [model] { model->rotate(QStringLiteral("right")); }));
    }
    row.push_back(new QVImageButton("toolbar_camera_mirror", "Mirror", {}, std::nullopt, [model] { model->mirror(); }));
    if (model->toggleModel.allowPIP)
        row.push_back(new QVImageButton("toolbar_pip", "PIP", {}, std::nullopt, [model] { model->openPIPCamera(); }));
    row.push_back(new QVImageButton("toolbar_full_screen", "Full Screen", {}, std::nullopt, [this] { toggleFullScreen(); }));
    return row;
}

void ControlBarView::refreshPopovers() {
    const ToggleModel& t = model_->toggleModel;
    // Rebuild the rows whose entries depend on the flags.
    const std::pair<QString, QString> rows[] = {
        {kViewer, QString::number(t.allowDocCam)},
        {kRecord, QStringLiteral("-")},
        {kViewOption, QStringLiteral("%1%2").arg(t.isWendle).arg(t.allowPIP)},
    };
    for (const auto& [name, signature] : rows) {
        if (popoverSignatures_[name] == signature) continue;
        popoverSignatures_[name] = signature;
        popovers_[name]->setRow(name == kViewer ? browsersRow() : name == kRecord ? recordRow() : viewOptionRow());
    }
    const bool shown = !model_->hideControlBar;
    syncPopover(kZoom, shown && model_->showPopoverZoom, QStringLiteral("toolbar_zoom"));
    syncPopover(kViewOption, shown && model_->showPopoverViewOption, QStringLiteral("toolbar_view"));
    syncPopover(kRecord, shown && model_->showPopoverRecord && !model_->isRecording, QStringLiteral("toolbar_record"));
    syncPopover(kViewer, shown && model_->showPopoverViewer && t.isWendle, QStringLiteral("toolbar_viewer"));
    syncPopover(kFocus, shown && model_->showPopoverFocus && t.allowHIDControl, QStringLiteral("toolbar_focus"));
    syncPopover(kAdjust, shown && model_->showPopoverAdjust && t.allowHIDControl, QStringLiteral("toolbar_adjust"));
    // The Settings popover's content is drawn when it opens and again when what it shows changes.
    Popover* settings = popovers_[kSettings];
    const bool settingsShown = shown && model_->showPopoverSettings;
    if (settingsShown) {
        const QString signature = settingsSignature();
        if (!settings->isVisible() || popoverSignatures_[kSettings] != signature) {
            popoverSignatures_[kSettings] = signature;
            settings->setColumn(settingsColumn(), Qt::AlignLeft);
        }
    }
    syncPopover(kSettings, settingsShown, QStringLiteral("toolbar_settings"));
}

QSlider* ControlBarView::imageSlider(ImageSetting setting) const {
    auto it = imageSliders_.find(setting);
    return it == imageSliders_.end() ? nullptr : it->second;
}

void ControlBarView::rebuildHIDButtons() {
    const bool hid = model_->toggleModel.allowHIDControl;
    const QString signature = QStringLiteral("%1|%2").arg(hid).arg(app::updateAvailable);
    if (signature == hidSignature_) return;
    hidSignature_ = signature;
    clearLayout(hidRow_);
    updateBadge_ = nullptr;
    ControlBarModel* model = model_;
    QWidget* parent = hidButtons_;
    auto add = [&](QWidget* w) {
        hidRow_->addWidget(w, 0, Qt::AlignVCenter);
        w->show();
    };
    if (hid) {
        add(new QVImageButton("toolbar_focus", "Focus", {}, std::nullopt, [model] {
            model->showPopoverFocus = true;
            emit model->changed();
        }, parent));
        add(new QVImageButton("toolbar_adjust", "Adjust", {}, std::nullopt, [model] {
            model->showPopoverAdjust = true;
            emit model->changed();
        }, parent));
    }
    // The Settings button with the update badge over its top-trailing corner.
    auto* stack = new QWidget(parent);
    stack->setObjectName(QStringLiteral("settingsStack"));
    auto* grid = new QGridLayout(stack);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QVImageButton("toolbar_settings", "Settings", {}, std::nullopt, [model] {
        model->showPopoverSettings = true;
        emit model->changed();
    }, stack), 0, 0);
    if (app::updateAvailable) {
        updateBadge_ = new QLabel(stack);
        updateBadge_->setObjectName(QStringLiteral("updateBadge"));
        updateBadge_->setPixmap(namedImage(QStringLiteral("new_version"), QSize(28, 28), devicePixelRatioF()));
        updateBadge_->setFixedSize(28, 28);
        updateBadge_->setAttribute(Qt::WA_TransparentForMouseEvents);
        grid->addWidget(updateBadge_, 0, 0, Qt::AlignTop | Qt::AlignRight);
    }
    add(stack);
}

std::vector<QWidget*> ControlBarView::focusRow() {
    ControlBarModel* model = model_;
    namespace cmd = hid::QVHIDCommand;
    return {new QVImageButton("toolbar_focus_af", "Auto", {}, std::nullopt,
                              [model] { model->sendFocusCommand(cmd::CMD_AUTO_FOCUS); }),
            new QVImageButton("toolbar_focus_afl", "Lock", {}, std::nullopt,
                              [model] { model->sendFocusCommand(cmd::CMD_FOCUS_LOCK); })};
}

std::vector<QWidget*> ControlBarView::adjustColumn() {
    std::vector<QWidget*> column;
    for (const ImageSettingRow& r : imageSettingRows()) {
        auto* row = new QWidget;
        auto* l = new QHBoxLayout(row);
        l->setContentsMargins(0, 0, 0, 0);
        l->addStretch();
        auto* icon = new QLabel;
        const QSize iconSize = QSize(32, int(32 / std::max(1.0, namedImageAspect(r.icon)))).boundedTo(QSize(32, 32));
        icon->setPixmap(namedImage(r.icon, iconSize, devicePixelRatioF()));
        icon->setContentsMargins(5, 0, 0, 0);
        l->addWidget(icon, 0, Qt::AlignVCenter);
        auto* label = new QLabel(r.label);
        label->setFixedWidth((r.setting == ImageSetting::Whitebalance ? 85 : 80) + 8);
        label->setContentsMargins(4, 0, 4, 0);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        l->addWidget(label, 0, Qt::AlignVCenter);
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setObjectName(QStringLiteral("slider_%1").arg(r.label));
        slider->setFixedWidth(200);
        slider->setRange(r.minimum, r.maximum);
        slider->setSingleStep(1);
        slider->setTracking(true);  // every value while dragging, not only the last one
        slider->setValue(int(r.defaultValue));
        const ImageSetting setting = r.setting;
        connect(slider, &QSlider::valueChanged, this, [this, setting](int v) { model_->setImageSetting(setting, v); });
        imageSliders_[setting] = slider;
        l->addWidget(slider, 0, Qt::AlignVCenter);
        l->addStretch();
        column.push_back(row);
    }
    auto* reset = new QPushButton(QStringLiteral("Reset to default"));
    reset->setObjectName(QStringLiteral("resetToDefault"));
    QPalette p = reset->palette();
    p.setColor(QPalette::ButtonText, Qt::black);
    reset->setPalette(p);
    connect(reset, &QPushButton::clicked, this, [this] { model_->resetCameraImage(); });
    column.push_back(reset);
    return column;
}

QString ControlBarView::settingsSignature() const {
    const ControlBarModel& m = *model_;
    const auto folders = app::folderLocations();
    QStringList parts{QString::number(app::updateAvailable), m.versionLine(), folders ? folders->rootFolderURL : QString(),
                      QString::number(m.toggleModel.allowPIP), QString::number(m.toggleModel.offlineMode),
                      QString::number(m.showsPairButton()), QString::number(m.selectedCameraIndex),
                      QString::number(m.selectedPipCameraIndex), QString::number(m.selectedMicIndex), m.selectedResolution};
    for (const QString& name : m.cameraNames()) parts << "c:" + name;
    for (const QString& name : m.microphoneNames()) parts << "m:" + name;
    return parts.join(QChar(0x1F));
}

std::vector<QWidget*> ControlBarView::settingsColumn() {
    ControlBarModel* model = model_;
    const ControlBarModel& m = *model_;
    auto row = [](const QString& label, const std::vector<QWidget*>& items) -> QWidget* {
        auto* w = new QWidget;
        auto* l = new QHBoxLayout(w);
        l->setContentsMargins(0, 0, 0, 0);
        QLabel* name = boldText(label);
        name->setFixedWidth(100);
        name->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->addWidget(name, 0, Qt::AlignVCenter);
        for (QWidget* item : items) l->addWidget(item, 0, Qt::AlignVCenter);
        l->addStretch();
        return w;
    };
    std::vector<QWidget*> column;

    QLabel* version = boldText(m.versionLine());
    version->setObjectName(QStringLiteral("versionText"));
    std::vector<QWidget*> versionItems{version};
    if (app::updateAvailable) {
        QLabel* status = boldText(QStringLiteral("✹ New version available."), redColor);
        status->setObjectName(QStringLiteral("updateStatus"));
        versionItems.push_back(status);
        versionItems.push_back(textButton(QStringLiteral("Update"), [this] { confirmUpdate(); }));
    } else {
        QLabel* status = boldText(QStringLiteral("✔︎ Up to date."), QColor(0x28, 0xCD, 0x41));
        status->setObjectName(QStringLiteral("updateStatus"));
        versionItems.push_back(status);
    }
    column.push_back(row(QStringLiteral("Version:"), versionItems));
    auto* gap = new QWidget;
    gap->setFixedHeight(8);
    column.push_back(gap);

    // The save folder: a long path shows its end and loses its beginning.
    const auto folders = app::folderLocations();
    const QString path = folders ? folders->rootFolderURL : QString();
    auto* location = new QLabel;
    location->setObjectName(QStringLiteral("saveLocation"));
    location->setTextFormat(Qt::PlainText);
    location->setToolTip(QString());
    location->setText(location->fontMetrics().elidedText(path, Qt::ElideLeft, 250));
    location->setMaximumWidth(250);
    location->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    column.push_back(row(QStringLiteral("Save Location:"),
                         {location, textButton(QStringLiteral("Change"), [model] { model->postAndClosePopover("ChangeArchive"); })}));

    const std::vector<QString> cameras = m.cameraNames();
    QComboBox* main = picker(QStringLiteral("mainCameraPicker"), cameras, m.selectedCameraIndex);
    connect(main, qOverload<int>(&QComboBox::activated), this, [model](int i) { model->selectCamera(i); });
    std::vector<QWidget*> mainItems{main};
    if (m.showsPairButton())
        mainItems.push_back(textButton(QStringLiteral("Pair"), [model] { model->postAndClosePopover("OpenKestrixConfig"); }));
    column.push_back(row(QStringLiteral("Main Camera:"), mainItems));

    if (m.toggleModel.allowPIP) {
        QComboBox* aux = picker(QStringLiteral("auxCameraPicker"), cameras, m.selectedPipCameraIndex);
        connect(aux, qOverload<int>(&QComboBox::activated), this, [model](int i) { model->selectAuxCamera(i); });
        column.push_back(row(QStringLiteral("Aux Camera:"), {aux}));
    }

    QComboBox* mic = picker(QStringLiteral("microphonePicker"), m.microphoneNames(), m.selectedMicIndex);
    connect(mic, qOverload<int>(&QComboBox::activated), this, [model](int i) { model->selectMicrophone(i); });
    column.push_back(row(QStringLiteral("Microphone:"), {mic}));

    std::vector<QString> resolutions(ControlBarModel::resolutions.begin(), ControlBarModel::resolutions.end());
    QComboBox* resolution =
        picker(QStringLiteral("resolutionPicker"), resolutions, int(ControlBarModel::resolutions.indexOf(m.selectedResolution)));
    connect(resolution, &QComboBox::textActivated, this, [model](const QString& r) { model->selectResolution(r); });
    column.push_back(row(QStringLiteral("Resolution:"), {resolution}));

    auto* offline = new QCheckBox;
    offline->setObjectName(QStringLiteral("offlineMode"));
    offline->setChecked(m.toggleModel.offlineMode);
    connect(offline, &QCheckBox::clicked, this, [model](bool on) { model->setOfflineMode(on); });
    column.push_back(row(QStringLiteral("Offline Mode:"), {offline}));
    return column;
}

void ControlBarView::confirmUpdate() {
    model_->showPopoverSettings = false;
    emit model_->changed();
    // The question goes on the main window; without a shown window nothing is asked.
    QWidget* host = window();
    if (!host || !host->isVisible()) return;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Update Software"), QStringLiteral("Update Software"),
                                QMessageBox::NoButton, host);
    box->setObjectName(QStringLiteral("updateConfirmation"));
    box->setInformativeText(QStringLiteral("Do you want to download and install the new version? ") +
                            QString::fromUtf8(util::build::bundleName) + QStringLiteral(" will be closed after downloading."));
    QAbstractButton* proceed = box->addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<ControlBarModel> model(model_);
    connect(box, &QMessageBox::buttonClicked, this, [model, proceed](QAbstractButton* clicked) {
        if (model) model->downloadUpdate(clicked == proceed);
    });
    box->open();
}

void ControlBarView::showUpdateFailure(const QString& reason) {
    QWidget* host = window();
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Update Software"),
                                QStringLiteral("The new version could not be downloaded."), QMessageBox::Ok, host);
    box->setObjectName(QStringLiteral("updateFailed"));
    box->setInformativeText(reason);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void ControlBarView::syncPopover(const QString& name, bool shown, const QString& anchorIcon) {
    Popover* popover = popovers_[name];
    if (shown && !popover->isVisible()) {
        if (QWidget* anchor = button(anchorIcon); anchor && isVisible()) popover->popUp(anchor);
    } else if (!shown && popover->isVisible()) {
        popover->hide();
    }
}

void ControlBarView::revealSaveFolder() {
    const auto folders = app::folderLocations();
    if (!folders) {
        QMessageBox alert(QMessageBox::Warning, QString(), kNoFolderMessage, QMessageBox::Ok, window());
        alert.exec();
        return;
    }
    app::openOnDesktop(QUrl::fromLocalFile(folders->rootFolderURL), QStringLiteral("No file manager could show the folder:"));
}

void ControlBarView::showTunnelList() {
    QWidget* key = QApplication::activeWindow();
    if (!key) key = window();
    if (key && key->isFullScreen()) {
        key->showNormal();
        key->showMaximized();
        model_->postTunnelList(500);
    } else {
        model_->postTunnelList(0);
    }
}

void ControlBarView::toggleFullScreen() {
    QWidget* key = QApplication::activeWindow();
    if (!key) key = window();
    app::toggleFullScreen(key);
    model_->showPopoverViewOption = false;
    emit model_->changed();
}

}  // namespace qv::controlbar
