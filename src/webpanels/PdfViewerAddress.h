#pragma once
// Where the PDF viewer among our resources is, and how a local PDF file is named to it.
//
// The viewer reads its "file" query value and fetches that address from our server's route
// "/files/:path", which takes an absolute path as one segment with every "/" written "@@". The
// path therefore becomes one percent-encoded path segment (only "@" is kept, so "@@" stays), and
// the whole address is then encoded as a query component, because the viewer decodes "file" as
// a query value ("+" would turn into a space, "&" and "#" would end it). Names with "#", "%",
// "&", "+", "?", spaces or non-ASCII letters open as they are.
#include <QString>
#include <QUrl>

namespace qv::webpanels {

// The origin of our server, the one that the viewer's copy accepts documents from besides its own.
inline constexpr const char* pdfServerOrigin = "http://localhost:9080";

// "/a b/#1.pdf" gives "@@a%20b@@%231.pdf".
QString pdfFileSegment(const QString& path);
// The server's address of a local file: "http://localhost:9080/files/" + pdfFileSegment(path).
QString pdfServerAddress(const QString& path);
// "file=" + the server address encoded as a query component: the viewer's query for `path`.
QString pdfViewerQueryFor(const QString& path);

// "marrowpanel/assets/pdfviewer/web/viewer.html" among the resources.
QString pdfViewerPagePath();
// The viewer page with `query` (as pdfViewerQueryFor gives it) as its query.
QUrl pdfViewerAddress(const QString& query);

}  // namespace qv::webpanels
