#include "webpanels/AppScheme.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "state/Resources.h"
#include "webpanels/PdfViewerAddress.h"

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

QString ownPagesContentSecurityPolicy(std::uint16_t serverPort, const QStringList& moreImages) {
    QStringList places{QStringLiteral("'self'"), appOrigin()};
    if (serverPort != 0)
        places << QStringLiteral("http://localhost:%1").arg(serverPort) << QStringLiteral("http://127.0.0.1:%1").arg(serverPort);
    const QString own = places.join(QLatin1Char(' '));
    const QString data = own + QStringLiteral(" data: blob:");
    QStringList images{data};
    images << moreImages;
    // Styles may be written into the page (the viewer's and the browser's own scripts set them);
    // scripts may not, and no text ever becomes code.
    // The viewer starts its worker from a blob: address of its own making when it cannot tell
    // that the worker's script is of its own origin (our scheme's origin is opaque to a page).
    return QStringLiteral("default-src %1; script-src 'self' %2; worker-src 'self' %2 blob:; "
                          "style-src %1 'unsafe-inline'; img-src %3; connect-src %1; form-action %4; "
                          "object-src 'none'; base-uri 'self'")
        .arg(data, appOrigin(), images.join(QLatin1Char(' ')), own);
}

QByteArray withContentSecurityPolicy(const QByteArray& html, const QString& policy) {
    const QByteArray meta =
        "<meta http-equiv=\"Content-Security-Policy\" content=\"" + policy.toHtmlEscaped().toUtf8() + "\">";
    QByteArray page = html;
    // Right after the head's start tag: the first "<head" that is the whole tag name.
    const QByteArray lower = html.toLower();
    for (qsizetype at = lower.indexOf("<head"); at >= 0; at = lower.indexOf("<head", at + 1)) {
        const qsizetype after = at + 5;
        if (after >= lower.size()) break;
        const char next = lower.at(after);
        if (next != '>' && next != '/' && !QChar::isSpace(static_cast<uchar>(next))) continue;
        const qsizetype close = lower.indexOf('>', after);
        if (close < 0) break;
        return page.insert(close + 1, meta);
    }
    // Without one, before everything but the doctype (and a byte order mark): the parser then
    // makes the head around it.
    qsizetype start = html.startsWith("\xef\xbb\xbf") ? 3 : 0;
    if (lower.mid(start).trimmed().startsWith("<!doctype")) {
        const qsizetype close = lower.indexOf('>', start);
        if (close >= 0) start = close + 1;
    }
    return page.insert(start, meta);
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
    const QByteArray type = appSchemeContentType(path);
    if (type != "text/html") {
        job->reply(type, file);
        return;
    }
    // A page of the program: it carries the program's policy.
    auto* buffer = new QBuffer(job);
    buffer->setData(withContentSecurityPolicy(file->readAll(), ownPagesContentSecurityPolicy(pdfServerPort())));
    buffer->open(QIODevice::ReadOnly);
    job->reply(type, buffer);
}

void installAppScheme(QWebEngineProfile* profile) {
    if (profile->urlSchemeHandler(appSchemeName)) return;
    profile->installUrlSchemeHandler(appSchemeName, new AppSchemeHandler(profile));
}

}  // namespace qv::webpanels
