#pragma once
// The window picker: other programs' windows in rows of three, each a thumbnail with its name. A
// tap mirrors that window onto the whiteboard page and closes the picker. The list is read afresh
// when the picker appears and on "Refresh", on a worker thread, so a slow window system never
// holds up the program. Main thread only.
#include <QImage>
#include <QRect>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QVBoxLayout;

namespace qv::webpanels {

class PickedTunnelWindows;

// One window offered by the picker.
struct TunnelWindow {
    QUuid id;             // new for every listing
    QString name;         // empty when the window has none
    QRect bounds;         // kept as listed
    QImage thumbnail;     // the picture at listing time
    std::uint32_t windowID = 0;
    qint64 pid = 0;
};

class TunnelListView : public QWidget {
    Q_OBJECT
public:
    using ScriptRunner = std::function<void(const QString& script)>;
    static constexpr int columnCount = 3;

    // `runInWhiteboard` evaluates a script in the whiteboard page.
    TunnelListView(std::shared_ptr<PickedTunnelWindows> windows, ScriptRunner runInWhiteboard, QWidget* parent = nullptr);
    ~TunnelListView() override;

    const std::vector<TunnelWindow>& windowsArray() const { return windowsArray_; }
    // True from a loadWindows() until its list is shown.
    bool isLoading() const { return loading_ > 0; }

    // Reads the list of windows again; windowsLoaded() follows on the main thread.
    void loadWindows();
    // Mirrors `window` on the whiteboard, then closes the picker and the document-camera window.
    void showWindow(const TunnelWindow& window);

    QSize sizeHint() const override { return {400, 400}; }

signals:
    void windowsLoaded();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setWindows(std::vector<TunnelWindow> windows);
    QWidget* makeCell(const TunnelWindow& window, QWidget* parent);

    std::shared_ptr<PickedTunnelWindows> windows_;
    ScriptRunner runInWhiteboard_;
    std::vector<TunnelWindow> windowsArray_;
    int loading_ = 0;
    int generation_ = 0;
    bool loadedOnce_ = false;
    bool appeared_ = false;
    QLabel* emptyText_;
    QLabel* unavailableText_;
    QWidget* rows_ = nullptr;
    QVBoxLayout* listLayout_;
};

}  // namespace qv::webpanels
