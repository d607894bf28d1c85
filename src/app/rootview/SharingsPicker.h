#pragma once
// The sharing menu of the side-by-side pane: what the Linux desktop offers for one file.
#include <QUrl>
#include <QWidget>

#include <functional>
#include <vector>

class QMenu;

namespace qv::app {

// The ways to share a file, and how each is carried out.
class SharingActions {
public:
    enum class Kind { CopyToClipboard, OpenWithDefaultApplication, ShowInFileManager, SendByEmail };
    struct Entry {
        Kind kind;
        QString title;
    };
    // Starts a desktop program, returning whether it started.
    using Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;
    // Opens an address with the desktop's default handler.
    using Opener = std::function<bool(const QUrl& url)>;

    SharingActions();

    static std::vector<Entry> entries();
    // Carries out one way of sharing `file` (a local file); returns whether it was started.
    bool perform(Kind kind, const QUrl& file) const;

    Launcher launch;
    Opener open;
};

// An invisible widget behind the share button. While it is presented it opens the sharing menu
// at its own place, once, and reports back (presented = false) when the menu closes, with a
// choice or without one.
class SharingsPicker : public QWidget {
    Q_OBJECT
public:
    explicit SharingsPicker(QWidget* parent = nullptr);

    void setSharingItems(const std::vector<QUrl>& items) { sharingItems_ = items; }
    const std::vector<QUrl>& sharingItems() const { return sharingItems_; }
    bool isPresented() const { return presented_; }
    void setPresented(bool presented);
    SharingActions& actions() { return actions_; }
    QMenu* menu() const { return menu_; }

signals:
    void presentedChanged(bool presented);

private:
    void openMenu();

    std::vector<QUrl> sharingItems_;
    bool presented_ = false;
    SharingActions actions_;
    QMenu* menu_ = nullptr;
};

}  // namespace qv::app
