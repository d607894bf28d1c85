#pragma once
// How the root view makes the panels of other parts of the program. Each factory returns a new
// widget for the given parent; the root view owns it and deletes it when the panel closes.
// Until a panel's own part exists, its factory makes a plain, labelled placeholder.
#include <QRegion>
#include <QSize>
#include <QWidget>

#include <functional>

namespace qv::app {

// What the browser panel is built with.
struct BrowserPanelArgs {
    QString address;
    bool canGoBack = false;
    bool canGoForward = false;
    bool pdfMode = false;
    bool lessonsMode = false;
    double opacityValue = 0.8;
    // The panel calls this when the presenter closes the browser.
    std::function<void()> onClosed;
};

struct PanelFactories {
    using Make = std::function<QWidget*(QWidget* parent)>;

    Make cameraView;     // the live main camera, filling the camera area
    Make whiteboard;     // the transparent page over the camera picture
    Make archiveList;    // along the left edge
    Make fileLibrary;    // along the right edge (Wendle edition)
    Make tunnelList;     // window list, centred, 400 x 400
    Make gifGenerator;   // GIF maker, centred
    Make kestrixConfig;  // wireless pairing panel, centred
    Make pipCamera;      // content of the picture-in-picture window (its capture runs while it lives)
    Make docCamera;      // content of the document-camera window
    std::function<QWidget*(QWidget* parent, const BrowserPanelArgs& args)> browser;
    // Loads a PDF into a browser panel made by `browser`.
    std::function<void(QWidget* browserPanel, const QString& path)> openPDF;
    // Tells the whiteboard made by `whiteboard` which part of it the panels above cover (in its
    // own coordinates): the page draws nothing there, so its ink never lies over them.
    std::function<void(QWidget* whiteboard, const QRegion& covered)> coverWhiteboard;

    // Every panel as a placeholder.
    static PanelFactories placeholders();
};

// A plain panel that names what will be shown in its place.
class PlaceholderPanel : public QWidget {
    Q_OBJECT
public:
    PlaceholderPanel(const QString& title, QSize size, QWidget* parent = nullptr, bool transparent = false);
    QString title() const { return title_; }
    QSize sizeHint() const override { return size_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
    QSize size_;
    bool transparent_;
};

}  // namespace qv::app
