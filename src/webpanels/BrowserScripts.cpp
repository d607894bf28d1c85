#include "webpanels/BrowserScripts.h"

#include "webpanels/InjectedScripts.h"

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
  let links = null;
  let connecting = false;
  const waiting = [];

  function connect() {
    if (links || connecting || typeof qt === 'undefined' || !qt.webChannelTransport) return;
    connecting = true;
    new QWebChannel(qt.webChannelTransport, (channel) => {
      links = channel.objects.boardLinks;
      while (links && waiting.length) links.openLink(waiting.shift());
    });
  }
  function hand(address) {
    waiting.push(address);
    connect();
    while (links && waiting.length) links.openLink(waiting.shift());
  }
  // The link the click landed on, also inside a shadow tree.
  function linkOf(event) {
    const path = event.composedPath ? event.composedPath() : [event.target];
    for (const node of path) {
      if ((node instanceof HTMLAnchorElement || node instanceof HTMLAreaElement) && node.href) return node;
    }
    return null;
  }
  // Seen first, judged once the page's own handlers have run: a click the page cancels stays
  // cancelled, as for any link.
  window.addEventListener('click', (event) => {
    if (!event.isTrusted || event.button !== 0) return;
    const link = linkOf(event);
    if (!link) return;
    let address;
    try {
      address = new URL(link.href);
    } catch (e) {
      return;
    }
    if (address.protocol !== 'file:') return;
    setTimeout(() => {
      if (!event.defaultPrevented) hand(address.href);
    }, 0);
  }, true);
  connect();
  if (!links && !connecting) document.addEventListener('DOMContentLoaded', connect);
)js";

}  // namespace

QString boardFileLinkScript() {
    // One function scope: qwebchannel.js declares its QWebChannel with `var`, which stays inside.
    return QStringLiteral("(function () {\n") + qwebchannelSource() + QString::fromUtf8(fileLinkCatcher) +
           QStringLiteral("\n})();\n");
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
