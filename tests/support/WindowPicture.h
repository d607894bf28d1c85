#pragma once
// Pictures of windows for the screenshots a person looks at.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <iostream>

namespace qv::test {

// Saves what the X screen shows inside the window's frame (popups included) as `fileName` in
// QV_SCREENSHOT_DIR; nothing when that is not set.
inline void saveWindowPicture(const QWidget& window, const QString& fileName) {
    const QString dir = qEnvironmentVariable("QV_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    const QRect frame = window.frameGeometry();
    const QPixmap picture =
        QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const QString path = QDir(dir).filePath(fileName);
    ASSERT_TRUE(picture.save(path)) << path.toStdString();
    std::cout << "screenshot: " << path.toStdString() << std::endl;
}

}  // namespace qv::test
