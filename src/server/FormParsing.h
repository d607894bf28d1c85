#pragma once
// Form bodies of a parsed request: URL-encoded pairs and multipart parts, and the parameters of
// a header value such as `form-data; name="a"; filename="b.png"`.
//
// Neither parser fails: a request of another type, a body that is not UTF-8 where text is needed,
// or a malformed body gives what could be read (often nothing). The multipart reader never reads
// past the body: a part whose closing marker is missing is no part.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "server/HttpRequest.h"

namespace qv::server {

// One part of a multipart body.
struct MultiPart {
    // Header names lower-cased, values trimmed of blanks and tabs; a repeated name keeps the last.
    std::map<std::string, std::string> headers;
    std::vector<std::uint8_t> body;

    // The "name" and "filename" parameters of the "content-disposition" header, one pair of
    // enclosing double quotes removed; absent when the header or the parameter is.
    std::optional<std::string> name() const;
    std::optional<std::string> fileName() const;
};

using FormPairs = std::vector<std::pair<std::string, std::string>>;

// The pairs of an "application/x-www-form-urlencoded" body, in body order. A piece that is not
// exactly name=value, or that does not decode, gives a pair of two empty texts at its place.
// "+" becomes a blank before percent escapes are decoded, so "%2B" stays a plus sign.
FormPairs parseUrlencodedForm(const HttpRequest& request);

// The parts of a "multipart/form-data" body, in body order.
std::vector<MultiPart> parseMultiPartForm(const HttpRequest& request);

// `into` followed by the values of `parameter` in the `header` value of `headers`: the value split
// at ";", each piece trimmed, and every piece "parameter=value" gives its last "="-separated token.
std::vector<std::string> headerParameterValues(std::vector<std::string> into,
                                               const std::map<std::string, std::string>& headers,
                                               const std::string& header, const std::string& parameter);

// The text without one pair of enclosing double quotes.
std::string unquoted(const std::string& text);

}  // namespace qv::server
