// The archive list filled from a save folder, as the program fills it when it starts.
//   qv_library_bench make <images folder> <count> <width> <height>
//       writes <count> snapshot-like PNGs, a second apart in modification time, newest last
//   qv_library_bench fill <save folder> <count>
//       shows the archive list in a window on the save folder ("<save folder>/Quorvane/images"
//       and ".../videos") and prints one line: "rows=N last_row_ms=T stall_ms=S", T from showing
//       the list to its last row, S the longest time the main thread did not come back to its
//       event loop (a 5 ms timer's largest gap beyond its 5 ms) while the list filled.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "library/ArchiveListView.h"
#include "library/ThumbnailList.h"
#include "state/AppState.h"

namespace {

QImage snapshot(int index, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient ground(0, 0, width, height);
    ground.setColorAt(0, QColor::fromHsv(index * 37 % 360, 90, 200));
    ground.setColorAt(1, QColor::fromHsv((index * 37 + 120) % 360, 160, 90));
    p.fillRect(image.rect(), ground);
    p.setPen(QPen(Qt::white, width / 200));
    for (int i = 0; i < 12; ++i) p.drawLine(0, height * i / 12, width, height * (i + index % 5) / 12);
    p.setFont(QFont(QStringLiteral("Sans"), height / 10));
    p.drawText(image.rect(), Qt::AlignCenter, QString::number(index));
    return image;
}

int make(const QString& folder, int count, int width, int height) {
    QDir().mkpath(folder);
    const auto now = std::filesystem::file_time_type::clock::now();
    QList<int> indexes;
    for (int i = 0; i < count; ++i) indexes << i;
    QtConcurrent::blockingMap(indexes, [&](int i) {
        const QString path = QDir(folder).filePath(QStringLiteral("20260301_%1.png").arg(i, 6, 10, QLatin1Char('0')));
        snapshot(i, width, height).save(path, "PNG");
        std::error_code ec;
        std::filesystem::last_write_time(path.toStdString(), now - std::chrono::seconds(count - i), ec);
    });
    return 0;
}

int fill(const QString& saveFolder, int count) {
    auto folders = std::make_shared<qv::app::FolderLocations>(qv::app::FolderLocations::forSaveFolder(saveFolder));
    QDir().mkpath(folders->imagesFolderURL);
    QDir().mkpath(folders->videosFolderURL);
    qv::app::setFolderLocations(folders);

    QWidget window;
    window.resize(1280, 800);
    window.setStyleSheet(QStringLiteral("background: #202020;"));
    auto* list = new qv::library::ArchiveListView(&window);
    list->collapseDelayMs = 3600 * 1000;
    list->hide();
    window.show();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    // The stall meter: a 5 ms timer whose gaps show how long the main thread was away.
    QElapsedTimer clock;
    qint64 lastTick = 0, longest = 0;
    QTimer meter;
    meter.setTimerType(Qt::PreciseTimer);
    QObject::connect(&meter, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - lastTick);
        lastTick = now;
    });
    qint64 lastRow = -1;
    QObject::connect(list, &qv::library::ArchiveListView::fileListChanged, [&] {
        if (lastRow < 0 && int(list->fileList().size()) == count) lastRow = clock.nsecsElapsed();
    });

    clock.start();
    meter.start(5);
    list->move(0, (window.height() - list->height()) / 2);
    list->show();  // the load starts as the list appears
    while (lastRow < 0 && clock.elapsed() < 600000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    meter.stop();
    const double stallMs = std::max<qint64>(0, longest - 5000000) / 1e6;
    std::printf("rows=%d last_row_ms=%.0f stall_ms=%.1f\n", int(list->fileList().size()), lastRow / 1e6, stallMs);
    return lastRow < 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("make") && argc == 6)
        return make(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    if (mode == QLatin1String("fill") && argc == 4) return fill(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    std::fprintf(stderr, "usage: %s make <folder> <count> <width> <height> | fill <save folder> <count>\n", argv[0]);
    return 2;
}
