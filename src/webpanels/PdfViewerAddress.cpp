#include "webpanels/PdfViewerAddress.h"

#include "state/Resources.h"

namespace qv::webpanels {

QString pdfFileSegment(const QString& path) {
    QString segment = path;
    segment.replace(QLatin1Char('/'), QLatin1String("@@"));
    // Everything but the unreserved characters and "@" is escaped (UTF-8 for non-ASCII).
    return QString::fromLatin1(QUrl::toPercentEncoding(segment, QByteArrayLiteral("@")));
}

QString pdfServerAddress(const QString& path) {
    return QString::fromLatin1(pdfServerOrigin) + QStringLiteral("/files/") + pdfFileSegment(path);
}

QString pdfViewerQueryFor(const QString& path) {
    return QStringLiteral("file=") + QString::fromLatin1(QUrl::toPercentEncoding(pdfServerAddress(path)));
}

QString pdfViewerPagePath() { return app::resourcePath(QStringLiteral("marrowpanel/assets/pdfviewer/web/viewer.html")); }

QUrl pdfViewerAddress(const QString& query) {
    QUrl url = QUrl::fromLocalFile(pdfViewerPagePath());
    url.setQuery(query, QUrl::StrictMode);
    return url;
}

}  // namespace qv::webpanels
