#pragma once
// The whiteboard's page: navigation policy and file chooser go to the view's controller.
#include <QWebEnginePage>

namespace qv::webpanels {

class WebViewController;

class WhiteboardPage : public QWebEnginePage {
    Q_OBJECT
public:
    WhiteboardPage(QWebEngineProfile* profile, WebViewController* controller, QObject* parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;

private:
    WebViewController* controller_;
};

}  // namespace qv::webpanels
