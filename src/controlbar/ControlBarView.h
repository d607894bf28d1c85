#pragma once
// The presenter's control bar: a small tab that collapses and restores it, and the grey rounded
// row of buttons with their popovers. It shows the state of its ControlBarModel and calls its
// actions; the root view places it along the bottom of the main window.
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>

#include "controlbar/ControlBarModel.h"

class QHBoxLayout;
class QSlider;

namespace qv::controlbar {

class Popover;
class QVImageButton;

class ControlBarView : public QWidget {
    Q_OBJECT
public:
    explicit ControlBarView(ControlBarModel::CameraProvider camera, QWidget* parent = nullptr);
    ~ControlBarView() override;

    ControlBarModel& model() { return *model_; }

    // The group after the main buttons (Focus, Adjust and Settings live there).
    QWidget* hidButtons() const { return hidButtons_; }
    // The shown button or popover entry with that icon, or null.
    QVImageButton* button(const QString& icon) const;
    QWidget* thumbnail() const;
    QWidget* collapseTab() const { return tab_; }
    QWidget* bar() const { return bar_; }
    Popover* popover(const QString& name) const;
    QSlider* zoomSlider() const { return zoomSlider_; }
    // The Adjust popover's slider of one image setting.
    QSlider* imageSlider(ImageSetting setting) const;
    // The update badge on the Settings button (shown while an update waits).
    QWidget* updateBadge() const { return updateBadge_; }

    // The update flow: "Update" asks in a window-modal message box; "Continue" downloads.
    void confirmUpdate();
    // How far the bar is moved down from its place while it slides out or in.
    int slideOffset() const { return slideOffset_; }
    static constexpr int slideDurationMs = 500;

signals:
    // The bar's size changed (collapsed, restored, buttons came or went).
    void resized();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void refresh();
    void slideBar(bool hide);
    void rebuildMainButtons();
    void refreshPopovers();
    void syncPopover(const QString& name, bool shown, const QString& anchorIcon);
    std::vector<QWidget*> browsersRow();
    std::vector<QWidget*> zoomRow();
    std::vector<QWidget*> recordRow();
    std::vector<QWidget*> viewOptionRow();
    std::vector<QWidget*> focusRow();
    std::vector<QWidget*> adjustColumn();
    std::vector<QWidget*> settingsColumn();
    QString settingsSignature() const;
    void rebuildHIDButtons();
    void showUpdateFailure(const QString& reason);
    void revealSaveFolder();
    void showTunnelList();
    void toggleFullScreen();

    ControlBarModel* model_;
    QWidget* tab_;
    QWidget* bar_;
    QHBoxLayout* mainRow_;
    QWidget* hidButtons_;
    QSlider* zoomSlider_ = nullptr;
    std::map<ImageSetting, QSlider*> imageSliders_;
    QHBoxLayout* hidRow_ = nullptr;
    QString hidSignature_;
    QLabel* updateBadge_ = nullptr;
    QString mainSignature_;
    int slideOffset_ = 0;
    bool barShown_ = true;
    QPointer<QObject> slide_;
    std::map<QString, QString> popoverSignatures_;
    std::map<QString, Popover*> popovers_;
};

}  // namespace qv::controlbar
