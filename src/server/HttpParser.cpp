#include "server/HttpParser.h"

#include <cctype>
#include <cstring>
#include <limits>

#include "server/Socket.h"
#include "util/Strings.h"

namespace qv::server {

namespace {

const char* caseText(HttpParserError::Case c) {
    switch (c) {
        case HttpParserError::Case::invalidStatusLine: return "invalidStatusLine";
        case HttpParserError::Case::negativeContentLength: return "negativeContentLength";
        case HttpParserError::Case::invalidContentLength: return "invalidContentLength";
        case HttpParserError::Case::lineTooLong: return "lineTooLong";
        case HttpParserError::Case::tooManyHeaders: return "tooManyHeaders";
        case HttpParserError::Case::bodyTooLarge: return "bodyTooLarge";
        case HttpParserError::Case::requestLineTooLong: return "requestLineTooLong";
        case HttpParserError::Case::invalidCharacter: return "invalidCharacter";
        case HttpParserError::Case::transferEncoding: return "transferEncoding";
    }
    return "unknown";
}

std::string readLimitedLine(BufferedReader& reader, bool requestLine = false) {
    try {
        return reader.readLine(HttpParser::maxLineLength);
    } catch (const BufferedReader::LineTooLong&) {
        throw HttpParserError(requestLine ? HttpParserError::Case::requestLineTooLong
                                          : HttpParserError::Case::lineTooLong);
    } catch (const BufferedReader::ControlByte&) {
        throw HttpParserError(HttpParserError::Case::invalidCharacter);
    }
}

// A URI scheme: a letter, then letters, digits, "+", "-" or ".", then ":".
std::size_t schemeLength(const std::string& s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return 0;
    for (std::size_t i = 1; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == ':') return i + 1;
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return 0;
    }
    return 0;
}

}  // namespace

HttpHeadScanner::Result HttpHeadScanner::scan(const char* bytes, std::size_t size) {
    while (position_ < size) {
        const void* found = std::memchr(bytes + position_, '\n', size - position_);
        std::size_t lf = found ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes) : size;
        if (lf - lineStart_ > HttpParser::maxLineLength)
            return lines_ == 0 ? Result::requestLineTooLong : Result::headerTooLong;
        if (!found) {
            position_ = size;
            return Result::needMore;
        }
        std::size_t length = lf - lineStart_;
        bool empty = length == 0 || (length == 1 && bytes[lineStart_] == '\r');
        position_ = lineStart_ = lf + 1;
        // An empty first line is a malformed request line: the head ends there and the parser says so.
        if (empty) {
            headLength_ = position_;
            return Result::complete;
        }
        if (++lines_ > HttpParser::maxHeaderCount + 1) return Result::headerTooLong;
    }
    return Result::needMore;
}

int statusCodeFor(HttpParserError::Case c) {
    switch (c) {
        case HttpParserError::Case::lineTooLong:
        case HttpParserError::Case::tooManyHeaders: return 431;
        case HttpParserError::Case::requestLineTooLong: return 414;
        case HttpParserError::Case::bodyTooLarge: return 413;
        case HttpParserError::Case::transferEncoding: return 501;
        default: return 400;
    }
}

const char* reasonPhraseFor(HttpParserError::Case c) {
    switch (statusCodeFor(c)) {
        case 431: return "Request Header Fields Too Large";
        case 414: return "URI Too Long";
        case 413: return "Content Too Large";
        case 501: return "Not Implemented";
        default: return "Bad Request";
    }
}

HttpParserError::HttpParserError(Case c, std::string line)
    : std::runtime_error(line.empty() ? std::string(caseText(c)) : std::string(caseText(c)) + "(\"" + line + "\")"),
      case_(c),
      line_(std::move(line)) {}

void HttpParser::parseTarget(const std::string& target, HttpRequest& into) {
    std::size_t question = target.find('?');
    std::string pathPart = target.substr(0, question);
    // An absolute target (scheme, authority, path) or a network-path reference gives its path.
    std::size_t scheme = schemeLength(pathPart);
    std::string rest = pathPart.substr(scheme);
    // Only an absolute target names an authority: "//files//x" is the path of the route /files/x.
    if (scheme > 0 && rest.rfind("//", 0) == 0) {
        std::size_t slash = rest.find('/', 2);
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    }
    into.path = rest;
    into.queryParams.clear();
    if (question == std::string::npos || question + 1 == target.size()) return;
    std::string query = target.substr(question + 1);
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t amp = query.find('&', start);
        if (amp == std::string::npos) amp = query.size();
        std::string item = query.substr(start, amp - start);
        std::size_t eq = item.find('=');
        if (eq == std::string::npos)
            into.queryParams.emplace_back(item, std::string());
        else
            into.queryParams.emplace_back(item.substr(0, eq), item.substr(eq + 1));
        start = amp + 1;
    }
}

std::map<std::string, std::string> HttpParser::readHeaders(BufferedReader& reader) {
    std::map<std::string, std::string> headers;
    std::size_t count = 0;
    for (;;) {
        std::string line = readLimitedLine(reader);
        if (line.empty()) return headers;
        if (++count > maxHeaderCount) throw HttpParserError(HttpParserError::Case::tooManyHeaders);
        std::size_t colon = line.find(':');
        // A tab may stand in a value only, never in a name.
        if (line.find('\t') < colon) throw HttpParserError(HttpParserError::Case::invalidCharacter);
        std::string name, value;
        if (colon == std::string::npos) {
            name = value = line;
        } else {
            std::string before = line.substr(0, colon), after = line.substr(colon + 1);
            if (before.empty() && after.empty()) continue;
            name = before.empty() ? after : before;
            value = after.empty() ? before : after;
        }
        headers[util::lowerCased(name)] = util::trimmed(value);
    }
}

HttpRequest HttpParser::readRequest(Socket& socket) { return readRequest(socket.reader()); }

HttpRequest HttpParser::readRequest(BufferedReader& reader) {
    std::size_t length = 0;
    HttpRequest request = readHead(reader, length);
    if (length > 0) request.body = reader.readBytes(length);
    return request;
}

HttpRequest HttpParser::readHead(BufferedReader& reader, std::size_t& bodyLength) {
    bodyLength = 0;
    std::string line = readLimitedLine(reader, true);
    if (line.find('\t') != std::string::npos) throw HttpParserError(HttpParserError::Case::invalidCharacter);
    std::size_t firstSpace = line.find(' ');
    std::size_t secondSpace = firstSpace == std::string::npos ? std::string::npos : line.find(' ', firstSpace + 1);
    if (secondSpace == std::string::npos) throw HttpParserError(HttpParserError::Case::invalidStatusLine, line);

    HttpRequest request;
    request.method = line.substr(0, firstSpace);
    parseTarget(line.substr(firstSpace + 1, secondSpace - firstSpace - 1), request);
    request.headers = readHeaders(reader);
    if (request.header("transfer-encoding")) throw HttpParserError(HttpParserError::Case::transferEncoding);

    if (const std::string* declared = request.header("content-length")) {
        const std::string& text = *declared;
        std::size_t i = 0;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        if (i == text.size()) throw HttpParserError(HttpParserError::Case::invalidContentLength);
        unsigned long long length = 0;
        for (; i < text.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (!std::isdigit(c)) throw HttpParserError(HttpParserError::Case::invalidContentLength);
            if (length > (std::numeric_limits<unsigned long long>::max() - (c - '0')) / 10)
                throw HttpParserError(HttpParserError::Case::invalidContentLength);
            length = length * 10 + (c - '0');
        }
        if (negative && length > 0) throw HttpParserError(HttpParserError::Case::negativeContentLength);
        if (length > bodyLimit_) throw HttpParserError(HttpParserError::Case::bodyTooLarge);
        bodyLength = static_cast<std::size_t>(length);
    }
    return request;
}

}  // namespace qv::server
