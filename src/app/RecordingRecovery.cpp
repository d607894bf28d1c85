#include "app/RecordingRecovery.h"

#include <QApplication>
#include <QMessageBox>
#include <QThreadPool>
#include <QWidget>

#include "capture/gst/MovieRecovery.h"

namespace qv::app {

QString recoveryMessage(const QStringList& recovered, const QStringList& failed, const QStringList& removed) {
    QStringList lines;
    if (!recovered.isEmpty())
        lines << QStringLiteral("Recordings that were interrupted have been recovered:") << recovered
              << QString();
    if (!failed.isEmpty())
        lines << QStringLiteral("These interrupted recordings could not be recovered and were left as they are:")
              << failed << QString();
    if (!removed.isEmpty())
        lines << QStringLiteral(
                     "These recordings were interrupted before their first picture, held nothing and were "
                     "removed:")
              << removed << QString();
    while (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines.join(QLatin1Char('\n'));
}

void recoverInterruptedRecordings(const QString& videosFolder, std::function<QWidget*()> window) {
    if (videosFolder.isEmpty()) return;
    QThreadPool::globalInstance()->start([videosFolder, window = std::move(window)] {
        const gst::RecoveryReport report = gst::recoverInterruptedMovies(videosFolder);
        if (report.empty()) return;
        const QString text = recoveryMessage(report.recovered, report.failed, report.removed);
        QMetaObject::invokeMethod(
            qApp, [text, window] {
                QWidget* parent = window ? window() : nullptr;
                auto* box =
                    new QMessageBox(QMessageBox::Information, QStringLiteral("Interrupted recordings"), text,
                                    QMessageBox::Ok, parent);
                box->setTextFormat(Qt::PlainText);  // file names, never markup
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->setWindowModality(Qt::NonModal);
                box->show();
            },
            Qt::QueuedConnection);
    });
}

}  // namespace qv::app
