#pragma once
// Driving a web page in a test: a script's value waited for, mouse input sent to the page's own
// input widget (a drag holds the pointer, as the page keeps it while it moves), and the main
// window's browser panel opened and led to a page.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QWebEnginePage>
#include <QWidget>

#include <memory>
#include <optional>

#include "app/rootview/RootViewParts.h"
#include "state/AppState.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "support/QtWait.h"
#include "webpanels/BrowserView.h"
#include "webpanels/BrowserWebView.h"

namespace qv::test {

inline QVariant evaluate(QWebEnginePage* page, const QString& script) {
    auto result = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, [result](const QVariant& v) { *result = v; });
    EXPECT_TRUE(waitUntil([&] { return result->has_value(); }, 20000)) << script.toStdString();
    return result->value_or(QVariant());
}

inline void mouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
    spin(15);
}

inline void drag(QWidget* target, QPoint from, QPoint to, int steps = 12) {
    mouse(target, QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
    mouse(target, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= steps; ++i) mouse(target, QEvent::MouseMove, from + (to - from) * i / steps, Qt::NoButton, Qt::LeftButton);
    mouse(target, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// A click of the real pointer (XTest) at a point of the screen. The pointer moves without
// --sync, which would wait for xdotool's time-out where the pointer already is.
inline void clickOnScreen(QPoint at) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                   QStringLiteral("click"), QStringLiteral("1")});
    ASSERT_TRUE(xdotool.waitForFinished(20000));
    ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
}

// Opens the browser panel of the main window's camera area (not in PDF mode); the panel once its
// page view is published, null (with a failure) when it did not come.
inline webpanels::BrowserView* openBrowserPanel(app::CameraArea* area) {
    app::post(app::notification::OpenBrowser, {{"pdfMode", false}});
    webpanels::BrowserView* browser = nullptr;
    const bool shown = waitUntil(
        [&] {
            browser = area->browserPanel()
                          ? qobject_cast<webpanels::BrowserView*>(area->browserPanel()->browser())
                          : nullptr;
            return browser && app::browserWebView && app::browserWebView == browser->browserWebView();
        },
        10000);
    EXPECT_TRUE(shown) << "the browser panel did not open";
    return shown ? browser : nullptr;
}

// Loads typed text in the panel's page and waits until a load whose path ends in `path` finished.
inline bool loadInPanel(webpanels::BrowserView* browser, const QString& typed, const QString& path) {
    QString finished;
    const QMetaObject::Connection c =
        QObject::connect(browser->browserWebView(), &webpanels::BrowserWebView::navigationFinished,
                         [&](const QUrl& url) { finished = url.path(); });
    browser->browserWebView()->loadURL(typed);
    const bool done = waitUntil([&] { return finished.endsWith(path); }, 60000);
    QObject::disconnect(c);
    EXPECT_TRUE(done) << typed.toStdString() << " did not load";
    return done;
}

}  // namespace qv::test
