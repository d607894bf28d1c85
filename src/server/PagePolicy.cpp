#include "server/PagePolicy.h"

#include <optional>

namespace qv::server {

HttpResponse withContentSecurityPolicy(const HttpResponse& response, const std::string& policy) {
    // Only answers that carry a page: refusals, redirects and upgrades go as they are.
    if (response.kind() != HttpResponse::Kind::ok && response.kind() != HttpResponse::Kind::raw)
        return response;
    HeaderFields fields = response.headerFields();
    if (fields.count("Content-Security-Policy")) return response;
    fields["Content-Security-Policy"] = policy;
    auto [length, writer] = response.bodyContent();
    if (length >= 0) fields["Content-Length"] = std::to_string(length);
    return HttpResponse::raw(response.statusCode(), response.reasonPhrase(), std::move(fields),
                             std::move(writer));
}

HttpHandler withContentSecurityPolicy(HttpHandler handler, std::string policy) {
    if (const auto* quick = handler.target<QuickHandler>()) {
        QuickHandler wrapped;
        wrapped.answerNow = [now = quick->answerNow,
                             policy](const HttpRequest& request) -> std::optional<HttpResponse> {
            std::optional<HttpResponse> answer = now(request);
            if (!answer) return std::nullopt;
            return withContentSecurityPolicy(*answer, policy);
        };
        wrapped.full = [full = quick->full, policy](const HttpRequest& request) {
            return withContentSecurityPolicy(full(request), policy);
        };
        return wrapped;
    }
    return [handler = std::move(handler), policy = std::move(policy)](const HttpRequest& request) {
        return withContentSecurityPolicy(handler(request), policy);
    };
}

}  // namespace qv::server
