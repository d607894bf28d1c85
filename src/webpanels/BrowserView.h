#pragma once
// The in-app browser panel: a header (search engine, back and forward, address field or lessons
// title, or "PDF Viewer"; the toolbar with annotate, bookmark, settings and zoom; close) over the
// page area, where the browsed page (BrowserWebView) and the board page (BrowserBoardView) lie on
// each other. The root view places the panel, moves and resizes it; the panel calls `onClosed`
// when the presenter closes it. Every showing is a new panel. Main thread only.
#include <QPointer>
#include <QString>
#include <QWidget>

#include "webpanels/BrowserBookmarkView.h"

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace qv::webpanels {

class BrowserBoardView;
class BrowserBookmarkView;
class BrowserImageButton;
class BrowserWebView;

// The switches of the settings popover. Background removal and inversion run their observers
// (BrowserView::setEnableRemoveBackground / setInverted); the last three are only kept.
struct ToggleBrowserSettingsModel {
    bool enableRemoveBackground = false;
    bool inverted = false;
    bool allowPIP = true;
    bool isWendle = true;
    bool allowHIDControl = false;
};

// The search engine of the panel's search button and its start page.
inline constexpr const char* searchEngineHost = "www.google.com";

class BrowserView : public QWidget {
    Q_OBJECT
public:
    BrowserView(const QString& address, bool canGoBack, bool canGoForward, bool pdfMode, bool lessonsMode,
                double opacityValue, std::function<void()> onClosed, QWidget* parent = nullptr);
    ~BrowserView() override;

    // --- state ---
    QString preAddress() const { return preAddress_; }
    QString address() const { return address_; }
    void setAddress(const QString& address);
    double opacityValue() const { return opacityValue_; }
    void setOpacityValue(double value);
    bool showPopoverSettings() const { return showPopoverSettings_; }
    void setShowPopoverSettings(bool shown);
    bool showBookmark() const { return showBookmark_; }
    void setShowBookmark(bool shown);
    bool enableAnnotation() const { return enableAnnotation_; }
    const ToggleBrowserSettingsModel& toggleModel() const { return toggleModel_; }
    bool canGoBack() const { return canGoBack_; }
    bool canGoForward() const { return canGoForward_; }
    void setNavigationState(bool canGoBack, bool canGoForward);
    bool pdfMode() const { return pdfMode_; }
    void setPdfMode(bool pdfMode);
    bool lessonsMode() const { return lessonsMode_; }

    // --- operations of the header and the toolbar ---
    void openSearchEngine();
    void goBack();
    void goForward();
    void commitAddress();
    void setAnnotation(bool enabled, const QString& script);
    void zoomIn();
    void zoomOut();
    void close();
    // The settings switches, with their observers.
    void setEnableRemoveBackground(bool enabled);
    void setInverted(bool inverted);

    // --- parts ---
    BrowserWebView* browserWebView() const { return page_; }
    BrowserBoardView* boardView() const { return board_; }
    QWidget* pageArea() const { return pageArea_; }
    QWidget* header() const { return header_; }
    QLineEdit* addressField() const { return addressField_; }
    QLabel* titleLabel() const { return title_; }
    BrowserImageButton* button(const QString& image) const;
    QWidget* settingsPopover() const { return settings_; }
    QWidget* bookmarkPopover() const { return bookmarks_; }
    BrowserBookmarkView* bookmarkView() const { return bookmarkView_; }
    QWidget* cornerGrip() const { return grip_; }

signals:
    void stateChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void layoutPage();
    void presentPopover(QWidget* popover, QWidget* anchor);
    QWidget* makeSettingsPopover();
    QWidget* makeBookmarkPopover();

    QString preAddress_;
    QString address_;
    double opacityValue_;
    bool showPopoverSettings_ = false;
    bool showBookmark_ = false;
    bool enableAnnotation_ = false;
    ToggleBrowserSettingsModel toggleModel_;
    bool canGoBack_;
    bool canGoForward_;
    bool pdfMode_;
    bool lessonsMode_;
    std::function<void()> onClosed_;

    QWidget* header_;
    QLabel* pdfTitle_;
    QWidget* navigation_;
    QLineEdit* addressField_;
    QLabel* title_;
    BrowserImageButton* search_;
    BrowserImageButton* back_;
    BrowserImageButton* forward_;
    BrowserImageButton* annotate_;
    BrowserImageButton* bookmark_;
    BrowserImageButton* settingsButton_;
    BrowserImageButton* zoomIn_;
    BrowserImageButton* zoomOut_;
    BrowserImageButton* close_;
    QWidget* pageArea_;
    BrowserWebView* page_;
    BrowserBoardView* board_;
    QWidget* grip_;
    QPointer<QWidget> settings_;
    QPointer<QWidget> bookmarks_;
    QPointer<BrowserBookmarkView> bookmarkView_;
    QCheckBox* removeSwitch_ = nullptr;
    QCheckBox* invertSwitch_ = nullptr;
    QWidget* invertRow_ = nullptr;
};

}  // namespace qv::webpanels
