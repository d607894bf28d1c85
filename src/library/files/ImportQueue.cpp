#include "library/files/ImportQueue.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QUrl>

#include "library/files/ImportRules.h"
#include "state/QtPrint.h"
#include "util/Print.h"

namespace qv::library {

namespace {

ImportOutcome copyPicture(const QString& path, const QString& folder) {
    const QString name = QFileInfo(path).fileName();
    const CopyResult copy = copyIntoFolder(path, folder);
    if (copy.outcome == CopyOutcome::sameFile) {
        util::printLine("Same Folder, No actions.");
        return {};
    }
    if (copy.outcome == CopyOutcome::failed) {
        util::printLine("Copy Error");
        return {nullptr, QStringLiteral("%1 could not be copied into the library: %2").arg(name, copy.error)};
    }
    LibraryFilePtr item = makeLibraryFile(QUrl::fromLocalFile(copy.destination));
    if (!attachThumbnail(*item)) {
        // Listed all the same, with a plain picture, so that the teacher can delete the copy.
        attachGenericPicture(*item);
        return {item, QStringLiteral(
                          "%1 was copied into the library, but it cannot be shown: it is damaged, or not a "
                          "picture or PDF that can be read.")
                          .arg(name)};
    }
    return {item, {}};
}

ImportOutcome convertPresentation(SlideConverter& converter, const QString& path, const QString& folder,
                                  const SlideConverter::Progress& progress) {
    const ConversionResult result = converter.convert(path, folder, progress);
    if (!result.ok) {
        util::printLine(result.error);
        return {nullptr, result.error};
    }
    QString folderPath = result.folder;
    if (!folderPath.endsWith(QLatin1Char('/'))) folderPath += QLatin1Char('/');  // a folder's url ends with "/"
    LibraryFilePtr item = makeLibraryFile(QUrl::fromLocalFile(folderPath));
    if (!attachThumbnail(*item)) {
        attachGenericPicture(*item);
        return {item, QStringLiteral("The slides of %1 were made, but the first one cannot be shown.")
                          .arg(QFileInfo(path).fileName())};
    }
    return {item, {}};
}

}  // namespace

ImportQueue::ImportQueue(const QString& officeProgram, int conversionTimeoutMs)
    : converter_(std::make_shared<SlideConverter>(officeProgram, conversionTimeoutMs)) {
    copies_.setMaxThreadCount(4);
    conversions_.setMaxThreadCount(1);
}

ImportQueue::~ImportQueue() {
    cancel();
    conversions_.waitForDone();
    copies_.waitForDone();
}

void ImportQueue::importPicture(const QString& path, const QString& folder, Done done) {
    copies_.start([path, folder, done = std::move(done)] { done(copyPicture(path, folder)); });
}

void ImportQueue::importPresentation(const QString& path, const QString& folder, std::function<void()> started,
                                     SlideConverter::Progress progress, Done done) {
    conversions_.start([converter = converter_, path, folder, started = std::move(started),
                        progress = std::move(progress), done = std::move(done)] {
        if (started) started();
        done(convertPresentation(*converter, path, folder, progress));
    });
}

void ImportQueue::cancel() { converter_->cancel(); }

bool ImportQueue::waitForDone(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    for (QThreadPool* pool : {&copies_, &conversions_}) {
        const int left = int(std::max<qint64>(0, timeoutMs - clock.elapsed()));
        if (!pool->waitForDone(left)) return false;
    }
    return true;
}

}  // namespace qv::library
