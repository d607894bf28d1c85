#include "webpanels/AppScheme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "state/Resources.h"

namespace qv::webpanels {

void registerAppScheme() {
    if (QWebEngineUrlScheme::schemeByName(appSchemeName).name() == appSchemeName) return;
    QWebEngineUrlScheme scheme(appSchemeName);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    // Secure: its pages may call the local server; local access: their links to local files
    // (a PDF) still reach the navigation policy; CORS: pages of the scheme may load each other.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalAccessAllowed |
                    QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QString appOrigin() { return QString::fromLatin1(appSchemeName) + QStringLiteral("://") + QString::fromLatin1(appSchemeHost); }

QUrl appUrl(const QString& relativePath) {
    QUrl url;
    url.setScheme(QString::fromLatin1(appSchemeName));
    url.setHost(QString::fromLatin1(appSchemeHost));
    url.setPath(QLatin1Char('/') + relativePath);
    return url;
}

QString appUrlFilePath(const QUrl& url) {
    if (url.scheme().compare(QLatin1String(appSchemeName), Qt::CaseInsensitive) != 0) return {};
    if (url.host().compare(QLatin1String(appSchemeHost), Qt::CaseInsensitive) != 0) return {};
    const QString root = QFileInfo(app::resourcesDirectory()).canonicalFilePath();
    if (root.isEmpty()) return {};
    const QString wanted = QDir::cleanPath(root + QLatin1Char('/') + url.path(QUrl::FullyDecoded));
    const QString real = QFileInfo(wanted).canonicalFilePath();  // links resolved; empty when missing
    if (real.isEmpty() || !real.startsWith(root + QLatin1Char('/'))) return {};
    return real;
}

QByteArray appSchemeContentType(const QString& fileName) {
    static const QHash<QString, QByteArray> web = {
        {QStringLiteral("html"), "text/html"},       {QStringLiteral("htm"), "text/html"},
        {QStringLiteral("js"), "text/javascript"},   {QStringLiteral("mjs"), "text/javascript"},
        {QStringLiteral("css"), "text/css"},         {QStringLiteral("json"), "application/json"},
        {QStringLiteral("svg"), "image/svg+xml"},    {QStringLiteral("png"), "image/png"},
        {QStringLiteral("jpg"), "image/jpeg"},       {QStringLiteral("jpeg"), "image/jpeg"},
        {QStringLiteral("gif"), "image/gif"},        {QStringLiteral("webp"), "image/webp"},
        {QStringLiteral("ico"), "image/x-icon"},     {QStringLiteral("wasm"), "application/wasm"},
        {QStringLiteral("pdf"), "application/pdf"},  {QStringLiteral("woff"), "font/woff"},
        {QStringLiteral("woff2"), "font/woff2"},     {QStringLiteral("ttf"), "font/ttf"},
        {QStringLiteral("txt"), "text/plain"},       {QStringLiteral("ftl"), "text/plain"},
    };
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (auto found = web.constFind(suffix); found != web.constEnd()) return *found;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    return type.isValid() && !type.isDefault() ? type.name().toLatin1() : QByteArrayLiteral("application/octet-stream");
}

void AppSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    if (job->requestMethod() != "GET") {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const QString path = appUrlFilePath(job->requestUrl());
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto* file = new QFile(path, job);
    if (!file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::RequestFailed);
        return;
    }
    job->reply(appSchemeContentType(path), file);
}

void installAppScheme(QWebEngineProfile* profile) {
    if (profile->urlSchemeHandler(appSchemeName)) return;
    profile->installUrlSchemeHandler(appSchemeName, new AppSchemeHandler(profile));
}

}  // namespace qv::webpanels
