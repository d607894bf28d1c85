#include "webpanels/BookmarkPictures.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QPointer>
#include <QSet>
#include <QThreadPool>

#include <deque>
#include <mutex>

#include "webpanels/Bookmarks.h"

namespace qv::webpanels {

namespace {

constexpr int readers = 2;

// Its own threads, so a long list never holds up the program's other thumbnails.
QThreadPool& picturePool() {
    static QThreadPool pool;
    static const bool sized = (pool.setMaxThreadCount(readers), true);
    (void)sized;
    return pool;
}

// Read scaled where the format allows: only as many pixels as the cell shows.
QImage readPicture(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid()) {
        const QSize wanted = size.scaled(BookmarkPictures::readSize(), Qt::KeepAspectRatioByExpanding);
        if (wanted.width() < size.width()) reader.setScaledSize(wanted);
    }
    return reader.read();
}

}  // namespace

struct BookmarkPictures::Queue {
    std::mutex mutex;
    QString folder;
    std::deque<QString> waiting;  // newest request first
    QSet<QString> pending;        // waiting or being read
    int running = 0;
    bool closed = false;
};

QSize BookmarkPictures::readSize() { return QSize(240, 144); }

BookmarkPictures::BookmarkPictures(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)), cache_(capacity), queue_(std::make_shared<Queue>()) {
    queue_->folder = folder_;
}

BookmarkPictures::~BookmarkPictures() {
    // Readers finish the picture in hand and stop; what they send back finds no one.
    std::lock_guard lock(queue_->mutex);
    queue_->closed = true;
    queue_->waiting.clear();
    queue_->pending.clear();
}

BookmarkPictures::Picture BookmarkPictures::picture(const QString& thumbnail) {
    if (const Picture* known = cache_.object(thumbnail)) return *known;
    bool startReader = false;
    {
        std::lock_guard lock(queue_->mutex);
        if (queue_->pending.contains(thumbnail)) return {};
        queue_->waiting.push_front(thumbnail);
        queue_->pending.insert(thumbnail);
        // Rows long scrolled past: dropped, asked again if they come back on screen.
        while (int(queue_->waiting.size()) > queueLimit) {
            queue_->pending.remove(queue_->waiting.back());
            queue_->waiting.pop_back();
        }
        if (queue_->running < readers) {
            ++queue_->running;
            startReader = true;
        }
    }
    if (startReader) {
        picturePool().start([queue = queue_, self = QPointer<BookmarkPictures>(this)] {
            for (;;) {
                QString thumbnail;
                {
                    std::lock_guard lock(queue->mutex);
                    if (queue->closed || queue->waiting.empty()) {
                        --queue->running;
                        return;
                    }
                    thumbnail = queue->waiting.front();
                    queue->waiting.pop_front();
                }
                const auto path = bookmarkPicturePath(queue->folder, thumbnail);
                const QImage image = path ? readPicture(*path) : QImage();
                if (QCoreApplication* app = QCoreApplication::instance())
                    QMetaObject::invokeMethod(
                        app,
                        [self, thumbnail, image] {
                            if (self) self->accept(thumbnail, image, !image.isNull());
                        },
                        Qt::QueuedConnection);
            }
        });
    }
    return {};
}

BookmarkPictures::Picture BookmarkPictures::peek(const QString& thumbnail) const {
    const Picture* known = cache_.object(thumbnail);
    return known ? *known : Picture{};
}

void BookmarkPictures::accept(const QString& thumbnail, const QImage& image, bool found) {
    {
        std::lock_guard lock(queue_->mutex);
        queue_->pending.remove(thumbnail);
    }
    cache_.insert(thumbnail, new Picture{found ? State::shown : State::missing, image});
    emit arrived(thumbnail);
}

void BookmarkPictures::insert(const QString& thumbnail, const QImage& image) {
    if (image.isNull()) {
        cache_.insert(thumbnail, new Picture{State::missing, QImage()});
        return;
    }
    const QSize wanted = image.size().scaled(readSize(), Qt::KeepAspectRatioByExpanding);
    const QImage scaled = wanted.width() < image.width()
                              ? image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              : image;
    cache_.insert(thumbnail, new Picture{State::shown, scaled});
}

void BookmarkPictures::forget(const QString& thumbnail) { cache_.remove(thumbnail); }

}  // namespace qv::webpanels
