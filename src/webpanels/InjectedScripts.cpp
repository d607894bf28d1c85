#include "webpanels/InjectedScripts.h"

#include <QFile>

namespace qv::webpanels {

QString qwebchannelSource() {
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

namespace {

const char* const messageHandlerShim = R"js(
  if (window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.swiftMessageHandler)
    return;
  const queue = [];
  let handler = null;
  let connecting = false;

  function flush() {
    while (handler && queue.length) handler.postMessage(queue.shift());
  }
  // A frame without a channel of its own hands its messages to its parent's handler.
  function parentHandler() {
    try {
      if (window.parent !== window) return window.parent.webkit.messageHandlers.swiftMessageHandler;
    } catch (e) {}
    return null;
  }
  function connect() {
    if (handler || connecting) return;
    if (typeof qt !== 'undefined' && qt.webChannelTransport) {
      connecting = true;
      new QWebChannel(qt.webChannelTransport, (channel) => {
        handler = channel.objects.swiftMessageHandler;
        flush();
      });
      return;
    }
    const viaParent = parentHandler();
    if (viaParent) {
      handler = viaParent;
      flush();
    }
  }

  window.webkit = window.webkit || {};
  window.webkit.messageHandlers = window.webkit.messageHandlers || {};
  window.webkit.messageHandlers.swiftMessageHandler = {
    postMessage(body) {
      queue.push(body);
      connect();
      flush();
    },
  };
  connect();
  if (!handler && !connecting) document.addEventListener('DOMContentLoaded', connect);
)js";

const char* const gestureSource = R"js(
(function () {
  if (window.__quorvaneGestures) return;
  window.__quorvaneGestures = true;
  function post(body) {
    window.webkit.messageHandlers.swiftMessageHandler.postMessage(body);
  }

  document.addEventListener('wheel', (event) => post({ type: 'wheel', delta: event.wheelDelta }));
  window.addEventListener('gesturestart', (event) => post({ type: 'gesturestart', scale: event.scale }));
  window.addEventListener('gesturechange', (event) => post({ type: 'gesturechange', scale: event.scale }));

  // Panning: the offset since the mouse went down, in window coordinates (the element under the
  // pointer may change during a drag).
  let lastX = null;
  let lastY = null;
  function mousePanning(event) {
    const panX = Math.round(event.clientX - lastX);
    const panY = Math.round(event.clientY - lastY);
    if (panX === 0 && panY === 0) return;
    post({ type: 'pan', x: panX, y: panY, end: 0 });
  }
  document.addEventListener('mousedown', (event) => {
    lastX = event.clientX;
    lastY = event.clientY;
    document.addEventListener('mousemove', mousePanning);
  });
  document.addEventListener('mouseup', (event) => {
    document.removeEventListener('mousemove', mousePanning);
    if (lastX !== null)
      post({ type: 'pan', x: Math.round(event.clientX - lastX), y: Math.round(event.clientY - lastY), end: 1 });
  });

  // Pinch. The engine has no gesture events of its own: synthesise them.
  function gesture(type, scale) {
    const event = new Event(type);
    event.scale = scale;
    window.dispatchEvent(event);
  }
  let wheelPinch = null;
  document.addEventListener('wheel', (event) => {
    if (!event.ctrlKey) return;
    event.preventDefault();  // no page zoom
    if (!wheelPinch) {
      wheelPinch = { scale: 1.0, timer: 0 };
      gesture('gesturestart', 1.0);
    }
    wheelPinch.scale *= Math.exp(-event.deltaY / 300);
    gesture('gesturechange', wheelPinch.scale);
    clearTimeout(wheelPinch.timer);
    wheelPinch.timer = setTimeout(() => { wheelPinch = null; }, 300);
  }, { passive: false });

  let touchDistance = 0;
  function distance(touches) {
    return Math.hypot(touches[0].clientX - touches[1].clientX, touches[0].clientY - touches[1].clientY);
  }
  document.addEventListener('touchstart', (event) => {
    if (event.touches.length !== 2) return;
    event.preventDefault();
    touchDistance = distance(event.touches);
    gesture('gesturestart', 1.0);
  }, { passive: false });
  document.addEventListener('touchmove', (event) => {
    if (event.touches.length !== 2 || touchDistance <= 0) return;
    event.preventDefault();  // no page zoom
    gesture('gesturechange', distance(event.touches) / touchDistance);
  }, { passive: false });
  document.addEventListener('touchend', (event) => {
    if (event.touches.length < 2) touchDistance = 0;
  });
})();
)js";

}  // namespace

QString messageHandlerScript() {
    // One function scope: qwebchannel.js declares its QWebChannel with `var`, which stays inside.
    return QStringLiteral("(function () {\n") + qwebchannelSource() + QString::fromUtf8(messageHandlerShim) +
           QStringLiteral("\n})();\n");
}

QString gestureScript() { return QString::fromUtf8(gestureSource); }

}  // namespace qv::webpanels
