#pragma once
// The file library panel's test fixture: a save folder published as the app-wide folder locations,
// services that answer the import panel from a list and count pasted keystrokes, and a small
// template catalogue with its pictures.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "library/files/FileLibraryView.h"
#include "state/AppState.h"

namespace qv::test {

using library::FileLibraryServices;
using library::KeyPoster;
using library::LibraryFilePtr;
using app::FolderLocations;

struct CountingKeys : KeyPoster {
    int posts = 0;
    bool postPasteKeystroke() override {
        ++posts;
        return true;
    }
};

inline void writePng(const QString& path, QColor colour) {
    QImage image(64, 36, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
}
inline void writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(text);
}
inline void setAge(const QString& path, int secondsAgo) {
    std::error_code ec;
    std::filesystem::last_write_time(path.toStdString(),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::seconds(secondsAgo), ec);
    ASSERT_FALSE(ec) << path.toStdString();
}
inline void writePdf(const QString& path) {
    QPdfWriter writer(path);
    QPainter p(&writer);
    p.fillRect(QRect(0, 0, 2000, 2000), Qt::darkBlue);
}
inline QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline QStringList names(const std::vector<LibraryFilePtr>& items) {
    QStringList out;
    for (const auto& i : items) out << i->name.value_or("?");
    return out;
}

// A save folder published as the app-wide folder locations, and a panel on it.
struct PanelFixture : ::testing::Test {
    QTemporaryDir save;
    std::shared_ptr<FolderLocations> folders;
    std::shared_ptr<CountingKeys> keys = std::make_shared<CountingKeys>();
    QStringList chosen;  // what the import panel answers
    int panelsOpened = 0;

    void SetUp() override {
        folders = std::make_shared<FolderLocations>(FolderLocations::forSaveFolder(save.path()));
        QDir().mkpath(folders->libraryFolderURL);
        QDir().mkpath(folders->templatesFolderURL);
        qv::app::setFolderLocations(folders);
    }
    void TearDown() override { qv::app::setFolderLocations(nullptr); }

    FileLibraryServices services(int collapseMs = 60000) {
        FileLibraryServices s;
        s.chooseFiles = [this](QWidget*) {
            ++panelsOpened;
            return chosen;
        };
        s.keyPoster = keys;
        s.collapseDelayMs = collapseMs;
        s.retryDelayMs = 100;
        return s;
    }
    QString lib(const QString& name = {}) const { return folders->libraryFolderURL + (name.isEmpty() ? "" : "/" + name); }
    QString tpl(const QString& name = {}) const {
        return folders->templatesFolderURL + (name.isEmpty() ? "" : "/" + name);
    }

    // Writes the catalogue "templates.json".
    void writeCatalogue(const QByteArray& json) { writeText(tpl("templates.json"), json); }
};

inline const QByteArray kCatalogue = R"({
  "categories": ["Math", "Writing", "Science", "Geography", "Music", "Planning", "Games", "Early Years"],
  "templates": [
    {"url": "grid.png", "name": "Grid Paper", "categories": ["Math", "Science"]},
    {"url": "lined.png", "name": "Lined paper", "categories": ["Writing"]},
    {"url": "missing.png", "name": "Missing", "categories": ["Math"]},
    {"url": "maps/world.png", "name": "World map", "categories": ["Geography"]},
    {"url": "staff.png", "name": "Music staff", "categories": ["Music", "math"]}
  ]
})";

inline void writeTemplatePictures(PanelFixture& f) {
    writePng(f.tpl("grid.png"), Qt::white);
    writePng(f.tpl("lined.png"), Qt::white);
    QDir().mkpath(f.tpl("maps"));
    writePng(f.tpl("maps/world.png"), Qt::cyan);
    writePng(f.tpl("staff.png"), Qt::white);
}

}  // namespace qv::test
