#include "webpanels/NavigationPolicy.h"

#include <QDir>
#include <QFileInfo>

#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "state/QtPrint.h"
#include "util/Print.h"
#include "webpanels/AppScheme.h"

namespace qv::webpanels {

namespace {

bool isHostOrSubdomain(const QString& host, const QString& domain) {
    return !domain.isEmpty() && (host == domain || host.endsWith(QLatin1Char('.') + domain));
}

bool isMakerHost(const QString& host) { return isHostOrSubdomain(host, QString::fromLatin1(makerWebDomain)); }

bool isLocalFileAddress(const QUrl& url) {
    // A file address with a remote host names no local file.
    return url.host().isEmpty() || url.host() == QLatin1String("localhost");
}

// An address of the program's scheme that names `pageFile` itself.
bool namesPage(const QUrl& url, const QString& pageFile) {
    const QString file = appUrlFilePath(url);
    return !file.isEmpty() && !pageFile.isEmpty() && file == QFileInfo(pageFile).canonicalFilePath();
}

QString quoted(const QString& text) { return QString::fromStdString(util::debugQuoted(text.toStdString())); }

}  // namespace

QString localFilePath(const QUrl& url) { return url.path(QUrl::FullyDecoded); }

NavigationDecision decideNavigation(const QUrl& url, const QString& pageFile) {
    if (!url.isValid() || url.isEmpty()) return NavigationDecision::Cancel;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        const QString host = url.host().toLower();  // QUrl already lower-cases; be explicit
        if (host == QLatin1String("localhost") || isMakerHost(host)) return NavigationDecision::Allow;
        return NavigationDecision::Cancel;
    }
    if (scheme == QLatin1String(appSchemeName))
        return namesPage(url, pageFile) ? NavigationDecision::Allow : NavigationDecision::Cancel;
    if (scheme == QLatin1String("file")) {
        if (!isLocalFileAddress(url)) return NavigationDecision::Cancel;
        if (!pageFile.isEmpty() && QDir::cleanPath(localFilePath(url)) == QDir::cleanPath(pageFile))
            return NavigationDecision::Allow;
        return NavigationDecision::OpenLocalFile;
    }
    return NavigationDecision::Cancel;
}

NavigationDecision decideBoardNavigation(const QUrl& url, const QString& boardHost, const QString& localPageFile) {
    if (!url.isValid() || url.isEmpty()) return NavigationDecision::Cancel;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        const QString host = url.host().toLower();
        if (host == QLatin1String("localhost") || isHostOrSubdomain(host, boardHost.toLower()))
            return NavigationDecision::Allow;
        return NavigationDecision::Cancel;
    }
    if (scheme == QLatin1String(appSchemeName))
        return namesPage(url, localPageFile) ? NavigationDecision::Allow : NavigationDecision::Cancel;
    if (scheme == QLatin1String("file"))
        return isLocalFileAddress(url) ? NavigationDecision::OpenLocalFile : NavigationDecision::Cancel;
    return NavigationDecision::Cancel;
}

bool followNavigationDecision(NavigationDecision decision, const QUrl& url,
                              const std::function<void(const QUrl&)>& openLocalFile) {
    switch (decision) {
    case NavigationDecision::Allow:
        return true;
    case NavigationDecision::OpenLocalFile:
        if (openLocalFile) openLocalFile(url);
        return false;
    case NavigationDecision::Cancel:
        return false;
    }
    return false;
}

void openLocalFileLink(const QUrl& url) {
    util::printLine(quoted(QStringLiteral("Open File: ") + url.toString(QUrl::FullyEncoded)));
    const QString path = localFilePath(url);
    // A name with a NUL in it ("%00") names no file there can be: nothing to open.
    if (path.contains(QChar(u'\0'))) return;
    if (QFileInfo(path).suffix().toLower() != QLatin1String("pdf")) return;
    util::printLine(quoted(QStringLiteral("It's a PDF! ") + path));
    app::post(QString::fromLatin1(app::notification::OpenBrowser),
              {{QStringLiteral("pdfMode"), true}, {QStringLiteral("pdfPath"), path}});
}

}  // namespace qv::webpanels
