#include "app/InitGlobal.h"

#include <QDir>

#include "app/state/AppState.h"

namespace qv::app {

void initGlobal(const QString& saveFolder) {
    auto folders = std::make_shared<FolderLocations>(FolderLocations::forSaveFolder(saveFolder));
    for (const QString& dir : {folders->imagesFolderURL, folders->videosFolderURL, folders->libraryFolderURL,
                               folders->templatesFolderURL, folders->bookmarkFolderURL})
        QDir().mkpath(dir);
    setFolderLocations(std::move(folders));
}

}  // namespace qv::app
