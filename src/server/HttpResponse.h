#pragma once
// The answer of a route handler: a status, header fields and an optional body that the engine
// lets write itself to the connection through an HttpResponseBodyWriter.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace qv::server {

class File;
class Socket;

using HeaderFields = std::map<std::string, std::string>;

// Where a response body goes. The engine's implementation writes straight to the connection.
// Every write either sends everything it was given or throws.
class HttpResponseBodyWriter {
public:
    virtual ~HttpResponseBodyWriter() = default;
    // The whole open file, from its start to its end (its size as it was opened).
    virtual void write(File& file) = 0;
    // Every byte, in order.
    virtual void write(std::span<const std::uint8_t> bytes) = 0;

    void write(const std::vector<std::uint8_t>& bytes) { write(std::span<const std::uint8_t>(bytes)); }
    void write(std::string_view text) {
        write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
};

// Writes a body once, after the head was sent; owns what it captured.
using BodyWriter = std::function<void(HttpResponseBodyWriter&)>;
// Takes over a connection after a 101 head.
using SessionHandler = std::function<void(Socket&)>;

// A small JSON value for `json` bodies: null, bool, number, string, array or object.
class JsonValue {
public:
    using Array = std::vector<JsonValue>;
    using Object = std::map<std::string, JsonValue>;
    JsonValue() : value_(nullptr) {}
    JsonValue(std::nullptr_t) : value_(nullptr) {}
    JsonValue(bool b) : value_(b) {}
    JsonValue(int n) : value_(static_cast<double>(n)) {}
    JsonValue(double n) : value_(n) {}
    JsonValue(const char* s) : value_(std::string(s)) {}
    JsonValue(std::string s) : value_(std::move(s)) {}
    JsonValue(Array a) : value_(std::move(a)) {}
    JsonValue(Object o) : value_(std::move(o)) {}

    bool isContainer() const;
    // Compact text (no blanks), keys in order.
    std::string serialized() const;

private:
    std::variant<std::nullptr_t, bool, double, std::string, Array, Object> value_;
};

// A body that knows its length before it is sent.
class HttpResponseBody {
public:
    enum class Kind { json, html, htmlBody, text, data, custom };

    static HttpResponseBody json(JsonValue value);
    static HttpResponseBody html(std::string text);
    static HttpResponseBody htmlBody(std::string text);
    static HttpResponseBody text(std::string text);
    static HttpResponseBody data(std::vector<std::uint8_t> bytes, std::optional<std::string> contentType = std::nullopt);
    // The converter may throw; its message then goes into the "Serialisation error: " body.
    static HttpResponseBody custom(std::function<std::string()> converter);

    Kind kind() const { return kind_; }
    const std::optional<std::string>& contentType() const { return contentType_; }
    // (byte count, writer); never throws: a failure becomes a "Serialisation error: " body.
    std::pair<std::int64_t, BodyWriter> serialize() const;

private:
    Kind kind_ = Kind::text;
    std::shared_ptr<const JsonValue> json_;
    std::string text_;
    std::vector<std::uint8_t> data_;
    std::optional<std::string> contentType_;
    std::function<std::string()> converter_;
};

// The failures of serialisation.
class SerializationError : public std::exception {
public:
    enum class Case { invalidObject, notSupported };
    explicit SerializationError(Case c) : case_(c) {}
    Case errorCase() const { return case_; }
    const char* what() const noexcept override { return case_ == Case::invalidObject ? "invalidObject" : "notSupported"; }

private:
    Case case_;
};

class HttpResponse {
public:
    enum class Kind {
        switchProtocols,
        ok,
        movedPermanently,
        movedTemporarily,
        badRequest,
        raw,
        created,
        accepted,
        unauthorized,
        forbidden,
        notFound,
        notAcceptable,
        tooManyRequests,
        internalServerError
    };

    static HttpResponse switchProtocols(HeaderFields fields, SessionHandler session);
    static HttpResponse ok(HttpResponseBody body);
    static HttpResponse movedPermanently(std::string location);
    static HttpResponse movedTemporarily(std::string location);
    static HttpResponse badRequest(std::optional<HttpResponseBody> body = std::nullopt);
    static HttpResponse raw(int statusCode, std::string reasonPhrase, std::optional<HeaderFields> fields = std::nullopt,
                            BodyWriter writer = nullptr);
    static HttpResponse created() { return HttpResponse(Kind::created); }
    static HttpResponse accepted() { return HttpResponse(Kind::accepted); }
    static HttpResponse unauthorized() { return HttpResponse(Kind::unauthorized); }
    static HttpResponse forbidden() { return HttpResponse(Kind::forbidden); }
    static HttpResponse notFound() { return HttpResponse(Kind::notFound); }
    static HttpResponse notAcceptable() { return HttpResponse(Kind::notAcceptable); }
    static HttpResponse tooManyRequests() { return HttpResponse(Kind::tooManyRequests); }
    static HttpResponse internalServerError() { return HttpResponse(Kind::internalServerError); }

    Kind kind() const { return kind_; }
    int statusCode() const;
    std::string reasonPhrase() const;
    // A fresh map, always holding "Server" (unless a raw response set its own).
    HeaderFields headerFields() const;
    // (length, writer): length -1 when the body has no length known in advance.
    std::pair<std::int64_t, BodyWriter> bodyContent() const;
    // The session of a switchProtocols response, else empty.
    const SessionHandler& session() const { return session_; }

private:
    explicit HttpResponse(Kind kind) : kind_(kind) {}
    Kind kind_;
    int rawStatus_ = 0;
    std::string rawPhrase_;
    std::optional<HeaderFields> fields_;
    std::string location_;
    std::optional<HttpResponseBody> body_;
    BodyWriter writer_;
    SessionHandler session_;
};

class HttpRequest;
// A route handler: runs on a connection's worker thread, possibly on several at once.
using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

// A route handler that can often answer at once, on the thread that read the request: answerNow
// gives the answer when it can without waiting on a disk or anything else (the file's names and
// bytes are in the kernel's caches), and nothing otherwise; then `full` answers on a worker.
// Wrapped in an HttpHandler, it is found again through HttpHandler::target<QuickHandler>().
struct QuickHandler {
    std::function<std::optional<HttpResponse>(const HttpRequest&)> answerNow;
    HttpHandler full;
    HttpResponse operator()(const HttpRequest& request) const { return full(request); }
};

}  // namespace qv::server
