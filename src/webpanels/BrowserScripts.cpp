#include "webpanels/BrowserScripts.h"

namespace qv::webpanels {

QString inversionScript() {
    return QStringLiteral(R"JS((function () {
  window.updateInvert = function (num, removeBackground = true) {
    if (removeBackground === false) return;
    if (!document.body) return;
    document.body.style.filter = "invert(" + num + ") brightness(1.1)";
    document.body.style.background = "none";
    for (const element of document.querySelectorAll("*")) {
      element.style.background = "none";
      if (element.tagName === "IMG" || element.tagName === "VIDEO" || element.tagName === "__CANVAS")
        element.style.filter = "invert(" + num + ")";
    }
  };
  if (!window.webkit) window.webkit = {};
  if (!window.webkit.messageHandlers) window.webkit.messageHandlers = {};
  if (!window.webkit.messageHandlers.swiftMessageHandler)
    window.webkit.messageHandlers.swiftMessageHandler = { postMessage: function () {} };
})();)JS");
}

QString updateInvertCall(bool invert, bool removeBackground) {
    return QStringLiteral("updateInvert(%1, %2)")
        .arg(invert ? QStringLiteral("1.0") : QStringLiteral("0.0"),
             removeBackground ? QStringLiteral("true") : QStringLiteral("false"));
}

QString updateInvertCall(bool invert) {
    return QStringLiteral("updateInvert(%1)").arg(invert ? QStringLiteral("1.0") : QStringLiteral("0.0"));
}

}  // namespace qv::webpanels
