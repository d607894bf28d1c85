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

// For the board page, at document creation in a script world of the program's own (the page's
// scripts see none of it): a click of the user's on a link to a "file:" address, which the engine
// refuses to follow from a web page, is cancelled and the address handed to the web channel's
// object "boardLinks" (openLink), whose navigation policy decides as for any other navigation.
// Every other click goes on untouched.
QString boardFileLinkScript();

// The script that gives the PDF viewer a white page while backgrounds are kept.
inline constexpr const char* whitePageScript = "document.body.style.backgroundColor = 'white';";

}  // namespace qv::webpanels
