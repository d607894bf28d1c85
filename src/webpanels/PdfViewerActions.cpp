#include "webpanels/PdfViewerActions.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPdfDocument>
#include <QPointer>
#include <QPrinter>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>

#include <algorithm>
#include <memory>

#include "state/Failures.h"
#include "state/QtPrint.h"
#include "webpanels/AppScheme.h"
#include "webpanels/BrowserDialogs.h"
#include "webpanels/BrowserWebView.h"
#include "webpanels/PdfViewerAddress.h"

namespace qv::webpanels {

namespace {

constexpr int documentReadPollMs = 100;
constexpr int documentReadDeadlineMs = 60000;
constexpr int printDotsPerInch = 300;  // pages are drawn as pictures; finer gives no better print

// Starts reading the viewer's document (its bytes, as a data: address, and its name) into
// window.qvPrintDocument; false when the viewer holds no document.
const char* readDocumentScript = R"JS((() => {
    const viewer = window.PDFViewerApplication;
    delete window.qvPrintDocument;
    if (!viewer || !viewer.pdfDocument) return false;
    const name = viewer._docFilename;
    const fail = () => { window.qvPrintDocument = {name, data: ''}; };
    viewer.pdfDocument.getData().then(bytes => {
        const reader = new FileReader();
        reader.onload = () => { window.qvPrintDocument = {name, data: String(reader.result)}; };
        reader.onerror = fail;
        reader.readAsDataURL(new Blob([bytes], {type: 'application/pdf'}));
    }, fail);
    return true;
})())JS";

const char* takeDocumentScript = R"JS((() => {
    const read = window.qvPrintDocument;
    delete window.qvPrintDocument;
    return read || null;
})())JS";

QString documentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void printFailed(const QString& name, const QString& why) {
    app::reportFailure(QStringLiteral("The PDF could not be printed:"), name, why);
}

// Every page of the printer's range, each drawn as large as the printable area allows.
void printPages(QPdfDocument& document, QPrinter& printer, const QString& name) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        printFailed(name, QStringLiteral("the printer could not be started"));
        return;
    }
    int from = printer.fromPage(), to = printer.toPage();
    if (from <= 0 || to <= 0) {
        from = 1;
        to = document.pageCount();
    }
    from = std::clamp(from, 1, document.pageCount());
    to = std::clamp(to, from, document.pageCount());
    const int dpi = std::min(printer.resolution(), printDotsPerInch);
    for (int page = from; page <= to; ++page) {
        if (page > from && !printer.newPage()) {
            printFailed(name, QStringLiteral("the printer took no further page"));
            painter.end();
            return;
        }
        const QSize pixels = (document.pagePointSize(page - 1) * dpi / 72.0).toSize().expandedTo(QSize(1, 1));
        const QImage picture = document.render(page - 1, pixels);
        const QRect area = painter.viewport();
        const QSize fitted = pixels.scaled(area.size(), Qt::KeepAspectRatio);
        const QRect target(area.x() + (area.width() - fitted.width()) / 2,
                           area.y() + (area.height() - fitted.height()) / 2, fitted.width(), fitted.height());
        painter.drawImage(target, picture);
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        printFailed(name, QStringLiteral("the printer reported an error"));
        return;
    }
    util::printLine(QStringLiteral("Printed"), to - from + 1, QStringLiteral("page(s) of"), name);
}

void printDocumentBytes(const QByteArray& bytes, const QString& name, QWidget* window) {
    // The document goes through a private file of its own, removed when printing is done.
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/quorvane-print-XXXXXX.pdf"));
    if (bytes.isEmpty() || !file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
        printFailed(name,
                    bytes.isEmpty() ? QStringLiteral("the viewer gave no document") : file.errorString());
        return;
    }
    QPdfDocument document;
    if (document.load(file.fileName()) != QPdfDocument::Error::None || document.pageCount() < 1) {
        printFailed(name, QStringLiteral("the document has no page that can be printed"));
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(name);
    if (!BrowserWebView::dialogs().choosePrinter(window, printer, document.pageCount())) return;
    printPages(document, printer, name);
}

}  // namespace

bool isPdfViewerPage(const QUrl& url) {
    const QString file = appUrlFilePath(url);
    return !file.isEmpty() && file == QFileInfo(pdfViewerPagePath()).canonicalFilePath();
}

QString savedDocumentName(const QString& suggestedName) {
    // Our server's addresses write "/" as "@@": a name made from one keeps only its last part.
    QString name = QFileInfo(suggestedName).fileName();
    if (const qsizetype at = name.lastIndexOf(QLatin1String("@@")); at >= 0) name = name.mid(at + 2);
    return name.trimmed().isEmpty() ? QStringLiteral("document.pdf") : name;
}

void saveViewerDownload(QWebEngineDownloadRequest* download, QWebEnginePage* page, QWidget* window) {
    if (download->page() != page || !isPdfViewerPage(page->url())) {
        util::printLine(QStringLiteral("A download of a page is not kept:"), download->url());
        download->cancel();
        return;
    }
    const QString name = savedDocumentName(download->suggestedFileName());
    const std::optional<QString> chosen =
        BrowserWebView::dialogs().chooseSavePath(window, QDir(documentsFolder()).filePath(name));
    if (!chosen) {
        download->cancel();
        return;
    }
    const QFileInfo target(*chosen);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    QObject::connect(download, &QWebEngineDownloadRequest::isFinishedChanged, download, [download] {
        if (!download->isFinished()) return;
        const QString path = QDir(download->downloadDirectory()).filePath(download->downloadFileName());
        if (download->state() == QWebEngineDownloadRequest::DownloadCompleted) {
            util::printLine(QStringLiteral("Saved the PDF:"), path);
            return;
        }
        const QString why = download->state() == QWebEngineDownloadRequest::DownloadInterrupted
                                ? download->interruptReasonString()
                                : QStringLiteral("the download was cancelled");
        app::reportFailure(QStringLiteral("The PDF could not be saved:"), path, why);
    });
    download->accept();
}

void printViewerDocument(QWebEnginePage* page, QWidget* window) {
    if (!isPdfViewerPage(page->url())) {
        util::printLine(QStringLiteral("Only the PDF viewer's documents are printed:"), page->url());
        return;
    }
    // The viewer's own printing has drawn its pages for a print of the page itself, which the
    // engine leaves to us; the document is printed instead, as the document's pages.
    QPointer<QWebEnginePage> target(page);
    QPointer<QWidget> parent(window);
    page->runJavaScript(QString::fromLatin1(readDocumentScript), [target, parent](const QVariant& started) {
        if (!target || !started.toBool()) return;
        // Asked again until the document is there; the timer goes with the page.
        auto* poll = new QTimer(target);
        poll->setInterval(documentReadPollMs);
        auto waitedMs = std::make_shared<int>(0);
        auto asking = std::make_shared<bool>(false);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, target, parent, waitedMs, asking] {
            if (*waitedMs >= documentReadDeadlineMs) {
                poll->stop();
                poll->deleteLater();
                printFailed(QString(), QStringLiteral("the viewer did not give its document in time"));
                return;
            }
            *waitedMs += documentReadPollMs;
            if (*asking) return;
            *asking = true;
            target->runJavaScript(
                QString::fromLatin1(takeDocumentScript),
                [poll = QPointer<QTimer>(poll), parent, asking](const QVariant& value) {
                    *asking = false;
                    const QVariantMap read = value.toMap();
                    if (read.isEmpty() || !poll || !poll->isActive()) return;
                    poll->stop();
                    poll->deleteLater();
                    const QString data = read.value(QStringLiteral("data")).toString();
                    const qsizetype comma = data.indexOf(QLatin1Char(','));
                    const QByteArray bytes =
                        comma < 0 ? QByteArray() : QByteArray::fromBase64(data.mid(comma + 1).toLatin1());
                    printDocumentBytes(
                        bytes, savedDocumentName(read.value(QStringLiteral("name")).toString()), parent);
                });
        });
        poll->start();
    });
}

}  // namespace qv::webpanels
