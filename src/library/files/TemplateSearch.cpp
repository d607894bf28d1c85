#include "library/files/TemplateSearch.h"

#include <QJsonArray>
#include <QJsonObject>

namespace qv::library {

QString jsonText(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::String: return value.toString();
    case QJsonValue::Bool: return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (d == static_cast<double>(static_cast<qint64>(d))) return QString::number(static_cast<qint64>(d));
        return QString::number(d, 'g', 17);
    }
    default: return {};
    }
}

TemplateFacts templateFacts(const QJsonValue& entry, bool favorited) {
    TemplateFacts facts;
    const QJsonObject object = entry.toObject();
    facts.name = jsonText(object.value(QStringLiteral("name")));
    const QJsonValue categories = object.value(QStringLiteral("categories"));
    if (categories.isArray())
        for (const QJsonValue& c : categories.toArray()) facts.categories << jsonText(c);
    facts.favorited = favorited;
    return facts;
}

void TemplateSearch::catalogueCleared() { filtered_.clear(); }

void TemplateSearch::catalogueLoaded(int count) {
    filtered_.clear();
    for (int i = 0; i < count; ++i) filtered_.push_back(i);
}

void TemplateSearch::onSearchTextChanged(const QString& text, const std::vector<TemplateFacts>& catalogue) {
    searchText_ = text;
    if (text.isEmpty()) {
        if (selectedCategory_ == kSelectedNone) catalogueLoaded(static_cast<int>(catalogue.size()));
    } else {
        const QString needle = text.toLower();
        filtered_.clear();
        for (int i = 0; i < static_cast<int>(catalogue.size()); ++i)
            if (catalogue[i].name.toLower().contains(needle)) filtered_.push_back(i);
    }
    selectedCategory_ = kSelectedNone;
}

bool TemplateSearch::selectCategory(int index, const QStringList& categoryList,
                                    const std::vector<TemplateFacts>& catalogue) {
    if (index < 0 || index >= categoryList.size()) return false;
    const bool searchWasEmpty = searchText_.isEmpty();
    searchText_.clear();
    selectedCategory_ = categoryList[index];
    bool all = false;
    filtered_.clear();
    if (selectedCategory_ == kCategoryAll) {
        all = true;
        catalogueLoaded(static_cast<int>(catalogue.size()));
    } else if (selectedCategory_ == kCategoryFavorite) {
        for (int i = 0; i < static_cast<int>(catalogue.size()); ++i)
            if (catalogue[i].favorited) filtered_.push_back(i);
    } else {
        for (int i = 0; i < static_cast<int>(catalogue.size()); ++i)
            if (catalogue[i].categories.contains(selectedCategory_, Qt::CaseSensitive)) filtered_.push_back(i);
    }
    // Emptying a text that was not empty is a change of the search text, handled after the tap.
    if (!searchWasEmpty) onSearchTextChanged(QString(), catalogue);
    return all;
}

}  // namespace qv::library
