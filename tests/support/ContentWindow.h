#pragma once
// The whole main window in a test: its content view in a plain window at the screen's top-left,
// settings and save folders of the test's own, and pictures of the window for scripts/screenshots.
// For tests that link the app library.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStringList>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include <iostream>
#include <memory>

#include "app/ContentView.h"
#include "state/AppState.h"
#include "support/WindowPicture.h"

namespace qv::test {

// A settings folder and a save folder, both temporary: XDG_CONFIG_HOME points at the first, and
// `folders` (not yet the program's) lie in the second.
struct TemporaryFolders {
    TemporaryFolders() {
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        folders = std::make_shared<app::FolderLocations>(app::FolderLocations::forSaveFolder(save.path()));
    }

    // Makes the images and videos folders and `more`, then makes `folders` the program's. False,
    // with nothing set, when one of them cannot be made.
    bool makeAndSet(const QStringList& more = {}) const {
        for (const QString& path : QStringList{folders->imagesFolderURL, folders->videosFolderURL} + more)
            if (!QDir().mkpath(path)) return false;
        app::setFolderLocations(folders);
        return true;
    }

    QTemporaryDir config, save;
    std::shared_ptr<app::FolderLocations> folders;
};

// Fills `window` with a new content view, 1280 x 800 at the screen's top-left, and shows it.
inline app::ContentView* showContentWindow(QWidget& window) {
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* content = new app::ContentView;
    layout->addWidget(content);
    window.resize(1280, 800);
    window.move(0, 0);
    window.show();
    return content;
}

}  // namespace qv::test
