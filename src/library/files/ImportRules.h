#pragma once
// Which files the library takes and how a picture or PDF is copied into the library folder.
// Plain file work, callable from any thread.
#include <QString>
#include <QStringList>

#include <optional>

namespace qv::library {

enum class ImportKind {
    imageOrPDF,    // png, jpg, gif, pdf, svg, jpeg (any case): copied
    presentation,  // ppt, pptx, key (any case): turned into a folder of slide pictures
    other,         // ignored
};
ImportKind importKind(const QString& path);

// The file types the import panel offers, in its order.
QStringList importPanelTypes();

// True when `a` and `b` name the same file once links, "." and ".." are resolved (a path that does
// not exist yet is resolved through its existing folder).
bool isSameFile(const QString& a, const QString& b);

enum class CopyOutcome { copied, sameFile, failed };
struct CopyResult {
    CopyOutcome outcome = CopyOutcome::failed;
    QString destination;  // <folder>/<source file name>
    QString error;
};
// Copies `source` into `folder` under its own name. The copy is written to a locked working file in
// the folder (a hidden name within the 255-byte limit, however long the file's own name) and
// renamed over the destination only when complete, so a failed copy leaves whatever was there
// before untouched and never a partial file under the real name; a killed copy leaves a working
// file that the next start removes.
CopyResult copyIntoFolder(const QString& source, const QString& folder);

}  // namespace qv::library
