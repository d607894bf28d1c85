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

#include <cstdint>
#include <string>

namespace qv::webpanels {

// The origin of our server, the one that the viewer's copy accepts documents from besides its
// own: "http://localhost:9080", or the port set below (tests run their own server).
QString pdfServerOrigin();
std::uint16_t pdfServerPort();
void setPdfServerPort(std::uint16_t port);

// At document creation in the browser: tells a page of the program's scheme (the viewer) which
// server origin it may read documents from.
QString pdfServerOriginScript();

// "/a b/#1.pdf" gives "@@a%20b@@%231.pdf".
QString pdfFileSegment(const QString& path);
// The server's address of a local file: pdfServerOrigin() + "/files/" + pdfFileSegment(path).
QString pdfServerAddress(const QString& path);
// "file=" + the server address encoded as a query component: the viewer's query for `path`.
QString pdfViewerQueryFor(const QString& path);

// The documents handed to the viewer in this run. The server's whole-disk share answers the
// program's own pages for these files only: a page of the program, the viewer among them, reads
// what the teacher opened and nothing else of the disk.
// Hands `path` to the viewer and gives the viewer's query for it (pdfViewerQueryFor). Main thread.
QString handPdfToViewer(const QString& path);
// Whether the absolute path (UTF-8, as a request to the share names it) was handed to the viewer.
// Any thread.
bool wasHandedToPdfViewer(const std::string& path);

// "marrowpanel/assets/pdfviewer/web/viewer.html" among the resources.
QString pdfViewerPagePath();
// The viewer page, in the program's own scheme, with `query` (as pdfViewerQueryFor gives it).
QUrl pdfViewerAddress(const QString& query);

}  // namespace qv::webpanels
