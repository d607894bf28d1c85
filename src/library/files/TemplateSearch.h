#pragma once
// What the Templates tab shows: the catalogue narrowed by a name search, by a category chip or to
// the favorites. Plain state over the catalogue's facts; the panel keeps one and maps the indices
// it yields back to its template items.
//
// The chips and the search share `selectedCategory`: a chip's text after a tap on it, "NONE"
// after every change of the search text. A tap on a chip empties the search text; when the text
// was not empty, that is itself a change, handled right after the tap (the chip's result stays,
// the chip loses its highlight).
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <vector>

namespace qv::library {

// What the filters read of one template.
struct TemplateFacts {
    QString name;            // the entry's "name" as text
    QStringList categories;  // the entry's "categories" as texts
    bool favorited = false;
};

// A JSON value as text: a string as it stands, a number or a truth value written out, anything
// else (or a missing value) empty.
QString jsonText(const QJsonValue& value);
// The facts of a catalogue entry.
TemplateFacts templateFacts(const QJsonValue& entry, bool favorited);

inline const QString kSelectedNone = QStringLiteral("NONE");
inline const QString kCategoryAll = QStringLiteral("All");
inline const QString kCategoryFavorite = QStringLiteral("Favorite");

class TemplateSearch {
public:
    const QString& selectedCategory() const { return selectedCategory_; }
    const QString& searchText() const { return searchText_; }
    // The shown templates, as ascending indices into the catalogue.
    const std::vector<int>& filtered() const { return filtered_; }

    // The catalogue starts loading (nothing shown) or has finished (all of it shown).
    void catalogueCleared();
    void catalogueLoaded(int count);

    // The search text became `text` (typed, or emptied by a chip tap).
    void onSearchTextChanged(const QString& text, const std::vector<TemplateFacts>& catalogue);
    // A tap on chip `index` of `categoryList`. Returns true when the chip is "All" (the panel
    // prints the catalogue then).
    bool selectCategory(int index, const QStringList& categoryList, const std::vector<TemplateFacts>& catalogue);

private:
    QString selectedCategory_;
    QString searchText_;
    std::vector<int> filtered_;
};

}  // namespace qv::library
