#pragma once
// Pictures a test keeps for a person to look at: only in QV_SCREENSHOT_DIR (scripts/screenshots),
// never in the build tree.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QString>

namespace qv::test {

// Saves `picture` as `fileName` in QV_SCREENSHOT_DIR; nothing when that is not set.
inline void saveTestPicture(const QImage& picture, const QString& fileName) {
    const QString dir = qEnvironmentVariable("QV_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(fileName);
    EXPECT_TRUE(picture.save(path)) << path.toStdString();
}

}  // namespace qv::test
