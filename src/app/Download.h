#pragma once
// The installer download and the network access shared by the update check.
#include <QString>

#include <functional>

class QNetworkAccessManager;

namespace qv::app {

// The main thread's network access (created on first use, lives as long as the application).
QNetworkAccessManager& networkAccessManager();

// Fetches the address (with a fresh random number after "?") into "Quorvane/" of the save folder
// under the last path component of the address, replacing a file of that name. The file is
// written whole (a temporary file, then renamed). The completion runs on the main thread with
// the stored file's path, only when the server answered 2xx and the file was stored; otherwise
// `failed` runs (on the main thread, perhaps before downloadFile returns) with the reason, and an
// older file of that name stays as it was.
void downloadFile(const QString& address, std::function<void(const QString& path)> completion = {},
                  std::function<void(const QString& reason)> failed = {});

// The installer's file name for an address, or empty when its last component cannot be a file
// name ("", "." or "..").
QString installerFileName(const QString& address);

}  // namespace qv::app
