#pragma once
// The scripts the in-app browser puts into its pages and the calls it makes in them.
#include <QString>

namespace qv::webpanels {

// At document end, in every frame: defines window.updateInvert(num, removeBackground = true),
// which (unless removeBackground is exactly false) filters the body with
// "invert(num) brightness(1.1)", clears every element's background and inverts pictures and
// videos once more so that they keep their colours. Also gives the page a
// window.webkit.messageHandlers.swiftMessageHandler whose messages go nowhere.
QString inversionScript();

// "updateInvert(1.0, true)" and the like: `invert` gives num "1.0" or "0.0".
QString updateInvertCall(bool invert, bool removeBackground);
// "updateInvert(1.0)" or "updateInvert(0.0)".
QString updateInvertCall(bool invert);

// For the board page, at document creation in every frame, in a script world of the program's
// own (the page's scripts see none of it): a click of the user's on a link to a "file:" address,
// which the engine refuses to follow from a web page, is told to the program as a console message
// "<token> <address>" (console messages of that world never reach the page; `token`, a secret
// of hexadecimal digits, tells them from the page's own), whose navigation policy then decides as
// for any other navigation; the engine's own handling of that click (a refusal, or for some names a
// blank page in place of the board) is cancelled, as it is for a link that is no address at all
// (a "file:" one with "%00" in it, say). A click the page cancels itself stays cancelled.
QString boardFileLinkScript(const QString& token);

// The script that gives the PDF viewer a white page while backgrounds are kept.
inline constexpr const char* whitePageScript = "document.body.style.backgroundColor = 'white';";

}  // namespace qv::webpanels
