#pragma once
// Turns the bytes of one request into an HttpRequest: the request line, the header block and a
// body of the declared length. Input is bounded: lines, header count and body size have limits,
// and anything beyond them is a parser error (the engine then ends the connection).
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
        bodyTooLarge
    };
    explicit HttpParserError(Case c, std::string line = {});
    Case errorCase() const { return case_; }
    const std::string& line() const { return line_; }
    bool operator==(const HttpParserError& other) const { return case_ == other.case_ && line_ == other.line_; }

private:
    Case case_;
    std::string line_;
};

class HttpParser {
public:
    static constexpr std::size_t maxLineLength = 8 * 1024;
    static constexpr std::size_t maxHeaderCount = 100;
    static constexpr std::size_t maxBodyLength = 1024 * 1024;

    // Throws HttpParserError or the SocketError of the read that failed.
    HttpRequest readRequest(Socket& socket);
    HttpRequest readRequest(BufferedReader& reader);
    std::map<std::string, std::string> readHeaders(BufferedReader& reader);

    // The path and query of a request target, as the parser stores them in a request.
    static void parseTarget(const std::string& target, HttpRequest& into);
};

}  // namespace qv::server
