#pragma once
// The PDF viewer's Download and Print buttons in the browser panel. The viewer hands its document
// to the page's download (a file named by the document's own name) and calls window.print(); the
// web engine does nothing with either unless the program takes them up:
//
//   connect(profile, &QWebEngineProfile::downloadRequested, view, [=](auto* d) { saveViewerDownload(d, page,
//   view); }); connect(page, &QWebEnginePage::printRequested, view, [=] { printViewerDocument(page, view);
//   });
//
// Download asks where (BrowserDialogs::chooseSavePath, starting with the document's own name in
// the teacher's documents folder) and writes the document's bytes there; Print shows the system's
// print dialog for the document's pages and prints them. A failure is shown in the window
// (app::reportFailure). Other pages' downloads and prints are left as the engine leaves them:
// not done. Main thread only.
#include <QString>
#include <QUrl>

class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWidget;

namespace qv::webpanels {

// Whether the address is the program's PDF viewer page.
bool isPdfViewerPage(const QUrl& url);

// The name a document is saved under: the last component of the page's suggestion, else
// "document.pdf".
QString savedDocumentName(const QString& suggestedName);

void saveViewerDownload(QWebEngineDownloadRequest* download, QWebEnginePage* page, QWidget* window);
void printViewerDocument(QWebEnginePage* page, QWidget* window);

}  // namespace qv::webpanels
