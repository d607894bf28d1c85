#include "library/files/SlideConverter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QUrl>

#include <cmath>
#include <unistd.h>

#include "library/files/ProcessGroups.h"

namespace qv::library {

namespace {

constexpr int kSlideWidth = 1920;  // pixels of a rendered slide's longer side

// A folder of the converter's own in the temporary folder, locked and recorded for as long as it
// lives, and removed with what it holds when it goes.
struct OwnFolder {
    explicit OwnFolder(const QString& tag) {
        folder = createWorkingFolder(QDir::tempPath(), kOfficeFolderName, tag, &error);
    }
    ~OwnFolder() {
        if (folder) removeEntry(folder->path);  // before its record, which goes with the members
    }
    OwnFolder(const OwnFolder&) = delete;
    OwnFolder& operator=(const OwnFolder&) = delete;
    bool valid() const { return folder && folder->lock.held(); }
    QString path() const { return folder ? folder->path : QString(); }
    QString filePath(const QString& name) const { return QDir(path()).filePath(name); }
    std::optional<WorkingFolder> folder;
    QString error;
};

// The document's own name may leave no room for what LibreOffice adds to it (its lock file
// ".~lock.<name>#" beside the document): it works on a copy with a short name in the conversion's
// folder, which keeps the document's type.
QString workingDocumentName(const QFileInfo& document) {
    static const QRegularExpression plainType(QStringLiteral("^[A-Za-z0-9]{1,8}$"));
    const QString type = document.suffix();
    return plainType.match(type).hasMatch() ? QStringLiteral("document.") + type : QStringLiteral("document");
}

}  // namespace

struct SlideConverter::Profile : OwnFolder {
    Profile() : OwnFolder(QStringLiteral("profile")) {}
};

SlideConverter::SlideConverter(QString program, int timeoutMs) : program_(std::move(program)), timeoutMs_(timeoutMs) {
    newProfile();
}

SlideConverter::~SlideConverter() { cancel(); }

void SlideConverter::newProfile() { profile_ = std::make_unique<Profile>(); }

void SlideConverter::cancel() {
    cancelled_ = true;
    if (const qint64 group = runningGroup_) killProcessGroup(group);
}

QStringList SlideConverter::arguments(const QString& document, const QString& outDir) const {
    return {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile_->path()).toString(),
            QStringLiteral("--headless"),
            QStringLiteral("--norestore"),
            QStringLiteral("--nologo"),
            QStringLiteral("--convert-to"),
            QStringLiteral("pdf"),
            QStringLiteral("--outdir"),
            outDir,
            document};
}

QString SlideConverter::slideName(const QString& base, int index) {
    return base + QStringLiteral(".") + QStringLiteral("%1").arg(index + 1, 3, 10, QLatin1Char('0')) +
           QStringLiteral(".png");
}

ConversionResult SlideConverter::convert(const QString& document, const QString& libraryFolder,
                                         const Progress& progress) {
    std::lock_guard lock(mutex_);
    ConversionResult result;
    const QFileInfo info(document);
    const QString base = info.completeBaseName();
    const QString stopped = QStringLiteral("The conversion of %1 was stopped.").arg(info.fileName());

    if (cancelled_) {
        result.error = stopped;
        return result;
    }
    // The slides go into a folder named after the document: a name that leaves nothing for it
    // would make that folder the library itself or the folder above it.
    if (base.isEmpty() || base == QLatin1String(".") || base == QLatin1String("..")) {
        result.error = QStringLiteral("%1 was not imported: its name leaves nothing to name the folder of its slides. "
                                      "Rename the file and import it again.")
                           .arg(info.fileName());
        return result;
    }
    // Each slide is named by the document with ".001.png" added: a name of one file at the most.
    if (QFile::encodeName(slideName(base, 0)).size() > 255) {
        result.error = QStringLiteral("%1 was not imported: its name is too long for the names of its slides. "
                                      "Rename it shorter and import it again.")
                           .arg(info.fileName());
        return result;
    }
    const QString target = QDir(libraryFolder).filePath(base);
    if (!profile_->valid()) newProfile();  // a profile LibreOffice was killed in is not used again
    if (!profile_->valid()) {
        result.error = QStringLiteral("No temporary folder for LibreOffice: ") + profile_->error;
        return result;
    }
    // The conversion's own folder: the document under a short name, the PDF, and LibreOffice's
    // temporary files (which a stopped LibreOffice leaves behind), all gone with it.
    const OwnFolder run(QStringLiteral("run"));
    const QString pdfDir = run.filePath(QStringLiteral("pdf"));
    const QString tempDir = run.filePath(QStringLiteral("tmp"));
    if (!run.valid() || !QDir().mkdir(pdfDir) || !QDir().mkdir(tempDir)) {
        result.error = QStringLiteral("No temporary folder for LibreOffice") +
                       (run.error.isEmpty() ? QString() : QStringLiteral(": ") + run.error);
        return result;
    }
    const QString workingDocument = run.filePath(workingDocumentName(info));
    if (QFile source(info.absoluteFilePath()); !source.copy(workingDocument)) {
        result.error = QStringLiteral("%1 could not be read: %2").arg(info.fileName(), source.errorString());
        return result;
    }
    QString why;
    std::optional<WorkingFolder> staging = createWorkingFolder(libraryFolder, base, QStringLiteral("slides"), &why);
    if (!staging) {
        result.error = QStringLiteral("Could not make a working folder in ") + libraryFolder +
                       (why.isEmpty() ? QString() : QStringLiteral(": ") + why);
        return result;
    }
    Discard discardStaging(staging->path);
    if (progress) progress(0, 0);

    QProcess office;
    office.setProgram(program_);
    office.setArguments(arguments(workingDocument, pdfDir));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), tempDir);
    office.setProcessEnvironment(environment);
    office.setProcessChannelMode(QProcess::MergedChannels);
    // A group of its own: the launcher and the office program it starts are stopped together.
    office.setChildProcessModifier([] { ::setpgid(0, 0); });
    office.start();
    if (!office.waitForStarted(30000)) {
        result.error = QStringLiteral("LibreOffice could not be started (") + program_ + QStringLiteral("): ") +
                       office.errorString();
        return result;
    }
    const qint64 group = office.processId();
    runningGroup_ = group;
    // Whatever happens below, nothing of the group outlives the conversion.
    struct StopGroup {
        std::atomic<qint64>& running;
        qint64 group;
        ~StopGroup() {
            running = 0;
            killProcessGroup(group);
        }
    } stopGroup{runningGroup_, group};
    QElapsedTimer clock;
    clock.start();
    while (!office.waitForFinished(200)) {
        if (office.state() == QProcess::NotRunning) break;
        if (cancelled_ || clock.elapsed() > timeoutMs_) {
            killProcessGroup(group);
            office.waitForFinished(10000);
            newProfile();  // LibreOffice's own lock may be left in the old one
            result.error = cancelled_ ? stopped
                                      : QStringLiteral("LibreOffice did not finish converting %1 within %2 s.")
                                            .arg(info.fileName())
                                            .arg(timeoutMs_ / 1000);
            return result;
        }
    }
    if (cancelled_) {  // killed from another thread while it ran
        result.error = stopped;
        return result;
    }
    const QString output = QString::fromLocal8Bit(office.readAll()).trimmed();
    const QStringList pdfs = QDir(pdfDir).entryList({QStringLiteral("*.pdf")}, QDir::Files | QDir::Hidden);
    if (office.exitStatus() != QProcess::NormalExit || pdfs.isEmpty()) {
        result.error = QStringLiteral("LibreOffice could not convert %1.").arg(info.fileName());
        if (!output.isEmpty()) result.error += QStringLiteral(" ") + output.split(QLatin1Char('\n')).last();
        return result;
    }

    QPdfDocument pdf;
    if (pdf.load(QDir(pdfDir).filePath(pdfs.first())) != QPdfDocument::Error::None || pdf.pageCount() < 1) {
        result.error = QStringLiteral("The slides of %1 could not be read.").arg(info.fileName());
        return result;
    }
    const int pages = pdf.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (cancelled_) {
            result.error = stopped;
            return result;
        }
        const QSizeF points = pdf.pagePointSize(i);
        const double scale = kSlideWidth / std::max({points.width(), points.height(), 1.0});
        const QSize size(std::max(1, static_cast<int>(std::lround(points.width() * scale))),
                         std::max(1, static_cast<int>(std::lround(points.height() * scale))));
        QImage page = pdf.render(i, size);
        if (page.isNull()) {
            result.error = QStringLiteral("Slide %1 of %2 could not be drawn.").arg(i + 1).arg(info.fileName());
            return result;
        }
        // Pages render on a transparent ground; slides are shown on white.
        QImage slide(page.size(), QImage::Format_RGB32);
        slide.fill(Qt::white);
        QPainter(&slide).drawImage(0, 0, page);
        if (!slide.save(QDir(staging->path).filePath(slideName(base, i)), "PNG")) {
            result.error = QStringLiteral("Slide %1 of %2 could not be written.").arg(i + 1).arg(info.fileName());
            return result;
        }
        if (progress) progress(i + 1, pages);
    }

    // All slides are there: they replace an earlier import of the same document.
    QFileInfo old(target);
    if (old.exists() || old.isSymLink()) {
        const bool removed = old.isDir() && !old.isSymLink() ? QDir(target).removeRecursively() : QFile::remove(target);
        if (!removed) {
            result.error = QStringLiteral("The earlier slides in %1 could not be replaced.").arg(target);
            return result;
        }
    }
    if (!QDir().rename(staging->path, target)) {
        result.error = QStringLiteral("The slides could not be moved to %1.").arg(target);
        return result;
    }
    discardStaging.keep();
    result.ok = true;
    result.folder = target;
    result.slides = pages;
    return result;
}

}  // namespace qv::library
