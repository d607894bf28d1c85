#include "server/HttpResponse.h"

#include <charconv>
#include <cmath>

#include "server/HttpServer.h"

namespace qv::server {

namespace {

void appendJsonString(std::string& out, const std::string& s) {
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20) {
                    static const char* hex = "0123456789abcdef";
                    out += "\\u00";
                    out += hex[c >> 4];
                    out += hex[c & 15];
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

BodyWriter writerFor(std::shared_ptr<const std::vector<std::uint8_t>> bytes) {
    return [bytes](HttpResponseBodyWriter& writer) { writer.write(*bytes); };
}

}  // namespace

bool JsonValue::isContainer() const {
    return std::holds_alternative<Array>(value_) || std::holds_alternative<Object>(value_);
}

std::string JsonValue::serialized() const {
    std::string out;
    std::visit(
        [&out](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::nullptr_t>) {
                out += "null";
            } else if constexpr (std::is_same_v<T, bool>) {
                out += v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, double>) {
                if (!std::isfinite(v)) throw SerializationError(SerializationError::Case::invalidObject);
                char buffer[64];
                auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
                out.append(buffer, result.ptr);
            } else if constexpr (std::is_same_v<T, std::string>) {
                appendJsonString(out, v);
            } else if constexpr (std::is_same_v<T, Array>) {
                out += '[';
                for (std::size_t i = 0; i < v.size(); ++i) {
                    if (i) out += ',';
                    out += v[i].serialized();
                }
                out += ']';
            } else {
                out += '{';
                bool first = true;
                for (const auto& [key, value] : v) {
                    if (!first) out += ',';
                    first = false;
                    appendJsonString(out, key);
                    out += ':';
                    out += value.serialized();
                }
                out += '}';
            }
        },
        value_);
    return out;
}

HttpResponseBody HttpResponseBody::json(JsonValue value) {
    HttpResponseBody b;
    b.kind_ = Kind::json;
    b.json_ = std::make_shared<const JsonValue>(std::move(value));
    return b;
}
HttpResponseBody HttpResponseBody::html(std::string text) {
    HttpResponseBody b;
    b.kind_ = Kind::html;
    b.text_ = std::move(text);
    return b;
}
HttpResponseBody HttpResponseBody::htmlBody(std::string text) {
    HttpResponseBody b;
    b.kind_ = Kind::htmlBody;
    b.text_ = std::move(text);
    return b;
}
HttpResponseBody HttpResponseBody::text(std::string text) {
    HttpResponseBody b;
    b.kind_ = Kind::text;
    b.text_ = std::move(text);
    return b;
}
HttpResponseBody HttpResponseBody::data(std::vector<std::uint8_t> bytes, std::optional<std::string> contentType) {
    HttpResponseBody b;
    b.kind_ = Kind::data;
    b.data_ = std::move(bytes);
    b.contentType_ = std::move(contentType);
    return b;
}
HttpResponseBody HttpResponseBody::custom(std::function<std::string()> converter) {
    HttpResponseBody b;
    b.kind_ = Kind::custom;
    b.converter_ = std::move(converter);
    return b;
}

std::pair<std::int64_t, BodyWriter> HttpResponseBody::serialize() const {
    std::vector<std::uint8_t> bytes;
    try {
        switch (kind_) {
            case Kind::json:
                if (!json_ || !json_->isContainer()) throw SerializationError(SerializationError::Case::invalidObject);
                bytes = bytesOf(json_->serialized());
                break;
            case Kind::html:
            case Kind::text: bytes = bytesOf(text_); break;
            case Kind::htmlBody:
                bytes = bytesOf("<html><meta charset=\"UTF-8\"><body>" + text_ + "</body></html>");
                break;
            case Kind::data: bytes = data_; break;
            case Kind::custom: bytes = bytesOf(converter_ ? converter_() : std::string()); break;
        }
    } catch (const std::exception& error) {
        bytes = bytesOf(std::string("Serialisation error: ") + error.what());
    }
    auto shared = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    auto length = static_cast<std::int64_t>(shared->size());
    return {length, writerFor(std::move(shared))};
}

HttpResponse HttpResponse::switchProtocols(HeaderFields fields, SessionHandler session) {
    HttpResponse r(Kind::switchProtocols);
    r.fields_ = std::move(fields);
    r.session_ = std::move(session);
    return r;
}
HttpResponse HttpResponse::ok(HttpResponseBody body) {
    HttpResponse r(Kind::ok);
    r.body_ = std::move(body);
    return r;
}
HttpResponse HttpResponse::movedPermanently(std::string location) {
    HttpResponse r(Kind::movedPermanently);
    r.location_ = std::move(location);
    return r;
}
HttpResponse HttpResponse::movedTemporarily(std::string location) {
    HttpResponse r(Kind::movedTemporarily);
    r.location_ = std::move(location);
    return r;
}
HttpResponse HttpResponse::badRequest(std::optional<HttpResponseBody> body) {
    HttpResponse r(Kind::badRequest);
    r.body_ = std::move(body);
    return r;
}
HttpResponse HttpResponse::raw(int statusCode, std::string reasonPhrase, std::optional<HeaderFields> fields,
                               BodyWriter writer) {
    HttpResponse r(Kind::raw);
    r.rawStatus_ = statusCode;
    r.rawPhrase_ = std::move(reasonPhrase);
    r.fields_ = std::move(fields);
    r.writer_ = std::move(writer);
    return r;
}

int HttpResponse::statusCode() const {
    switch (kind_) {
        case Kind::switchProtocols: return 101;
        case Kind::ok: return 200;
        case Kind::movedPermanently: return 301;
        case Kind::movedTemporarily: return 307;
        case Kind::badRequest: return 400;
        case Kind::raw: return rawStatus_;
        case Kind::created: return 201;
        case Kind::accepted: return 202;
        case Kind::unauthorized: return 401;
        case Kind::forbidden: return 403;
        case Kind::notFound: return 404;
        case Kind::notAcceptable: return 406;
        case Kind::tooManyRequests: return 429;
        case Kind::internalServerError: return 500;
    }
    return 500;
}

std::string HttpResponse::reasonPhrase() const {
    switch (kind_) {
        case Kind::switchProtocols: return "Switching Protocols";
        case Kind::ok: return "OK";
        case Kind::movedPermanently: return "Moved Permanently";
        case Kind::movedTemporarily: return "Moved Temporarily";
        case Kind::badRequest: return "Bad Request";
        case Kind::raw: return rawPhrase_;
        case Kind::created: return "Created";
        case Kind::accepted: return "Accepted";
        case Kind::unauthorized: return "Unauthorized";
        case Kind::forbidden: return "Forbidden";
        case Kind::notFound: return "Not Found";
        case Kind::notAcceptable: return "Not Acceptable";
        case Kind::tooManyRequests: return "Too Many Requests";
        case Kind::internalServerError: return "Internal Server Error";
    }
    return {};
}

HeaderFields HttpResponse::headerFields() const {
    HeaderFields fields{{"Server", "QVHttp " + HttpServer::version()}};
    switch (kind_) {
        case Kind::switchProtocols:
        case Kind::raw:
            if (fields_)
                for (const auto& [name, value] : *fields_) fields[name] = value;
            break;
        case Kind::ok:
            if (body_->kind() == HttpResponseBody::Kind::json) {
                fields["Content-Type"] = "application/json";
            } else if (body_->kind() == HttpResponseBody::Kind::html) {
                fields["Content-Type"] = "text/html";
            } else if (body_->kind() == HttpResponseBody::Kind::data) {
                if (body_->contentType())
                    fields["Content-Type"] = *body_->contentType();
                else
                    fields.erase("Content-Type");
            }
            break;
        case Kind::movedPermanently:
        case Kind::movedTemporarily: fields["Location"] = location_; break;
        default: break;
    }
    return fields;
}

std::pair<std::int64_t, BodyWriter> HttpResponse::bodyContent() const {
    switch (kind_) {
        case Kind::ok: return body_->serialize();
        case Kind::badRequest:
            if (body_) return body_->serialize();
            return {-1, nullptr};
        case Kind::raw: return {-1, writer_};
        default: return {-1, nullptr};
    }
}

}  // namespace qv::server
