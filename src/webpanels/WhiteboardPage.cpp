#include "webpanels/WhiteboardPage.h"

#include <QFileDialog>
#include <QWebEngineView>

#include "webpanels/WebViewController.h"

namespace qv::webpanels {

WhiteboardPage::WhiteboardPage(QWebEngineProfile* profile, WebViewController* controller, QObject* parent)
    : QWebEnginePage(profile, parent), controller_(controller) {}

bool WhiteboardPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
    return controller_->decidePolicyForNavigation(url);
}

QStringList WhiteboardPage::chooseFiles(FileSelectionMode, const QStringList& oldFiles, const QStringList&) {
    // One file, never a folder, whatever the input asks for.
    QWidget* parent = QWebEngineView::forPage(this);
    const QString chosen = QFileDialog::getOpenFileName(parent, QString(), oldFiles.value(0));
    if (chosen.isEmpty()) return {};
    return {chosen};
}

}  // namespace qv::webpanels
