#include "app/InitGlobal.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <filesystem>
#include <optional>

#include "state/Resources.h"
#include "state/AppState.h"
#include "state/QtPrint.h"
#include "server/FileServing.h"
#include "server/HttpServer.h"
#include "server/PagePolicy.h"
#include "server/html/PageResponse.h"
#include "webpanels/AppScheme.h"
#include "webpanels/PdfViewerAddress.h"

namespace qv::app {

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> defaultDocuments{"index.html", "default.html"};

// Creates the folder when nothing exists at its path; answers whether the folder is usable.
bool ensureFolder(const QString& path) {
    if (QFileInfo::exists(path)) return true;
    std::error_code error;
    fs::create_directories(path.toStdString(), error);
    if (error) {
        util::printLine(error.message());
        return false;
    }
    return true;
}

void startProgramServer(std::uint16_t port) {
    if (httpServer && httpServer->isRunning()) return;  // one server per process
    auto server = makeProgramServer(port);
    httpServer = server;
    try {
        server->start(port, true);
        util::printLine("Server has started ( port =", server->localPort(), "). Try to connect now...");
    } catch (const std::exception& error) {
        util::printLine(std::string("Server start error: ") + error.what());
    }
}

}  // namespace

void initGlobal(const QString& saveFolder) { initGlobal(saveFolder, serverPort); }

void initGlobal(const QString& saveFolder, std::uint16_t port) {
    util::printLine("Init Global: ");
    auto folders = std::make_shared<const FolderLocations>(FolderLocations::forSaveFolder(saveFolder));
    setFolderLocations(folders);
    ensureFolder(folders->imagesFolderURL);
    ensureFolder(folders->videosFolderURL);
    ensureFolder(folders->libraryFolderURL);
    if (ensureFolder(folders->templatesFolderURL))
        copyFolderContents(resourcesDirectory() + QStringLiteral("/templates"), folders->templatesFolderURL);
    ensureFolder(folders->bookmarkFolderURL);
    startProgramServer(port);
}

std::shared_ptr<server::HttpServer> makeProgramServer(std::uint16_t port) {
    auto server = std::make_shared<server::HttpServer>();
    // The program's own pages call from their scheme; no other page may.
    server->trustedOrigins = {webpanels::appOrigin().toStdString()};
    server->router.addRoute(std::nullopt, "/files/:path",
                            server::fileShareHandler("/", defaultDocuments, [](const std::string& path) {
                                return webpanels::wasHandedToPdfViewer(path);
                            }));
    // The root page shows one picture of another site, named exactly.
    const QString rootPolicy = webpanels::ownPagesContentSecurityPolicy(
        port, {QString::fromUtf8(html::rootPageImageUrl.data(), qsizetype(html::rootPageImageUrl.size()))});
    server->router.addRoute(std::nullopt, "/", server::withContentSecurityPolicy(html::rootPageHandler, rootPolicy.toStdString()));
    registerLessonRoutes(*server, resourcesDirectory() + QStringLiteral("/wendlelessons"),
                         webpanels::ownPagesContentSecurityPolicy(port).toStdString());
    return server;
}

void registerLessonRoutes(server::HttpServer& server, const QString& folder, const std::string& policy) {
    const QString root = QDir(folder).absolutePath();
    auto share = [&policy](const QString& directory) {
        server::HttpHandler handler = server::fileShareHandler(directory.toStdString(), defaultDocuments);
        return policy.empty() ? handler : server::withContentSecurityPolicy(std::move(handler), policy);
    };
    server.router.addRoute(std::nullopt, "/:path", share(root));
    // Hidden folders are left out; the pattern is the subfolder's path relative to the lessons.
    QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        server.router.addRoute(std::nullopt, "/" + relative.toStdString() + "/:path", share(path));
    }
}

void copyFolderContents(const QString& from, const QString& to) {
    QDir source(from);
    if (!source.exists()) {
        util::printLine("\nError\n");
        return;
    }
    const QStringList names = source.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const fs::path target = (to + "/" + name).toStdString();
        std::error_code ignored;
        fs::remove_all(target, ignored);
        fs::copy((from + "/" + name).toStdString(), target, fs::copy_options::recursive, ignored);
    }
}

}  // namespace qv::app
