#pragma once
// The road of files into the library folder, off the main thread. Pictures and PDFs are copied
// and get their thumbnails side by side, several at once; presentations are converted by
// LibreOffice one after another; a copy never waits behind a conversion. Each import ends with one
// outcome, handed to its `done` on the worker: the item to list (with its thumbnail), or what to
// tell the teacher.
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>

#include "library/LibraryFile.h"
#include "library/files/SlideConverter.h"

namespace qv::library {

struct ImportOutcome {
    LibraryFilePtr item;  // to list; none when there is nothing to list
    QString error;        // for the teacher; empty when all went well (or nothing was to be done)
};

class ImportQueue {
public:
    ImportQueue(const QString& officeProgram, int conversionTimeoutMs);
    // Stops a running conversion (LibreOffice with all it started) and waits for the workers.
    ~ImportQueue();
    ImportQueue(const ImportQueue&) = delete;
    ImportQueue& operator=(const ImportQueue&) = delete;

    using Done = std::function<void(const ImportOutcome&)>;
    // Copies a picture or PDF into `folder` under its own name and reads its thumbnail.
    void importPicture(const QString& path, const QString& folder, Done done);
    // Converts a presentation into a folder of slides in `folder`: `started` runs when its turn
    // comes, `progress` while the pages are drawn.
    void importPresentation(const QString& path, const QString& folder, std::function<void()> started,
                            SlideConverter::Progress progress, Done done);

    // Stops the running conversion and every later one (any thread).
    void cancel();
    // True once every import has ended (tests); false when `timeoutMs` passed first.
    bool waitForDone(int timeoutMs);

private:
    std::shared_ptr<SlideConverter> converter_;
    QThreadPool copies_;
    QThreadPool conversions_;  // one at a time: LibreOffice works in one profile
};

}  // namespace qv::library
