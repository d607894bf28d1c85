#include "webpanels/PdfViewerAddress.h"

#include "state/Resources.h"
#include "webpanels/AppScheme.h"

#include <mutex>
#include <unordered_set>

namespace qv::webpanels {

namespace {

std::uint16_t g_serverPort = 9080;  // main thread only

// Read by the server's threads, written on the main thread.
struct HandedDocuments {
    std::mutex mutex;
    std::unordered_set<std::string> paths;
};

HandedDocuments& handedDocuments() {
    static HandedDocuments documents;
    return documents;
}

}  // namespace

QString pdfServerOrigin() { return QStringLiteral("http://localhost:%1").arg(g_serverPort); }

std::uint16_t pdfServerPort() { return g_serverPort; }

void setPdfServerPort(std::uint16_t port) { g_serverPort = port; }

QString pdfServerOriginScript() {
    return QStringLiteral("if (location.protocol === '%1:') window.quorvaneServerOrigin = '%2';")
        .arg(QString::fromLatin1(appSchemeName), pdfServerOrigin());
}

QString pdfFileSegment(const QString& path) {
    QString segment = path;
    segment.replace(QLatin1Char('/'), QLatin1String("@@"));
    // Everything but the unreserved characters and "@" is escaped (UTF-8 for non-ASCII).
    return QString::fromLatin1(QUrl::toPercentEncoding(segment, QByteArrayLiteral("@")));
}

QString pdfServerAddress(const QString& path) {
    return pdfServerOrigin() + QStringLiteral("/files/") + pdfFileSegment(path);
}

QString pdfViewerQueryFor(const QString& path) {
    return QStringLiteral("file=") + QString::fromLatin1(QUrl::toPercentEncoding(pdfServerAddress(path)));
}

QString handPdfToViewer(const QString& path) {
    HandedDocuments& handed = handedDocuments();
    {
        std::lock_guard lock(handed.mutex);
        handed.paths.insert(path.toStdString());
    }
    return pdfViewerQueryFor(path);
}

bool wasHandedToPdfViewer(const std::string& path) {
    HandedDocuments& handed = handedDocuments();
    std::lock_guard lock(handed.mutex);
    return handed.paths.count(path) > 0;
}

QString pdfViewerPagePath() { return app::resourcePath(QStringLiteral("marrowpanel/assets/pdfviewer/web/viewer.html")); }

QUrl pdfViewerAddress(const QString& query) {
    // From the program's own scheme: the viewer's requests to our server carry the program's
    // origin, which the server trusts.
    QUrl url = appUrl(QStringLiteral("marrowpanel/assets/pdfviewer/web/viewer.html"));
    url.setQuery(query, QUrl::StrictMode);
    return url;
}

}  // namespace qv::webpanels
