// Where the soak's clicks go: the program's own control bar, its popovers, the archive list and
// the GIF maker, built from the program's widgets in its style on the display the program will
// use (same fonts, same metrics), laid out but never shown, and measured. Prints one JSON object
// of rectangles (x, y, width, height), each relative to the widget named in its key:
//   bar.<state>       the control bar's size and the Record, Snapshot and View Option buttons
//                     in it, with and without the last-capture thumbnail in the first place
//   popover.<name>    the Record and View Option popovers' sizes and their entries
//   archive.<n>       the archive list's size and its handle and "Generate GIF" row with n items
//   gif               the GIF maker's size and its "Export GIF" button with one frame
//   qv_soak_layout    (needs DISPLAY and QT_QPA_PLATFORM=xcb, as the program has)
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleFactory>

#include <cstdio>

#include "controlbar/ControlBarView.h"
#include "controlbar/Popover.h"
#include "controlbar/QVImageButton.h"
#include "helpers/NiceButtonStyle.h"
#include "library/ArchiveListView.h"
#include "library/GifGeneratorView.h"
#include "library/ThumbnailList.h"
#include "state/AppState.h"
#include "util/BuildInfo.h"

namespace {

// Lays the layouts of a hidden widget and of everything in it out, top down, as showing it would.
void layOut(QWidget* w) {
    if (QLayout* l = w->layout()) {
        l->invalidate();
        l->activate();
    }
    for (QObject* child : w->children())
        if (auto* c = qobject_cast<QWidget*>(child); c && !c->isWindow() && !c->isHidden()) layOut(c);
}

// A hidden widget at its own size with everything in it laid out. Twice: a group whose buttons
// were just made learns its size in the first pass, and the whole in the second.
void settle(QWidget* w) {
    for (int pass = 0; pass < 2; ++pass) {
        layOut(w);
        w->adjustSize();
        layOut(w);
    }
}

QJsonObject rect(const QRect& r) { return {{"x", r.x()}, {"y", r.y()}, {"width", r.width()}, {"height", r.height()}}; }

// A widget's rectangle in the coordinates of `root`.
QJsonObject rectIn(const QWidget* w, const QWidget* root) {
    return rect(QRect(w->mapTo(root, QPoint(0, 0)), w->size()));
}

QJsonObject size(const QWidget* w) { return rect(QRect(QPoint(0, 0), w->size())); }

QJsonObject bar(qv::controlbar::ControlBarView& view, bool thumbnail) {
    auto& m = view.model();
    m.toggleModel.isWendle = qv::app::isWendleEdition();
    m.toggleModel.allowPIP = true;
    if (thumbnail) {
        QImage picture(160, 90, QImage::Format_RGB32);
        picture.fill(Qt::darkGray);
        m.thumbnailImage = picture;
        m.thumbnailURL = QUrl::fromLocalFile(QStringLiteral("/capture.png"));
    } else {
        m.thumbnailImage = QImage();
        m.thumbnailURL = QUrl();
    }
    emit m.changed();
    settle(&view);
    QJsonObject out{{"size", size(&view)}};
    for (const char* icon : {"toolbar_record", "toolbar_snapshot", "toolbar_view"})
        if (auto* b = view.button(QString::fromLatin1(icon))) out[QString::fromLatin1(icon)] = rectIn(b, &view);
    return out;
}

QJsonObject popover(qv::controlbar::ControlBarView& view, const QString& name, const QStringList& icons) {
    qv::controlbar::Popover* p = view.popover(name);
    settle(p);
    QJsonObject out{{"size", size(p)}};
    for (auto* b : p->findChildren<qv::controlbar::QVImageButton*>())
        if (icons.contains(b->icon()) && !b->isHidden()) out[b->icon()] = rectIn(b, p);
    return out;
}

qv::library::LibraryFilePtr item() {
    auto f = std::make_shared<qv::library::LibraryFile>();
    f->url = QUrl::fromLocalFile(QStringLiteral("/capture.png"));
    f->name = QStringLiteral("capture");
    QImage picture(256, 144, QImage::Format_RGB32);
    picture.fill(Qt::darkGray);
    f->thumbnailImage = picture;
    return f;
}

QJsonObject archive(int items) {
    qv::library::ArchiveListView list;
    std::vector<qv::library::LibraryFilePtr> files;
    for (int i = 0; i < items; ++i) files.push_back(item());
    list.list()->setItems(files);
    settle(list.body());
    // The list places its body and handle once its body asked for a new layout (a request, then
    // a call from the event loop).
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    settle(&list);
    QJsonObject out{{"size", rect(QRect(QPoint(0, 0), list.sizeHint()))}, {"handle", rectIn(list.handle(), &list)}};
    if (QWidget* row = list.generateGifRow()) out["generateGif"] = rectIn(row, &list);
    return out;
}

QJsonObject gif() {
    qv::library::GifGeneratorView view;
    // One frame, as the maker shows it once its preview's first tick came: the frame in the list,
    // the picture, the frame count and the controls under it.
    view.frameList()->setItems({item()});
    view.frameCountLabel()->setText(QStringLiteral("1 Frames"));
    for (QWidget* w : view.previewPart()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        w->setVisible(w != view.progressBar());
    view.previewPart()->setVisible(true);
    view.button(QStringLiteral("Clear"))->setVisible(true);
    settle(&view);
    return {{"size", size(&view)}, {"exportGif", rectIn(view.button(QStringLiteral("Export GIF")), &view)}};
}

}  // namespace

int main(int argc, char** argv) {
    // The edition whose layout is measured: the Wendle edition's archive list has the GIF row.
    qv::app::setApplicationId(QString::fromUtf8(argc > 1 && QByteArray(argv[1]) == "vemo" ? qv::util::build::vemoApplicationId
                                                                                           : qv::util::build::wendleApplicationId));
    QApplication app(argc, argv);
    // The program's own style.
    QApplication::setStyle(new qv::app::NoFocusRingStyle(QStyleFactory::create(QStringLiteral("Fusion"))));

    qv::controlbar::ControlBarView view([]() -> qv::controlbar::CameraPort* { return nullptr; });
    QJsonObject out;
    out["bar.files"] = bar(view, false);
    out["bar.thumbnail"] = bar(view, true);
    out["popover.Record"] = popover(view, QStringLiteral("Record"), {"toolbar_record_camera", "toolbar_record_screen"});
    out["popover.ViewOption"] = popover(view, QStringLiteral("ViewOption"), {"toolbar_pip"});
    for (int n = 0; n <= 5; ++n) out[QStringLiteral("archive.%1").arg(n)] = archive(n);
    out["gif"] = gif();
    std::fputs(QJsonDocument(out).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}
