#pragma once
// The desktop services the in-app browser asks on behalf of its pages: the answers to a page's
// alert, confirm and prompt, the file chooser for its file inputs, the desktop's own browser
// for links that want a new window, and the save and print dialogs of the PDF viewer. The program uses the desktop backend; tests install their
// own (BrowserWebView::setDialogs). Main thread only.
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QPrinter;
class QWidget;

namespace qv::webpanels {

class BrowserDialogs {
public:
    virtual ~BrowserDialogs() = default;
    // An application-modal alert with "OK"; returns once it closed.
    virtual void alert(QWidget* parent, const QString& message) = 0;
    // "OK" and "Cancel": true when "OK" closed it.
    virtual bool confirm(QWidget* parent, const QString& message) = 0;
    // A text field ("Enter here", starting empty) and "Submit": the text it held, "" included.
    virtual QString prompt(QWidget* parent, const QString& message) = 0;
    // One file (never a folder); none when the user cancelled.
    virtual std::optional<QString> chooseFile(QWidget* parent) = 0;
    // Opens the address with the desktop's default handler (its web browser).
    virtual void openExternally(const QUrl& url) = 0;
    // Where a document is to be saved, starting at `suggestedPath`; none when the user cancelled.
    // (Qt's save dialog unless a backend has its own.)
    virtual std::optional<QString> chooseSavePath(QWidget* parent, const QString& suggestedPath);
    // The system's print dialog for a document of `pageCount` pages, set up on `printer`: true
    // when the user chose to print. (Qt's print dialog unless a backend has its own.)
    virtual bool choosePrinter(QWidget* parent, QPrinter& printer, int pageCount);
};

// Qt's message boxes, file dialog and QDesktopServices.
std::shared_ptr<BrowserDialogs> desktopBrowserDialogs();

}  // namespace qv::webpanels
