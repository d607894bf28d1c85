#pragma once
// Turns the bytes of one request into an HttpRequest: the request line, the header block and a
// body of the declared length. Input is bounded: lines, header count and body size have limits,
// and anything beyond them is a parser error, which the engine answers with its status (400, 413,
// 414 or 431) before it ends the connection. Only bodies of a declared "Content-Length" are read:
// a request with "Transfer-Encoding" is refused (501), never taken as one without a body.
#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>

#include "server/HttpRequest.h"

namespace qv::server {

class BufferedReader;
class Socket;

class HttpParserError : public std::runtime_error {
public:
    enum class Case {
        invalidStatusLine,      // carries the request line as read
        negativeContentLength,
        invalidContentLength,   // not a decimal number, or too large to hold
        lineTooLong,
        tooManyHeaders,
        bodyTooLarge,
        requestLineTooLong,
        invalidCharacter,       // a control byte in the request line or a header name or value
        transferEncoding        // a body in a transfer coding (chunked, ...), which is not read
    };
    explicit HttpParserError(Case c, std::string line = {});
    Case errorCase() const { return case_; }
    const std::string& line() const { return line_; }
    bool operator==(const HttpParserError& other) const { return case_ == other.case_ && line_ == other.line_; }

private:
    Case case_;
    std::string line_;
};

// Finds where a request head ends in the bytes received so far, without parsing it, and checks
// the line limits on the way; keeps its place between calls on the same growing bytes.
class HttpHeadScanner {
public:
    enum class Result { needMore, complete, requestLineTooLong, headerTooLong };
    Result scan(const char* bytes, std::size_t size);
    // The bytes of the head, through its empty line (valid once complete).
    std::size_t headLength() const { return headLength_; }
    void reset() { *this = HttpHeadScanner(); }

private:
    std::size_t position_ = 0;
    std::size_t lineStart_ = 0;
    std::size_t lines_ = 0;
    std::size_t headLength_ = 0;
};

// The status line answering a parser error ("400 Bad Request", ...).
int statusCodeFor(HttpParserError::Case c);
const char* reasonPhraseFor(HttpParserError::Case c);

class HttpParser {
public:
    static constexpr std::size_t maxLineLength = 8 * 1024;
    static constexpr std::size_t maxHeaderCount = 100;
    static constexpr std::size_t maxBodyLength = 1024 * 1024;  // unless a server sets its own

    explicit HttpParser(std::size_t bodyLimit = maxBodyLength) : bodyLimit_(bodyLimit) {}

    // Throws HttpParserError or the SocketError of the read that failed.
    HttpRequest readRequest(Socket& socket);
    HttpRequest readRequest(BufferedReader& reader);
    // The request line and header block, with the body length they declare (checked against
    // the limit); the body is left unread.
    HttpRequest readHead(BufferedReader& reader, std::size_t& bodyLength);
    std::map<std::string, std::string> readHeaders(BufferedReader& reader);

    // The path and query of a request target, as the parser stores them in a request.
    static void parseTarget(const std::string& target, HttpRequest& into);

private:
    std::size_t bodyLimit_;
};

}  // namespace qv::server
