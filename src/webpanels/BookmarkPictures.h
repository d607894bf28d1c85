#pragma once
// The pictures of the bookmarks on screen, read when a row is first drawn and kept for the last
// few hundred rows seen. Reading happens on worker threads, the newest request first: a row
// scrolled past before its picture was read is dropped from the queue and asked again when it
// comes back. Only pictures inside the bookmark folder are read (bookmarkPicturePath). The
// cache and its signal belong to the main thread.
#include <QCache>
#include <QImage>
#include <QObject>
#include <QString>

#include <memory>

namespace qv::webpanels {

class BookmarkPictures : public QObject {
    Q_OBJECT
public:
    enum class State { loading, shown, missing };
    struct Picture {
        State state = State::loading;
        QImage image;  // scaled to cover the cell's picture at twice its size
    };

    explicit BookmarkPictures(QString folder, QObject* parent = nullptr);
    ~BookmarkPictures() override;

    // The picture of `thumbnail` when it has been read; else starts reading it and says loading.
    Picture picture(const QString& thumbnail);
    // What is known of it, without reading it.
    Picture peek(const QString& thumbnail) const;
    // Known without reading: a picture just taken, or one whose file was deleted.
    void insert(const QString& thumbnail, const QImage& image);
    void forget(const QString& thumbnail);

    // How many pictures are kept, and how many requests wait at most.
    static constexpr int capacity = 300;
    static constexpr int queueLimit = 48;
    // The size pictures are read at: the cell's 120 x 72 at twice its resolution.
    static QSize readSize();

signals:
    // The picture of `thumbnail` is known now: the rows that show it can be drawn again.
    void arrived(const QString& thumbnail);

private:
    struct Queue;
    void accept(const QString& thumbnail, const QImage& image, bool found);

    QString folder_;
    QCache<QString, Picture> cache_;
    std::shared_ptr<Queue> queue_;
};

}  // namespace qv::webpanels
