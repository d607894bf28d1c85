#pragma once
// Alerts that name files: a file's name is shown as it is, never read as markup (a name may well
// hold "<b>"). QMessageBox takes its texts as rich text when they look like it, its main text and
// its informative text alike.
#include <QLabel>
#include <QMessageBox>

namespace qv::library {

// Call once the texts are set.
inline void showTextsPlain(QMessageBox& alert) {
    alert.setTextFormat(Qt::PlainText);
    if (auto* informative = alert.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
}

}  // namespace qv::library
