// The "Templates" tab's catalogue: loading it with the favorites marked, saving the favorites, and
// narrowing what is shown by the search text and the category chips.
#include "library/files/FileLibraryView.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLineEdit>

#include "library/files/FileLibraryFolders.h"
#include "library/files/TemplateCatalogue.h"
#include "state/QtPrint.h"
#include "util/Print.h"

namespace qv::library {

using util::printLine;

std::vector<LibraryFilePtr> FileLibraryView::templateListFiltered() const {
    std::vector<LibraryFilePtr> out;
    for (int i : search_.filtered())
        if (i >= 0 && i < static_cast<int>(templateList_.size())) out.push_back(templateList_[i]);
    return out;
}

std::vector<TemplateFacts> FileLibraryView::templateFacts() const {
    std::vector<TemplateFacts> facts;
    for (const LibraryFilePtr& item : templateList_)
        facts.push_back(library::templateFacts(item->json.value_or(QJsonValue()), item->isFavorited));
    return facts;
}

void FileLibraryView::loadTemplates() {
    templateList_.clear();
    search_.catalogueCleared();
    templatesLoaded_ = false;
    const int generation = ++templatesGeneration_;
    refreshTemplates();
    const QString folder = templatesFolder();
    if (folder.isEmpty()) {
        retryWithSaveFolder(&FileLibraryView::loadTemplates);
        return;
    }
    if (!QFileInfo::exists(QDir(folder).filePath(kTemplatesJson))) {
        printLine("templates.json File NOT exist");
        return;
    }
    QStringList favorites = favoriteTemplates_;
    QString error;
    switch (readFavorites(folder, &favorites, &error)) {
    case FavoritesRead::missing: printLine("favorites File NOT exist"); break;
    case FavoritesRead::unreadable:
        printLine("favorites.json read error:", error);
        favoritesWritable_ = false;
        showError(QStringLiteral("The favorite templates could not be read (%1); favorites marked now are not saved.")
                      .arg(error));
        break;
    case FavoritesRead::damaged: {
        printLine("favorites.json read error:", error);
        const QString aside = setAsideDamagedFavorites(folder);
        favoritesWritable_ = !aside.isEmpty();
        showError(aside.isEmpty()
                      ? QStringLiteral("The favorite templates could not be read, and %1 could not be kept aside; "
                                       "favorites marked now are not saved.")
                            .arg(QDir(folder).filePath(kFavoritesJson))
                      : QStringLiteral("The favorite templates could not be read; the file was kept as %1.").arg(aside));
        break;
    }
    case FavoritesRead::ok: favoriteTemplates_ = favorites; break;
    }
    const std::optional<TemplateCatalogue> catalogue = readTemplateCatalogue(folder, &error);
    if (!catalogue) {
        printLine("templates.json read error:", error);
        return;
    }
    templatesJson_ = catalogue->json;
    categoryList_ = catalogue->categoryList;
    refreshChips();

    auto handover = handover_;
    FileLibraryView* self = this;
    const QJsonArray entries = catalogue->templates;
    const QStringList stored = favoriteTemplates_;
    listingPool_.start([handover, self, entries, folder, stored, generation] {
        for (const QJsonValue& entry : entries) {
            const QString key = templateKey(entry);
            LibraryFilePtr item = makeLibraryFile(itemUrl(QDir(folder).filePath(key)));
            item->json = entry;
            item->name = jsonText(entry.toObject().value(QStringLiteral("name")));
            item->isFavorited = stored.contains(key);
            const QString thumb = localPath(item->thumbnail);
            if (thumb.isEmpty() || !QFileInfo::exists(thumb)) {
                printLine("File is not exist:", item->url->toString());
                continue;
            }
            if (!attachThumbnail(*item)) continue;
            postTo(handover, self, [item, generation](FileLibraryView& v) {
                if (generation != v.templatesGeneration_) return;
                v.templateList_.push_back(item);
                v.refreshTemplates();
            });
        }
        postTo(handover, self, [generation](FileLibraryView& v) {
            if (generation != v.templatesGeneration_) return;
            v.search_.catalogueLoaded(static_cast<int>(v.templateList_.size()));
            v.templatesLoaded_ = true;
            printLine("Total Templates in Templates:", v.templateList_.size());
            v.refreshTemplates();
        });
    });
}

void FileLibraryView::saveFavorites() {
    // Before a complete load the marks in memory are not the user's: writing them would lose the
    // favorites on disk; nor is a file that could not be read written over.
    if (!templatesLoaded_ || !favoritesWritable_) return;
    const QString folder = templatesFolder();
    if (folder.isEmpty()) return;
    std::vector<std::pair<QString, bool>> keys;
    for (const LibraryFilePtr& item : templateList_)
        keys.emplace_back(templateKey(item->json.value_or(QJsonValue())), item->isFavorited);
    const QStringList toStore = favoritesToStore(keys, favoriteTemplates_);
    QString error;
    if (!writeFavorites(folder, toStore, &error)) {
        printLine("update favorites.json error:", error);
        return;
    }
    favoriteTemplates_ = toStore;
}

void FileLibraryView::onSearchTextChanged(const QString& text) {
    search_.onSearchTextChanged(text, templateFacts());
    if (searchField_->text() != text) {
        settingSearchText_ = true;
        searchField_->setText(text);
        settingSearchText_ = false;
    }
    refreshTemplates();
    refreshChips();
}

void FileLibraryView::selectCategory(int index) {
    const bool all = search_.selectCategory(index, categoryList_, templateFacts());
    if (all) printLine(QString::fromUtf8(QJsonDocument(templatesJson_).toJson(QJsonDocument::Compact)));
    settingSearchText_ = true;
    searchField_->clear();
    settingSearchText_ = false;
    refreshTemplates();
    refreshChips();
}

void FileLibraryView::setHoveredCategory(const QString& category) {
    if (hoveredCategory_ == category) return;
    hoveredCategory_ = category;
    refreshChips();
}

}  // namespace qv::library
