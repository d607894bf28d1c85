#pragma once
// Turns a presentation into a folder of slide pictures: LibreOffice (headless, with a private
// profile folder) exports it as PDF, then every page is rendered to "<base>.NNN.png" (001, 002,
// ...), base being the document's name without its extension. The slides are written into a
// hidden working folder next to the target and take the target's name only when every page is
// done, so a failed or timed-out conversion leaves no slides behind and an earlier import of the
// same document keeps its slides. A document whose base name is empty, "." or ".." is refused: its
// slides would have no folder of their own.
//
// LibreOffice works on a copy of the document with a short name, so that the names it makes from
// the document's own (its lock file) fit in 255 bytes; the slides are named after the document.
// It runs in a process group of its own (its launcher starts the office program as a child), and
// the whole group is stopped on time-out, on cancel() and after it has finished. Its profile and
// the conversion's folder (the copy, the PDF, and LibreOffice's temporary files: TMPDIR points
// into it) are working folders in the temporary folder, recorded and locked while in use (see
// library/WorkingFiles.h); what a killed run left of them goes with the library's clean-up.
//
// convert() blocks for as long as LibreOffice works: call it from a worker thread, never the main
// thread. One converter runs one conversion at a time.
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "library/WorkingFiles.h"

namespace qv::library {

// The name part of the converter's working folders in the temporary folder (see workingName()).
inline const QString kOfficeFolderName = QStringLiteral("quorvane-office");

struct ConversionResult {
    bool ok = false;
    QString folder;  // the slide folder (on success)
    int slides = 0;
    QString error;   // what went wrong, for the user
};

class SlideConverter {
public:
    // `program` is the LibreOffice executable ("soffice" from PATH by default).
    explicit SlideConverter(QString program = QStringLiteral("soffice"), int timeoutMs = 180000);
    ~SlideConverter();

    // Progress while rendering: page `done` of `total` (total 0 while LibreOffice exports).
    using Progress = std::function<void(int done, int total)>;

    // Converts `document` into the folder <libraryFolder>/<base>.
    ConversionResult convert(const QString& document, const QString& libraryFolder, const Progress& progress = {});

    // The arguments LibreOffice is started with (a list, never a shell line).
    QStringList arguments(const QString& document, const QString& outDir) const;

    // The slide file name for page `index` (0-based): "<base>.001.png" for index 0.
    static QString slideName(const QString& base, int index);

    int timeoutMs() const { return timeoutMs_; }

    // Stops a running conversion (LibreOffice's whole process group is killed at once; the result
    // says so) and every later one. Any thread.
    void cancel();

private:
    struct Profile;
    void newProfile();

    QString program_;
    int timeoutMs_;
    std::atomic<bool> cancelled_{false};
    std::atomic<qint64> runningGroup_{0};  // LibreOffice's process group while it runs
    std::mutex mutex_;                     // one conversion at a time
    std::unique_ptr<Profile> profile_;     // LibreOffice's private user profile
};

}  // namespace qv::library
