#pragma once
// Which navigations the whiteboard page may make.
#include <QString>
#include <QUrl>

namespace qv::webpanels {

// The maker's own web site; its pages (and those of its subdomains) may open in the whiteboard.
inline constexpr const char* makerWebDomain = "quorvane.org";

enum class NavigationDecision {
    Allow,          // the navigation goes ahead
    OpenLocalFile,  // cancelled; the file is handed to WebViewController::openLocalFile
    Cancel,         // cancelled silently
};

// Decides from the parsed address, never from substrings of its text:
//  - http(s) on the local server's host "localhost" or on the maker's domain: allowed;
//  - the whiteboard page itself (`pageFile`, an absolute path), as a file address or an address
//    of the program's scheme, with any query or fragment: allowed;
//  - any other `file` address: handed on as a local file;
//  - everything else (other sites, data:, javascript:, an empty or malformed address): cancelled.
NavigationDecision decideNavigation(const QUrl& url, const QString& pageFile);

// The file-system path of a `file` address ("file://localhost/a%20b" gives "/a b").
QString localFilePath(const QUrl& url);

}  // namespace qv::webpanels
