#include "webpanels/NavigationPolicy.h"

#include <QDir>
#include <QFileInfo>

#include "webpanels/AppScheme.h"

namespace qv::webpanels {

namespace {

bool isMakerHost(const QString& host) {
    const QString domain = QString::fromLatin1(makerWebDomain);
    return host == domain || host.endsWith(QLatin1Char('.') + domain);
}

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
    if (scheme == QLatin1String(appSchemeName)) {
        const QString file = appUrlFilePath(url);
        if (!file.isEmpty() && !pageFile.isEmpty() && file == QFileInfo(pageFile).canonicalFilePath())
            return NavigationDecision::Allow;
        return NavigationDecision::Cancel;
    }
    if (scheme == QLatin1String("file")) {
        // A file address with a remote host names no local file.
        if (!url.host().isEmpty() && url.host() != QLatin1String("localhost")) return NavigationDecision::Cancel;
        if (!pageFile.isEmpty() && QDir::cleanPath(localFilePath(url)) == QDir::cleanPath(pageFile))
            return NavigationDecision::Allow;
        return NavigationDecision::OpenLocalFile;
    }
    return NavigationDecision::Cancel;
}

}  // namespace qv::webpanels
