#include "server/html/Tags.h"

namespace qv::html::tags {

#define QV_HTML_DEFINE_TAG(function, tag) \
    void function(const Content& content) { evaluateElement(tag, content); }
QV_HTML_TAGS(QV_HTML_DEFINE_TAG)
#undef QV_HTML_DEFINE_TAG

void cssLink(const Content& content) {
    evaluateElement("link", AttributeMap{{"rel", "stylesheet"}, {"type", "text/css"}}, content);
}

void jsScript(const Content& content) {
    evaluateElement("script", AttributeMap{{"type", "text/javascript"}}, content);
}

}  // namespace qv::html::tags
