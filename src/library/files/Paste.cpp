#include "library/files/Paste.h"

#include <QClipboard>
#include <QMimeData>
#include <QUrl>

#include <syslog.h>

#include "library/files/x11/XTestKeys.h"

namespace qv::library {

namespace {

class XTestKeyPoster : public KeyPoster {
public:
    bool postPasteKeystroke() override { return x11::postCtrlV(); }
};

}  // namespace

std::unique_ptr<KeyPoster> makeDesktopKeyPoster() { return std::make_unique<XTestKeyPoster>(); }

bool pasteIntoFrontApplication(const QString& path, QClipboard* clipboard, KeyPoster& poster) {
    const QUrl url = QUrl::fromLocalFile(path);
    auto* data = new QMimeData;
    data->setUrls({url});
    data->setText(url.toString());
    clipboard->clear();
    clipboard->setMimeData(data);
    if (!poster.postPasteKeystroke()) {
        syslog(LOG_WARNING, "FakeKey: No event source");
        return false;
    }
    return true;
}

}  // namespace qv::library
