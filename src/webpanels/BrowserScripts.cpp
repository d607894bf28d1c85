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

namespace {

const char* const fileLinkCatcher = R"js(
  if (window.__quorvaneFileLinks) return;
  window.__quorvaneFileLinks = true;
  // The link the click landed on, also inside a shadow tree.
  function linkOf(event) {
    const path = event.composedPath ? event.composedPath() : [event.target];
    for (const node of path) {
      if ((node instanceof HTMLAnchorElement || node instanceof HTMLAreaElement) && node.href) return node;
    }
    return null;
  }
  // The file address a click of the user's follows; '' for a link that is no address at all (the
  // engine would show a blank page in place of the board for it); null for any other click.
  function fileAddressOf(event) {
    if (!event.isTrusted || event.button !== 0) return null;
    const link = linkOf(event);
    if (!link) return null;
    try {
      const address = new URL(link.href);
      return address.protocol === 'file:' ? address.href : null;
    } catch (e) {
      return '';
    }
  }
  const handed = new WeakSet();
  function hand(event, address) {
    if (handed.has(event)) return;
    handed.add(event);
    console.debug(token + ' ' + address);
  }
  // Judged once the page's own handlers have run: a click the page cancels stays cancelled, as
  // for any link. Any other is the program's to follow: the engine's own way with a file link
  // from a web page (refused, or for some names a blank page in place of the board) is not taken.
  window.addEventListener('click', (event) => {
    const address = fileAddressOf(event);
    if (address === null || event.defaultPrevented) return;
    event.preventDefault();
    if (address) hand(event, address);
  }, false);
  // A click whose way up the page stops before it reaches the window is seen here first and
  // judged once it has been dispatched.
  window.addEventListener('click', (event) => {
    const address = fileAddressOf(event);
    if (!address) return;
    setTimeout(() => {
      if (event.defaultPrevented || handed.has(event)) return;
      hand(event, address);
    }, 0);
  }, true);
)js";

}  // namespace

QString boardFileLinkScript(const QString& token) {
    // The token goes in as a plain string of hexadecimal digits.
    QString safe;
    for (const QChar c : token)
        if (c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))) safe += c;
    return QStringLiteral("(function () {\n  const token = '%1';\n").arg(safe) +
           QString::fromUtf8(fileLinkCatcher) + QStringLiteral("\n})();\n");
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
