// Answers the IO thread gives itself: a request whose route has a QuickHandler is tried there
// first, and goes on to a worker when the handler cannot answer without waiting.
#include "server/HttpServerIOInternal.h"

namespace qv::server {

std::optional<std::pair<RouteParams, HttpHandler>> HttpServerIO::quickRoute(const HttpRequest&) { return std::nullopt; }

bool HttpServerIO::answerAtOnce(Loop& loop, Connection& connection) {
    HttpRequest& request = connection.request;
    if (!isLocalRequest(request)) return false;
    auto route = quickRoute(request);
    if (!route) return false;
    const auto* quick = route->second.target<QuickHandler>();
    if (!quick || !quick->answerNow) return false;
    // Without an answer here the request goes on to a worker, which sets its route and address anew.
    request.params = std::move(route->first);
    request.address = peerText(connection.peer, connection.peerLength);
    try {
        std::optional<HttpResponse> response = quick->answerNow(request);
        if (!response) return false;
        collectResponse(connection, request, *response);
    } catch (const std::exception&) {
        connection.output.clear();
        connection.staysOpen = false;
        return false;
    }
    startWriting(loop, connection);
    return true;
}

}  // namespace qv::server
