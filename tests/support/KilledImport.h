#pragma once
// What a run of the program killed while it imported leaves in a library folder: a copy of a
// picture on its way in and a presentation's slides being made, each recorded by the program's own
// code as it made them (see support/KilledChild.h). For tests that link the library.
#include <QFile>
#include <QString>
#include <QStringList>

#include "library/WorkingFiles.h"
#include "support/KilledChild.h"

namespace qv::test {

// The paths of the working file and folder left, or nothing where they could not be made.
inline QStringList leaveKilledImport(const QString& library) {
    return runAndKill([&](const KillNow& killNow) {
        QString error;
        const auto copy =
            library::createWorkingFile(library, QStringLiteral("photo.png"), QStringLiteral("copy"), &error);
        const auto slides =
            library::createWorkingFolder(library, QStringLiteral("deck"), QStringLiteral("slides"), &error);
        if (!copy || !slides) return;
        QFile(slides->path + QStringLiteral("/deck.001.png")).open(QIODevice::WriteOnly);
        killNow({copy->path, slides->path});
    });
}

}  // namespace qv::test
