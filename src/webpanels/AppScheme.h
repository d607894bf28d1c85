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
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

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

// Answers GET requests of the scheme with files of the resources folder.
class AppSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override;
};

// The content type the scheme announces for a file name.
QByteArray appSchemeContentType(const QString& fileName);

}  // namespace qv::webpanels
