// The window picker over a scripted window system: rows of three, the empty and unavailable texts,
// "Refresh" and "Close", and what a tap sends to the page.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <mutex>

#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/QtWait.h"
#include "webpanels/PickedTunnelWindows.h"
#include "webpanels/ScriptCalls.h"
#include "webpanels/TunnelListView.h"

using namespace qv::webpanels;
using qv::test::waitUntil;

namespace {

// Listed from the picker's worker thread.
struct ScriptedWindows : TunnelWindowSystem {
    std::mutex mutex;
    std::vector<TunnelWindowEntry> windows;
    QString reason;
    int listings = 0;

    void set(int count, const QString& name = QStringLiteral("Window")) {
        std::lock_guard lock(mutex);
        windows.clear();
        for (int i = 0; i < count; ++i) {
            QImage picture(160, 90, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(i * 40, 200, 200));
            windows.push_back({std::uint32_t(100 + i), QStringLiteral("%1 %2").arg(name).arg(i), QRect(0, 0, 160, 90), 42, picture});
        }
    }
    QString unavailableReason() const override { return reason; }
    std::vector<TunnelWindowEntry> listWindows() override {
        std::lock_guard lock(mutex);
        ++listings;
        return windows;
    }
    std::optional<QImage> windowPicture(std::uint32_t id) override {
        std::lock_guard lock(mutex);
        for (const auto& w : windows)
            if (w.windowID == id) return w.thumbnail;
        return std::nullopt;
    }
    void positionTunnel(std::uint32_t) override {}
    TunnelPlacement controlTunnel(std::uint32_t, const QRect&) override { return TunnelPlacement::Placed; }
    int listingCount() {
        std::lock_guard lock(mutex);
        return listings;
    }
};

struct Picker {
    std::shared_ptr<ScriptedWindows> system = std::make_shared<ScriptedWindows>();
    std::shared_ptr<PickedTunnelWindows> picked = std::make_shared<PickedTunnelWindows>(system);
    std::vector<QString> page;
    std::unique_ptr<TunnelListView> view;

    void open() {
        view = std::make_unique<TunnelListView>(picked, [this](const QString& s) { page.push_back(s); });
        view->resize(400, 400);
        view->show();
        loaded();
    }
    void loaded() { ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }, 10000)); }
    std::vector<int> cellsPerRow() const {
        std::vector<int> cells;
        for (QWidget* row : view->findChildren<QWidget*>(QStringLiteral("tunnelRow")))
            cells.push_back(int(row->findChildren<QWidget*>(QStringLiteral("tunnelCell")).size()));
        return cells;
    }
    bool shown(const char* name) const {
        auto* label = view->findChild<QLabel*>(QLatin1String(name));
        return label && label->isVisible();
    }
};

struct Posted {
    QObject owner;
    std::vector<qv::app::Notification> seen;
    Posted() {
        for (const char* name : {qv::app::notification::OpenTunnelList, qv::app::notification::OpenDocCamera})
            qv::app::NotificationCenter::defaultCenter().addObserver(
                &owner, QString::fromLatin1(name), [this](const qv::app::Notification& n) { seen.push_back(n); });
    }
};

}  // namespace

TEST(TunnelListView, RowsOfThreeAndTheEmptyText) {
    const struct {
        int windows;
        std::vector<int> rows;
    } cases[] = {{0, {}}, {1, {1}}, {3, {3}}, {4, {3, 1}}, {7, {3, 3, 1}}, {9, {3, 3, 3}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windows);
        Picker picker;
        picker.system->set(c.windows);
        picker.open();
        EXPECT_EQ(picker.cellsPerRow(), c.rows);
        EXPECT_EQ(int(picker.view->windowsArray().size()), c.windows);
        EXPECT_TRUE(picker.shown("tunnelListHeading"));
        EXPECT_EQ(picker.shown("tunnelListEmpty"), c.windows == 0);
        EXPECT_FALSE(picker.shown("tunnelListUnavailable"));
    }
}

TEST(TunnelListView, SaysWhyThereIsNothingWhereWindowsCannotBeListed) {
    Picker picker;
    picker.system->reason = QStringLiteral("Only on X11.");
    picker.open();
    EXPECT_TRUE(picker.shown("tunnelListEmpty"));
    EXPECT_EQ(picker.view->findChild<QLabel*>(QStringLiteral("tunnelListEmpty"))->text(),
              QStringLiteral("No windows can be viewing now, please make sure other windows are opened in same desktop space."));
    ASSERT_TRUE(picker.shown("tunnelListUnavailable"));
    EXPECT_EQ(picker.view->findChild<QLabel*>(QStringLiteral("tunnelListUnavailable"))->text(), QStringLiteral("Only on X11."));
}

TEST(TunnelListView, RefreshListsAgainAndCloseClosesThePicker) {
    Picker picker;
    picker.system->set(2);
    picker.open();
    EXPECT_EQ(picker.cellsPerRow(), (std::vector<int>{2}));
    const QUuid firstId = picker.view->windowsArray()[0].id;

    picker.system->set(5);
    QTest::mouseClick(picker.view->findChild<QPushButton*>(QStringLiteral("Refresh")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return picker.view->windowsArray().size() == 5; }, 10000));
    EXPECT_EQ(picker.cellsPerRow(), (std::vector<int>{3, 2}));
    EXPECT_NE(picker.view->windowsArray()[0].id, firstId);  // every listing is new
    EXPECT_EQ(picker.system->listingCount(), 2);

    Posted posted;
    QTest::mouseClick(picker.view->findChild<QPushButton*>(QStringLiteral("Close")), Qt::LeftButton);
    ASSERT_EQ(posted.seen.size(), 1u);
    EXPECT_EQ(posted.seen[0].name, QString::fromLatin1(qv::app::notification::OpenTunnelList));
    EXPECT_TRUE(picker.page.empty());
}

TEST(TunnelListView, ATapMirrorsTheWindowWithItsNameAsASafeLiteral) {
    Picker picker;
    picker.system->set(4, QStringLiteral("<b>Bold</b> <font color=red>red</font> It's a \"quote\" \\ </script><b>"));
    picker.open();
    EXPECT_FALSE(picker.picked->isPicked(101));
    Posted posted;
    auto thumbnails = picker.view->findChildren<QAbstractButton*>(QStringLiteral("tunnelThumbnail"));
    ASSERT_EQ(thumbnails.size(), 4);
    QTest::mouseClick(thumbnails[1], Qt::LeftButton);

    EXPECT_TRUE(picker.picked->isPicked(101));
    EXPECT_FALSE(picker.picked->isPicked(100));
    ASSERT_EQ(picker.page.size(), 1u);
    const QString& call = picker.page[0];
    const QString name = QStringLiteral("<b>Bold</b> <font color=red>red</font> It's a \"quote\" \\ </script><b> 1");
    EXPECT_TRUE(call.startsWith(QStringLiteral("showTunnelWindow(101, 'data:image/jpeg;base64,"))) << call.left(60).toStdString();
    EXPECT_TRUE(call.endsWith(QStringLiteral(", %1)").arg(javaScriptStringLiteral(name))));
    for (const char* unsafe : {"</script>", "\"", "<b>"}) EXPECT_FALSE(call.contains(QLatin1String(unsafe))) << unsafe;
    // Its tool tip, read as a tool tip reads it (markup when it looks like markup), is the name.
    const QString tip = thumbnails[1]->toolTip();
    QTextDocument shown;
    if (Qt::mightBeRichText(tip))
        shown.setHtml(tip);
    else
        shown.setPlainText(tip);
    EXPECT_EQ(shown.toPlainText().toStdString(), name.toStdString());

    // The picker and the document-camera window close.
    ASSERT_EQ(posted.seen.size(), 2u);
    EXPECT_EQ(posted.seen[0].name, QString::fromLatin1(qv::app::notification::OpenTunnelList));
    EXPECT_EQ(posted.seen[1].name, QString::fromLatin1(qv::app::notification::OpenDocCamera));
    EXPECT_EQ(posted.seen[1].userInfo, (QVariantMap{{"type", QStringLiteral("close")}}));
}
