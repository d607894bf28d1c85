#pragma once
// The program's own pages (the whiteboard, and any other page among the resources) are served
// through a URL scheme of the program, "quorvane://app/<path below the resources folder>", so
// that they have an origin of their own: the local server trusts that origin and no other page's.
//
//   qv::webpanels::registerAppScheme();   // in main, before the QApplication is made
//   QApplication app(argc, argv);
//   installAppScheme(profile);            // on every profile that loads the program's pages
//   view->load(appUrl(QStringLiteral("marrowpanel/index.html")));
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <cstdint>

class QWebEngineProfile;

namespace qv::webpanels {

inline constexpr const char* appSchemeName = "quorvane";
inline constexpr const char* appSchemeHost = "app";

// Registers the scheme with the web engine; must run before the application object exists.
void registerAppScheme();
// "quorvane://app": the Origin of the requests the program's pages make.
QString appOrigin();
// The address of a file given relative to the resources folder.
QUrl appUrl(const QString& relativePath);
// The file below the resources folder that an address of the scheme names, or empty when the
// address is not of the scheme or would leave the folder (also through a link).
QString appUrlFilePath(const QUrl& url);
// Lets the profile load addresses of the scheme (once per profile).
void installAppScheme(QWebEngineProfile* profile);

// Answers GET requests of the scheme with files of the resources folder; its HTML pages carry
// ownPagesContentSecurityPolicy for the PDF viewer's server port (pdfServerOrigin).
class AppSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override;
};

// The content type the scheme announces for a file name.
QByteArray appSchemeContentType(const QString& fileName);

// The Content-Security-Policy of the program's own pages: no eval and no new Function, and
// scripts only from the page's own origin and the scheme (workers also from blob:); pictures,
// connections, frames and form submissions only to the program's scheme, its server on
// `serverPort` (as "localhost" and as "127.0.0.1"; port 0: the page's own origin alone), data:
// and blob:. `moreImages` are further picture addresses a page shows.
QString ownPagesContentSecurityPolicy(std::uint16_t serverPort, const QStringList& moreImages = {});
// The page with the policy as the first element of its head (<meta http-equiv>, as a page of the
// scheme gets no header fields), also where the page leaves its head to the parser.
QByteArray withContentSecurityPolicy(const QByteArray& html, const QString& policy);

}  // namespace qv::webpanels
