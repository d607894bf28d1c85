#pragma once
// The update check: asks the edition's XML feed whether a newer version exists and records the
// answer in updateAvailable and updateDownloadLocation (main thread).
#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace qv::app {

// The edition's feed address with this process's random number after "?".
QUrl updateFeedUrl();

// Starts the request for the edition's feed and returns at once.
void checkForUpdate();
// The same for a given feed address; `answered` runs after the reply was handled (tests).
void checkForUpdate(const QUrl& feed, std::function<void()> answered = {});

// Reads a feed body: the root element's "version" and "downloadLocation" attributes. Without a
// body, XML, root element or either attribute nothing changes.
void handleUpdateFeed(const std::optional<QByteArray>& body);
void handleUpdateFeed(const std::optional<QByteArray>& body, const QString& installedVersion);

// Whether `offered` is a newer version than `installed`, comparing their numeric parts in order
// (1.10 is newer than 1.9; a missing part counts as 0).
bool isNewerVersion(const QString& installed, const QString& offered);

}  // namespace qv::app
