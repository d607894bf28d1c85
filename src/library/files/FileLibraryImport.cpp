// Where an import goes: from the import panel (the "Import" row and the "OpenFiles" notification),
// a drop or importFile, by its kind (ImportRules) into the ImportQueue's workers, which copy a
// picture or PDF or convert a presentation into the library folder; the converting sheet follows a
// conversion, and what comes back is listed first in "My Files", pasted into the window in front
// when asked for, or named in the error bar.
#include "library/files/FileLibraryView.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>

#include "library/files/FileLibraryFolders.h"
#include "library/files/ImportRules.h"
#include "state/QtPrint.h"
#include "util/Print.h"

namespace qv::library {

using util::printLine;

FileLibraryServices FileLibraryServices::desktop() {
    FileLibraryServices s;
    s.chooseFiles = [](QWidget* parent) {
        QFileDialog dialog(parent, QStringLiteral("Choose an image, powerpoint, keynote"));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setSizeGripEnabled(true);
        dialog.setOption(QFileDialog::DontUseNativeDialog, false);
        QStringList patterns;
        for (const QString& t : importPanelTypes()) patterns << QStringLiteral("*.") + t << QStringLiteral("*.") + t.toUpper();
        dialog.setNameFilter(QStringLiteral("Pictures, PDFs and presentations (%1)").arg(patterns.join(QLatin1Char(' '))));
        dialog.setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);  // no hidden files
        if (dialog.exec() != QDialog::Accepted) return QStringList();
        return dialog.selectedFiles();
    };
    s.keyPoster = std::shared_ptr<KeyPoster>(makeDesktopKeyPoster());
    return s;
}

void FileLibraryView::showImportPanel() {
    if (!services_.chooseFiles) return;
    const QStringList files = services_.chooseFiles(this);
    if (files.isEmpty()) return;
    importFile(files.first(), true);
    if (hideFileLibrary_) setHideFileLibrary(false, true);
    for (int i = 1; i < files.size(); ++i) {
        printLine(util::debugQuoted(QUrl::fromLocalFile(files[i]).toString().toStdString()));
        importFile(files[i], false);
    }
}

bool FileLibraryView::importDropped(const QList<QUrl>& urls) {
    if (libraryFolder().isEmpty()) return false;
    for (const QUrl& url : urls)
        if (url.isLocalFile()) importFile(url.toLocalFile(), false);
    return true;
}

void FileLibraryView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void FileLibraryView::dropEvent(QDropEvent* event) {
    if (importDropped(event->mimeData()->urls()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void FileLibraryView::importFile(const QString& path, bool paste) {
    const QString folder = libraryFolder();
    if (folder.isEmpty()) return;
    printLine("Load files into library:", QUrl::fromLocalFile(path));
    auto handover = handover_;
    FileLibraryView* self = this;
    auto ended = [handover, self, paste](const ImportOutcome& outcome) {
        postTo(handover, self, [outcome, paste](FileLibraryView& v) { v.importEnded(outcome, paste); });
    };
    switch (importKind(path)) {
    case ImportKind::imageOrPDF: imports_->importPicture(path, folder, ended); break;
    case ImportKind::presentation:
        if (path.endsWith(QLatin1Char('/')) || QFileInfo(path).isDir()) return;
        imports_->importPresentation(
            path, folder,
            [handover, self] {
                postTo(handover, self, [](FileLibraryView& v) {
                    v.showingConvertingAlert_ = true;
                    v.sheetDone_ = v.sheetTotal_ = 0;
                    v.refreshSheet();
                });
            },
            [handover, self](int done, int total) {
                postTo(handover, self, [done, total](FileLibraryView& v) {
                    v.sheetDone_ = done;
                    v.sheetTotal_ = total;
                    v.refreshSheet();
                });
            },
            [handover, self](const ImportOutcome& outcome) {
                postTo(handover, self, [outcome](FileLibraryView& v) {
                    v.showingConvertingAlert_ = false;
                    v.refreshSheet();
                    v.importEnded(outcome, false);  // a presentation is never pasted
                });
            });
        break;
    case ImportKind::other: break;
    }
}

void FileLibraryView::importEnded(const ImportOutcome& outcome, bool paste) {
    if (!outcome.error.isEmpty()) showError(outcome.error);
    if (outcome.item) addImported(outcome.item, paste);
}

void FileLibraryView::addImported(const LibraryFilePtr& item, bool paste) {
    fileList_.insert(fileList_.begin(), item);
    refreshFiles();
    if (paste && services_.keyPoster)
        pasteIntoFrontApplication(localPath(item->url), QApplication::clipboard(), *services_.keyPoster);
}

bool FileLibraryView::waitForImports(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (imports_->waitForDone(10)) {
            // Deliver what the workers queued.
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            return true;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
}

}  // namespace qv::library
