#pragma once
// The scripts the whiteboard view puts into every frame of its pages.
#include <QString>

namespace qv::webpanels {

// qwebchannel.js as the web channel module ships it; wrap it in a function scope of its own.
QString qwebchannelSource();

// At document creation: defines window.webkit.messageHandlers.swiftMessageHandler.postMessage,
// which queues the page's messages until the web channel to the native handler is open and then
// delivers them in order. Carries its own copy of qwebchannel.js, kept out of the page's globals.
QString messageHandlerScript();

// At document end: turns the page's mouse, wheel and pinch input into the bridge's "wheel", "pan",
// "gesturestart" and "gesturechange" messages. The engine's own pinch zoom is suppressed: a
// Ctrl+wheel sequence (a touchpad pinch) and a two-finger touch pinch become gesture events.
QString gestureScript();

}  // namespace qv::webpanels
