#pragma once
// Start-up work that depends on a known save folder: the folder layout below it, the templates
// refreshed from the resources, and the local HTTP server with the program's routes.
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace qv::server {
class HttpServer;
}

namespace qv::app {

// The port the program's own pages reach the server on.
inline constexpr std::uint16_t serverPort = 9080;

// Sets the six folder locations below the save folder, creates the missing folders, refreshes
// "~templates/" and makes sure the server runs. One server serves the whole process: a server
// that already runs is kept (its routes do not depend on the save folder). Problems are printed.
void initGlobal(const QString& saveFolder);
// The same on another port (tests; 0 picks a free one).
void initGlobal(const QString& saveFolder, std::uint16_t port);

// The program's server, not started, with its routes: "/files/:path" (the whole disk, answering
// the program's own pages only for the documents handed to the PDF viewer), "/" (the root page)
// and the lessons among the resources. The pages it sends carry the program's
// Content-Security-Policy for a server on `port`.
std::shared_ptr<server::HttpServer> makeProgramServer(std::uint16_t port);

// Routes "/:path" for the lessons folder and "/<subfolder>/:path" for each of its subfolders; the
// pages carry `policy` as their Content-Security-Policy unless it is empty.
void registerLessonRoutes(server::HttpServer& server, const QString& folder, const std::string& policy = {});

// Copies every item of the source folder into the destination, replacing items of the same name.
void copyFolderContents(const QString& from, const QString& to);

}  // namespace qv::app
