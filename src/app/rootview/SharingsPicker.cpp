#include "app/rootview/SharingsPicker.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QTimer>

#include "helpers/DesktopOpen.h"

namespace qv::app {

SharingActions::SharingActions() {
    // The desktop's programs; when none takes the file the teacher is told what and where.
    launch = [](const QString& program, const QStringList& arguments) {
        return runDesktopProgram(program, arguments, QStringLiteral("No e-mail program could send the file:"),
                                 arguments.isEmpty() ? QString() : arguments.last());
    };
    open = [](const QUrl& url) {
        return openOnDesktop(url, QStringLiteral("No program could open:"));
    };
}

std::vector<SharingActions::Entry> SharingActions::entries() {
    return {
        {Kind::CopyToClipboard, QStringLiteral("Copy")},
        {Kind::OpenWithDefaultApplication, QStringLiteral("Open")},
        {Kind::ShowInFileManager, QStringLiteral("Show in File Manager")},
        {Kind::SendByEmail, QStringLiteral("Send by E-mail")},
    };
}

bool SharingActions::perform(Kind kind, const QUrl& file) const {
    if (!file.isLocalFile()) return false;
    const QString path = file.toLocalFile();
    switch (kind) {
        case Kind::CopyToClipboard: {
            auto* data = new QMimeData;
            data->setUrls({file});
            data->setText(path);
            const QImage image(path);
            if (!image.isNull()) data->setImageData(image);
            QApplication::clipboard()->setMimeData(data);
            return true;
        }
        case Kind::OpenWithDefaultApplication:
            return open(file);
        case Kind::ShowInFileManager:
            return open(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
        case Kind::SendByEmail:
            return launch(QStringLiteral("xdg-email"), {QStringLiteral("--attach"), path});
    }
    return false;
}

SharingsPicker::SharingsPicker(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(1, 1);
}

void SharingsPicker::setPresented(bool presented) {
    if (presented_ == presented) return;
    presented_ = presented;
    if (presented) {
        // On the next turn of the event loop, not within the update that asked for it.
        QTimer::singleShot(0, this, [this] {
            if (presented_) openMenu();
        });
    } else if (menu_ && menu_->isVisible()) {
        menu_->close();
    }
    emit presentedChanged(presented);
}

void SharingsPicker::openMenu() {
    if (menu_) menu_->deleteLater();
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("sharingMenu"));
    const std::vector<QUrl> items = sharingItems_;
    for (const auto& entry : SharingActions::entries()) {
        QAction* action = menu_->addAction(entry.title);
        const auto kind = entry.kind;
        connect(action, &QAction::triggered, this, [this, kind, items] {
            for (const QUrl& item : items) actions_.perform(kind, item);
        });
    }
    connect(menu_, &QMenu::aboutToHide, this, [this] {
        // The chosen entry (if any) runs after the menu hid; the flag goes back at once.
        QTimer::singleShot(0, this, [this] { setPresented(false); });
    });
    menu_->popup(mapToGlobal(QPoint(0, height())));
}

}  // namespace qv::app
