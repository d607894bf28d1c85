#pragma once
// Which navigations the whiteboard page may make.
#include <QString>
#include <QUrl>

#include <functional>

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

// The board page over the browser: http(s) on "localhost" or on the hosted board's host (and its
// subdomains) is allowed, and so is the program's own board page (`localPageFile`, an absolute
// path, as an address of the program's scheme) that stands in while the hosted one cannot load;
// a local `file` address is handed on; everything else is cancelled.
NavigationDecision decideBoardNavigation(const QUrl& url, const QString& boardHost, const QString& localPageFile);

// Carries a decision out: true when the navigation goes ahead; for OpenLocalFile the address is
// handed to `openLocalFile` and the navigation is cancelled.
bool followNavigationDecision(NavigationDecision decision, const QUrl& url,
                              const std::function<void(const QUrl&)>& openLocalFile);

// A link to a local file, from the whiteboard or the board page: a PDF (extension "pdf" in any
// letter case) posts "OpenBrowser" with "pdfMode" true and "pdfPath" the file's path; any other
// file is ignored, and so is a path with a NUL in it (no file has such a name). Prints
// "Open File: ..." (and "It's a PDF! ...") as it goes.
void openLocalFileLink(const QUrl& url);

// The file-system path of a `file` address ("file://localhost/a%20b" gives "/a b").
QString localFilePath(const QUrl& url);

}  // namespace qv::webpanels
