#pragma once
// Driving a web page in a test: a script's value waited for, and mouse input sent to the page's
// own input widget (a drag holds the pointer, as the page keeps it while it moves).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWebEnginePage>
#include <QWidget>

#include <memory>
#include <optional>

#include "support/QtWait.h"

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

}  // namespace qv::test
