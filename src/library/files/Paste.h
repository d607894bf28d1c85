#pragma once
// Pasting a library file into whatever window is in front: the clipboard takes the file's URL,
// then a Ctrl+V keystroke goes to the focused window through a KeyPoster.
#include <QString>

#include <memory>

class QClipboard;

namespace qv::library {

// Posts the paste keystroke (Ctrl+V) to the window that has the keyboard focus.
class KeyPoster {
public:
    virtual ~KeyPoster() = default;
    // False when no keystroke can be posted (no display, no test extension).
    virtual bool postPasteKeystroke() = 0;
};

// The desktop's own poster: XTest on the X display.
std::unique_ptr<KeyPoster> makeDesktopKeyPoster();

// Puts the file URL of `path` on `clipboard` (as a URL and as its text, so that text fields take
// it too), then posts Ctrl+V. Without a keystroke "FakeKey: No event source" goes to the system
// log; the clipboard keeps the URL. Returns whether the keystroke was posted.
bool pasteIntoFrontApplication(const QString& path, QClipboard* clipboard, KeyPoster& poster);

}  // namespace qv::library
