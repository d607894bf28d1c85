#include "library/files/SlideConverter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <cmath>

namespace qv::library {

namespace {
constexpr int kSlideWidth = 1920;  // pixels of a rendered slide's longer side
}

SlideConverter::SlideConverter(QString program, int timeoutMs)
    : program_(std::move(program)), timeoutMs_(timeoutMs),
      profile_(std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("quorvane-office-XXXXXX")))) {}

SlideConverter::~SlideConverter() = default;

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
    const QString target = QDir(libraryFolder).filePath(base);

    if (cancelled_) {
        result.error = QStringLiteral("The conversion of %1 was stopped.").arg(info.fileName());
        return result;
    }
    if (!profile_->isValid()) {
        result.error = QStringLiteral("No temporary folder for LibreOffice: ") + profile_->errorString();
        return result;
    }
    QTemporaryDir pdfDir(QDir::temp().filePath(QStringLiteral("quorvane-pdf-XXXXXX")));
    QTemporaryDir staging(QDir(libraryFolder).filePath(QStringLiteral(".") + base + QStringLiteral(".slides-XXXXXX")));
    if (!pdfDir.isValid() || !staging.isValid()) {
        result.error = QStringLiteral("Could not make a working folder in ") + libraryFolder;
        return result;
    }
    if (progress) progress(0, 0);

    QProcess office;
    office.setProgram(program_);
    office.setArguments(arguments(info.absoluteFilePath(), pdfDir.path()));
    office.setProcessChannelMode(QProcess::MergedChannels);
    office.start();
    if (!office.waitForStarted(30000)) {
        result.error = QStringLiteral("LibreOffice could not be started (") + program_ + QStringLiteral("): ") +
                       office.errorString();
        return result;
    }
    QElapsedTimer clock;
    clock.start();
    while (!office.waitForFinished(200)) {
        if (office.state() == QProcess::NotRunning) break;
        if (cancelled_ || clock.elapsed() > timeoutMs_) {
            office.kill();
            office.waitForFinished(10000);
            result.error = cancelled_ ? QStringLiteral("The conversion of %1 was stopped.").arg(info.fileName())
                                      : QStringLiteral("LibreOffice did not finish converting %1 within %2 s.")
                                            .arg(info.fileName())
                                            .arg(timeoutMs_ / 1000);
            return result;
        }
    }
    const QString output = QString::fromLocal8Bit(office.readAll()).trimmed();
    const QStringList pdfs = QDir(pdfDir.path()).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    if (office.exitStatus() != QProcess::NormalExit || pdfs.isEmpty()) {
        result.error = QStringLiteral("LibreOffice could not convert %1.").arg(info.fileName());
        if (!output.isEmpty()) result.error += QStringLiteral(" ") + output.split(QLatin1Char('\n')).last();
        return result;
    }

    QPdfDocument pdf;
    if (pdf.load(QDir(pdfDir.path()).filePath(pdfs.first())) != QPdfDocument::Error::None || pdf.pageCount() < 1) {
        result.error = QStringLiteral("The slides of %1 could not be read.").arg(info.fileName());
        return result;
    }
    const int pages = pdf.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (cancelled_) {
            result.error = QStringLiteral("The conversion of %1 was stopped.").arg(info.fileName());
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
        if (!slide.save(QDir(staging.path()).filePath(slideName(base, i)), "PNG")) {
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
    if (!QDir().rename(staging.path(), target)) {
        result.error = QStringLiteral("The slides could not be moved to %1.").arg(target);
        return result;
    }
    staging.setAutoRemove(false);
    result.ok = true;
    result.folder = target;
    result.slides = pages;
    return result;
}

}  // namespace qv::library
