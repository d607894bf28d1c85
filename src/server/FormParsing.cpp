#include "server/FormParsing.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "server/HttpRouter.h"
#include "server/Utf8.h"
#include "util/Strings.h"

namespace qv::server {

namespace {

// Every piece between separators, empty ones kept ("" gives one empty piece).
std::vector<std::string> splitAll(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            pieces.emplace_back(text.substr(start));
            return pieces;
        }
        pieces.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::string trimmedBlanks(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t b = 0, e = text.size();
    while (b < e && blank(text[b])) ++b;
    while (e > b && blank(text[e - 1])) --e;
    return std::string(text.substr(b, e - b));
}

// The ";"-separated pieces of the content type, trimmed; empty without the header.
std::vector<std::string> contentTypePieces(const HttpRequest& request) {
    const std::string* type = request.header("content-type");
    if (!type) return {};
    std::vector<std::string> pieces = splitAll(*type, ';');
    for (std::string& piece : pieces) piece = trimmedBlanks(piece);
    return pieces;
}

std::optional<std::string> decodedFormText(std::string text) {
    std::replace(text.begin(), text.end(), '+', ' ');
    return percentDecoded(text);
}

// Reads a body from a position that only moves forward and never passes the end.
class BodyReader {
public:
    BodyReader(const std::vector<std::uint8_t>& body, std::string marker)
        : body_(body), marker_(std::move(marker)), markerBytes_(marker_.begin(), marker_.end()) {}

    // Bytes up to a line feed (consumed, not kept) or the end; bytes 0..13 dropped; invalid
    // UTF-8 gives nothing. At the end of the body an empty line.
    std::optional<std::string> readLine() {
        std::string line;
        while (at_ < body_.size()) {
            const std::uint8_t byte = body_[at_++];
            if (byte == 10) break;
            if (byte > 13) line += static_cast<char>(byte);
        }
        if (!isValidUtf8(line)) return std::nullopt;
        return line;
    }

    std::optional<MultiPart> readPart(bool first) {
        if (first) {
            std::optional<std::string> line = readLine();
            if (!line || *line != marker_) return std::nullopt;
        } else {
            (void)readLine();  // the rest of the marker line that ended the previous part
        }
        MultiPart part;
        for (;;) {
            std::optional<std::string> line = readLine();
            if (!line || line->empty()) break;
            std::vector<std::string> tokens = splitAll(*line, ':');
            if (tokens.size() == 2) part.headers[util::lowerCased(tokens[0])] = trimmedBlanks(tokens[1]);
        }
        // The content runs to the next marker; without one there is no part.
        auto searcher = std::boyer_moore_horspool_searcher(markerBytes_.begin(), markerBytes_.end());
        auto from = body_.begin() + static_cast<std::ptrdiff_t>(at_);
        auto found = std::search(from, body_.end(), searcher);
        if (found == body_.end()) {
            at_ = body_.size();
            return std::nullopt;
        }
        // A line break before the marker is not content: CR LF or a lone LF. Any other byte, a
        // lone CR among them, is.
        auto contentEnd = found;
        if (contentEnd != from && *(contentEnd - 1) == '\n') {
            --contentEnd;
            if (contentEnd != from && *(contentEnd - 1) == '\r') --contentEnd;
        }
        part.body.assign(from, contentEnd);
        at_ = static_cast<std::size_t>(found - body_.begin()) + markerBytes_.size();
        return part;
    }

private:
    const std::vector<std::uint8_t>& body_;
    std::string marker_;
    std::vector<std::uint8_t> markerBytes_;
    std::size_t at_ = 0;
};

std::optional<std::string> firstParameter(const MultiPart& part, const std::string& parameter) {
    std::vector<std::string> values = headerParameterValues({}, part.headers, "content-disposition", parameter);
    if (values.empty()) return std::nullopt;
    return unquoted(values.front());
}

}  // namespace

std::string unquoted(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
    return text;
}

std::vector<std::string> headerParameterValues(std::vector<std::string> into,
                                               const std::map<std::string, std::string>& headers,
                                               const std::string& header, const std::string& parameter) {
    auto it = headers.find(header);
    if (it == headers.end()) return into;
    for (const std::string& piece : splitAll(it->second, ';')) {
        std::vector<std::string> tokens = splitAll(trimmedBlanks(piece), '=');
        if (tokens.size() >= 2 && tokens.front() == parameter) into.push_back(tokens.back());
    }
    return into;
}

std::optional<std::string> MultiPart::name() const { return firstParameter(*this, "name"); }
std::optional<std::string> MultiPart::fileName() const { return firstParameter(*this, "filename"); }

FormPairs parseUrlencodedForm(const HttpRequest& request) {
    std::vector<std::string> type = contentTypePieces(request);
    if (type.empty() || type.front() != "application/x-www-form-urlencoded") return {};
    std::string_view text(reinterpret_cast<const char*>(request.body.data()), request.body.size());
    if (!isValidUtf8(text)) return {};
    FormPairs pairs;
    for (const std::string& piece : splitAll(text, '&')) {
        std::vector<std::string> tokens = splitAll(piece, '=');
        std::optional<std::string> name, value;
        if (tokens.size() == 2) {
            name = decodedFormText(tokens.front());
            value = decodedFormText(tokens.back());
        }
        if (name && value)
            pairs.emplace_back(std::move(*name), std::move(*value));
        else
            pairs.emplace_back(std::string(), std::string());
    }
    return pairs;
}

std::vector<MultiPart> parseMultiPartForm(const HttpRequest& request) {
    std::vector<std::string> type = contentTypePieces(request);
    if (type.empty() || type.front() != "multipart/form-data") return {};
    std::string boundary;
    for (const std::string& piece : type) {
        std::vector<std::string> tokens = splitAll(piece, '=');
        if (tokens.size() == 2 && tokens.front() == "boundary") boundary = tokens.back();
    }
    if (boundary.empty()) return {};
    BodyReader reader(request.body, "--" + boundary);
    std::vector<MultiPart> parts;
    while (std::optional<MultiPart> part = reader.readPart(parts.empty())) parts.push_back(std::move(*part));
    return parts;
}

}  // namespace qv::server
