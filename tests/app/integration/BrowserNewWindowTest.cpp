// New windows of a page in the browser panel go to the desktop's browser only when the teacher's
// own click led to them: a page that asks for windows at load and on a timer opens none, and a
// link for a new window clicked with the real pointer (XTest) opens one. The desktop's browser is
// a recording stand-in.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>
#include <optional>
#include <vector>

#include "app/ContentView.h"
#include "app/integration/PageInput.h"
#include "app/rootview/RootView.h"
#include "app/rootview/RootViewParts.h"
#include "server/FileServing.h"
#include "server/HttpServer.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/ContentWindow.h"
#include "support/LocalServer.h"
#include "support/QtWait.h"
#include "webpanels/BrowserDialogs.h"
#include "webpanels/BrowserView.h"
#include "webpanels/BrowserWebView.h"

using namespace qv::app;
using qv::test::clickOnScreen;
using qv::test::evaluate;
using qv::test::waitUntil;

namespace {

// Answers nothing and opens nothing: remembers what would have gone to the desktop's browser.
struct RecordingDesktop : qv::webpanels::BrowserDialogs {
    std::vector<QUrl> opened;
    void alert(QWidget*, const QString&) override {}
    bool confirm(QWidget*, const QString&) override { return false; }
    QString prompt(QWidget*, const QString&) override { return {}; }
    std::optional<QString> chooseFile(QWidget*) override { return std::nullopt; }
    void openExternally(const QUrl& url) override { opened.push_back(url); }
};

}  // namespace

TEST(BrowserNewWindows, OnlyTheTeachersClickOpensTheDesktopBrowser) {
    qv::test::TemporaryFolders folders;
    ASSERT_TRUE(folders.makeAndSet());
    auto desktop = std::make_shared<RecordingDesktop>();
    qv::webpanels::BrowserWebView::setDialogs(desktop);

    // A page that asks for windows as it loads, on a timer, and from a click it fakes itself; and
    // a link for a new window that the teacher clicks.
    QTemporaryDir site;
    QFile page(site.filePath("popups.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write(R"(<html><body style='margin:0;background:white'>
<a id=link href='http://localhost:1/clicked' target=_blank
   style='display:block;margin:80px;width:300px;height:120px;background:rgb(0,110,230);color:white'>Open</a>
<script>
  window.tries = 0;
  for (let i = 0; i < 5; ++i) { window.open('http://localhost:1/at-load-' + i); ++tries; }
  const timer = setInterval(() => {
    window.open('http://localhost:1/on-a-timer'); ++tries;
    if (tries >= 10) {
      clearInterval(timer);
      const fake = document.createElement('a');
      fake.href = 'http://localhost:1/fake-click';
      fake.target = '_blank';
      document.body.appendChild(fake);
      fake.click(); ++tries;
    }
  }, 50);
</script></body></html>)");
    page.close();
    qv::server::HttpServer pages;
    pages.router.addRoute(std::nullopt, "/:path",
                          qv::server::fileShareHandler(site.path().toStdString(), {"index.html"}));
    ASSERT_TRUE(qv::test::startServer(pages, 0));

    QWidget window;
    ContentView* content = qv::test::showContentWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    CameraArea* area = content->rootView()->cameraArea();
    qv::webpanels::BrowserView* browser = qv::test::openBrowserPanel(area);
    ASSERT_TRUE(browser);
    ASSERT_TRUE(qv::test::loadInPanel(browser, QString("localhost:%1/popups.html").arg(pages.localPort()),
                                      "popups.html"));
    QWebEngineView* view = browser->browserWebView()->wkWebView();

    // Every window the page asked for on its own has been asked for, and none opened.
    ASSERT_TRUE(waitUntil([&] { return evaluate(view->page(), "window.tries").toInt() >= 11; }, 20000));
    qv::test::spin(500);
    EXPECT_TRUE(desktop->opened.empty()) << desktop->opened.front().toString().toStdString();

    // The teacher's click on the link: one window, for that link.
    ASSERT_TRUE(waitUntil([&] { return area->browserPanel()->width() > 700; }, 10000));
    const QVariantList box = evaluate(view->page(),
                                      "(() => { const r = document.getElementById('link')"
                                      ".getBoundingClientRect(); return [r.left + r.width / 2,"
                                      " r.top + r.height / 2]; })()")
                                 .toList();
    ASSERT_EQ(box.size(), 2);
    clickOnScreen(view->mapToGlobal(QPoint(qRound(box[0].toDouble()), qRound(box[1].toDouble()))));
    ASSERT_TRUE(waitUntil([&] { return !desktop->opened.empty(); }, 20000))
        << "the teacher's click opened nothing";
    qv::test::spin(500);
    ASSERT_EQ(desktop->opened.size(), 1u);
    EXPECT_EQ(desktop->opened.front(), QUrl("http://localhost:1/clicked"));
    EXPECT_TRUE(view->url().path().endsWith("popups.html")) << "the panel stays on its page";

    qv::webpanels::BrowserWebView::setDialogs(nullptr);
    pages.stop();
    setFolderLocations(nullptr);
}
