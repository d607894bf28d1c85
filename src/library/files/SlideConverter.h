#pragma once
// Turns a presentation into a folder of slide pictures: LibreOffice (headless, with a private
// profile folder) exports it as PDF, then every page is rendered to "<base>.NNN.png" (001, 002,
// ...), base being the document's name without its extension. The slides are written into a
// hidden staging folder next to the target and take the target's name only when every page is
// done, so a failed or timed-out conversion leaves no slides behind and an earlier import of the
// same document keeps its slides.
//
// convert() blocks for as long as LibreOffice works: call it from a worker thread, never the main
// thread. One converter runs one conversion at a time.
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class QTemporaryDir;

namespace qv::library {

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

    // Stops a running conversion (LibreOffice is killed; the result says so) and every later one.
    // Any thread.
    void cancel() { cancelled_ = true; }

private:
    QString program_;
    int timeoutMs_;
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;                       // one conversion at a time
    std::unique_ptr<QTemporaryDir> profile_;  // LibreOffice's private user profile
};

}  // namespace qv::library
