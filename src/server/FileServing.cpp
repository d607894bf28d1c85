#include "server/FileServing.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "server/FileStream.h"

namespace qv::server {

namespace {

const std::unordered_map<std::string, std::string>& contentTypes() {
    // Built once, on first use, even when several connections ask at the same time.
    static const std::unordered_map<std::string, std::string> table = [] {
        const std::vector<std::pair<const char*, std::vector<const char*>>> groups = {
            {"text/html", {"html", "htm", "shtml"}},
            {"text/css", {"css"}},
            {"text/xml", {"xml"}},
            {"text/mathml", {"mml"}},
            {"text/plain", {"txt"}},
            {"text/vnd.sun.j2me.app-descriptor", {"jad"}},
            {"text/vnd.wap.wml", {"wml"}},
            {"text/x-component", {"htc"}},
            {"image/gif", {"gif"}},
            {"image/jpeg", {"jpeg", "jpg"}},
            {"image/png", {"png"}},
            {"image/tiff", {"tif", "tiff"}},
            {"image/vnd.wap.wbmp", {"wbmp"}},
            {"image/x-icon", {"ico"}},
            {"image/x-jng", {"jng"}},
            {"image/x-ms-bmp", {"bmp"}},
            {"image/svg+xml", {"svg", "svgz"}},
            {"image/webp", {"webp"}},
            {"application/javascript", {"js"}},
            {"application/atom+xml", {"atom"}},
            {"application/rss+xml", {"rss"}},
            {"application/font-woff", {"woff"}},
            {"application/java-archive", {"jar", "war", "ear"}},
            {"application/json", {"json"}},
            {"application/mac-binhex40", {"hqx"}},
            {"application/msword", {"doc"}},
            {"application/pdf", {"pdf"}},
            {"application/postscript", {"ps", "eps", "ai"}},
            {"application/rtf", {"rtf"}},
            {"application/vnd.apple.mpegurl", {"m3u8"}},
            {"application/vnd.ms-excel", {"xls"}},
            {"application/vnd.ms-fontobject", {"eot"}},
            {"application/vnd.ms-powerpoint", {"ppt"}},
            {"application/vnd.wap.wmlc", {"wmlc"}},
            {"application/vnd.google-earth.kml+xml", {"kml"}},
            {"application/vnd.google-earth.kmz", {"kmz"}},
            {"application/x-7z-compressed", {"7z"}},
            {"application/x-cocoa", {"cco"}},
            {"application/x-java-archive-diff", {"jardiff"}},
            {"application/x-java-jnlp-file", {"jnlp"}},
            {"application/x-makeself", {"run"}},
            {"application/x-perl", {"pl", "pm"}},
            {"application/x-pilot", {"prc", "pdb"}},
            {"application/x-rar-compressed", {"rar"}},
            {"application/x-redhat-package-manager", {"rpm"}},
            {"application/x-sea", {"sea"}},
            {"application/x-shockwave-flash", {"swf"}},
            {"application/x-stuffit", {"sit"}},
            {"application/x-tcl", {"tcl", "tk"}},
            {"application/x-x509-ca-cert", {"der", "pem", "crt"}},
            {"application/x-xpinstall", {"xpi"}},
            {"application/xhtml+xml", {"xhtml"}},
            {"application/xspf+xml", {"xspf"}},
            {"application/zip", {"zip"}},
            {"application/octet-stream", {"bin", "exe", "dll", "deb", "dmg", "iso", "img", "msi", "msp", "msm"}},
            {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", {"docx"}},
            {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", {"xlsx"}},
            {"application/vnd.openxmlformats-officedocument.presentationml.presentation", {"pptx"}},
            {"audio/midi", {"mid", "midi", "kar"}},
            {"audio/mpeg", {"mp3"}},
            {"audio/ogg", {"ogg"}},
            {"audio/x-m4a", {"m4a"}},
            {"audio/x-realaudio", {"ra"}},
            {"video/3gpp", {"3gpp", "3gp"}},
            {"video/mp2t", {"ts"}},
            {"video/mp4", {"mp4"}},
            {"video/mpeg", {"mpeg", "mpg"}},
            {"video/quicktime", {"mov"}},
            {"video/webm", {"webm"}},
            {"video/x-flv", {"flv"}},
            {"video/x-m4v", {"m4v"}},
            {"video/x-mng", {"mng"}},
            {"video/x-ms-asf", {"asx", "asf"}},
            {"video/x-ms-wmv", {"wmv"}},
            {"video/x-msvideo", {"avi"}},
        };
        std::unordered_map<std::string, std::string> map;
        for (const auto& [type, extensions] : groups)
            for (const char* extension : extensions) map.emplace(extension, type);
        return map;
    }();
    return table;
}

// The text after the last "." of the last path component; none for names that start with "."
// and have no other, or end with one.
std::string pathExtension(const std::string& path) {
    std::string name = path;
    while (!name.empty() && name.back() == '/') name.pop_back();
    name = name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1);
    std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return {};
    return name.substr(dot + 1);
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// A name that could leave a confined folder, or that the file system would cut short.
bool leavesFolder(const std::string& name) {
    if (name.find('\0') != std::string::npos) return true;
    if (name.find('/') != std::string::npos || name.find("@@") != std::string::npos) return true;
    return name == "." || name == "..";
}

BodyWriter fileBodyWriter(std::shared_ptr<File> file) {
    return [file](HttpResponseBodyWriter& writer) {
        // A failed send leaves nothing to do but close; the engine ends the connection.
        struct Closer {
            File& f;
            ~Closer() { f.close(); }
        } closer{*file};
        writer.write(*file);
    };
}

bool sharesWholeDisk(const std::string& directory) { return directory == "/"; }

// The absolute path a whole-disk request names: its value with every "@@" written "/".
std::string wholeDiskPath(const std::string& value) {
    std::string path = value;
    replaceAll(path, "@@", "/");
    return path;
}

// `inline; filename*=UTF-8''...` with the last component of the path, escaped as RFC 5987 asks.
std::string inlineDisposition(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    static const char* hex = "0123456789ABCDEF";
    std::string escaped;
    for (unsigned char c : name) {
        if (std::isalnum(c) || std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos) {
            escaped += static_cast<char>(c);
        } else {
            escaped += '%';
            escaped += hex[c >> 4];
            escaped += hex[c & 15];
        }
    }
    return "inline; filename*=UTF-8''" + escaped;
}

HttpResponse fileResponse(File file, const std::string& nameForType, bool wholeDisk) {
    HeaderFields fields{{"Content-Type", contentTypeForPath(nameForType)},
                        {"Content-Length", std::to_string(file.size())},
                        {"Access-Control-Allow-Origin", "*"}};
    if (wholeDisk) {
        // Read as what its type says, never guessed into a script or a page; and should a page of
        // the disk be opened all the same, it runs in an origin of its own, without scripts.
        fields.emplace("X-Content-Type-Options", "nosniff");
        fields.emplace("Content-Security-Policy", "sandbox");
        // The file's own name, not the address's "@@" path: the PDF viewer titles and saves the
        // document by it.
        fields.emplace("Content-Disposition", inlineDisposition(wholeDiskPath(nameForType)));
        fields.emplace("Access-Control-Expose-Headers", "Content-Disposition");
    }
    return HttpResponse::raw(200, "OK", std::move(fields), fileBodyWriter(std::make_shared<File>(std::move(file))));
}

}  // namespace

bool isRequestFromAnotherSite(const HttpRequest& request) {
    const std::string* site = request.header("sec-fetch-site");
    return site && *site != "same-origin" && *site != "none";
}

bool wholeDiskShareAnswers(const HttpRequest& request, const std::string& path, const HandedDocuments& handed) {
    if (!isRequestFromAnotherSite(request)) return true;
    return request.header("origin") != nullptr && handed && !path.empty() && handed(path);
}

std::string contentTypeForPath(const std::string& path) {
    std::string extension = pathExtension(path);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto& table = contentTypes();
    auto it = table.find(extension);
    return it == table.end() ? "application/octet-stream" : it->second;
}

namespace {

// The whole-disk share's refusal, before any name is looked at on the disk.
bool refusedByWholeDiskShare(const HttpRequest& request, const std::string& directory, const HandedDocuments& handed) {
    if (!sharesWholeDisk(directory)) return false;
    const std::string value = request.params.empty() ? std::string() : request.params.begin()->second;
    return !wholeDiskShareAnswers(request, wholeDiskPath(value), handed);
}

}  // namespace

HttpResponse serveFileFromDirectory(const HttpRequest& request, const std::vector<std::string>& defaults,
                                    const std::string& directory, const HandedDocuments& handed) {
    const bool wholeDisk = sharesWholeDisk(directory);
    if (refusedByWholeDiskShare(request, directory, handed)) return HttpResponse::forbidden();
    if (request.params.empty()) return HttpResponse::notFound();
    const std::string& value = request.params.begin()->second;
    if (value.empty()) {
        for (const std::string& name : defaults) {
            try {
                return fileResponse(File::openRegularFile(directory + fileSeparator + name), name, wholeDisk);
            } catch (const FileError&) {
            }
        }
    }
    if (value.find('\0') != std::string::npos || (!wholeDisk && leavesFolder(value))) return HttpResponse::notFound();
    std::string path = directory + fileSeparator + value;
    replaceAll(path, "@@", "/");
    try {
        return fileResponse(File::openRegularFile(path), value, wholeDisk);
    } catch (const FileError&) {
        return HttpResponse::notFound();
    }
}

std::optional<HttpResponse> serveCachedFileFromDirectory(const HttpRequest& request, const std::string& directory,
                                                         const HandedDocuments& handed) {
    // A refusal needs no disk; the default names, failures and answers other than a file are left
    // to the full handler.
    const bool wholeDisk = sharesWholeDisk(directory);
    if (refusedByWholeDiskShare(request, directory, handed)) return HttpResponse::forbidden();
    if (request.params.empty()) return std::nullopt;
    const std::string& value = request.params.begin()->second;
    if (value.empty() || value.find('\0') != std::string::npos || (!wholeDisk && leavesFolder(value)))
        return std::nullopt;
    std::string path = directory + fileSeparator + value;
    replaceAll(path, "@@", "/");
    std::optional<File> file = File::openCachedRegularFile(path);
    if (!file) return std::nullopt;
    return fileResponse(std::move(*file), value, wholeDisk);
}

HttpHandler fileShareHandler(std::string directory, std::vector<std::string> defaults, HandedDocuments handed) {
    QuickHandler handler;
    handler.answerNow = [directory, handed](const HttpRequest& request) {
        return serveCachedFileFromDirectory(request, directory, handed);
    };
    handler.full = [directory = std::move(directory), defaults = std::move(defaults),
                    handed = std::move(handed)](const HttpRequest& request) {
        return serveFileFromDirectory(request, defaults, directory, handed);
    };
    return handler;
}

HttpHandler singleFileHandler(std::string path) {
    return [path = std::move(path)](const HttpRequest&) {
        try {
            File file = File::openRegularFile(path);
            return HttpResponse::raw(200, "OK", std::nullopt, fileBodyWriter(std::make_shared<File>(std::move(file))));
        } catch (const FileError&) {
            return HttpResponse::notFound();
        }
    };
}

}  // namespace qv::server
