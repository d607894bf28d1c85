#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

#include <string>
#include <vector>

#include "library/files/TemplateSearch.h"

using namespace qv::library;

namespace {

// Catalogue: 0 "Number Line" {Math}, 1 "Grid Paper" {Math, Art}, 2 "Lined paper" {Writing},
// 3 "Hundred Chart" {math} (lower case), 4 "World Map" {} with 4 favorited.
std::vector<TemplateFacts> catalogue() {
    return {
        {"Number Line", {"Math"}, false}, {"Grid Paper", {"Math", "Art"}, false}, {"Lined paper", {"Writing"}, false},
        {"Hundred Chart", {"math"}, false}, {"World Map", {}, true},
    };
}
const QStringList chips = {"All", "Favorite", "Math", "Art", "Writing"};

// One step of a session: a chip tap (chip >= 0) or a new search text.
struct Step {
    std::string what;
    int chip = -1;
    QString text;
    QString selectedAfter;
    std::vector<int> filteredAfter;
    QString searchAfter;
};

// The state table, walked as one session from a loaded catalogue.
TEST(TemplateSearch, StateTable) {
    TemplateSearch search;
    const auto cat = catalogue();
    EXPECT_EQ(search.selectedCategory(), "");
    EXPECT_TRUE(search.filtered().empty());
    search.catalogueLoaded(5);
    EXPECT_EQ(search.selectedCategory(), "");
    EXPECT_EQ(search.filtered(), (std::vector<int>{0, 1, 2, 3, 4}));

    const std::vector<Step> steps = {
        {"tap on All", 0, {}, "All", {0, 1, 2, 3, 4}, ""},
        {"tap on Favorite", 1, {}, "Favorite", {4}, ""},
        {"tap on Math: exact, case-sensitive", 2, {}, "Math", {0, 1}, ""},
        {"typing searches the whole catalogue, capitals too", -1, "PAPER", "NONE", {1, 2}, "PAPER"},
        {"inside a longer word", -1, "und", "NONE", {3}, "und"},
        {"a search without a match", -1, "zebra", "NONE", {}, "zebra"},
        {"search emptied while NONE: everything", -1, "", "NONE", {0, 1, 2, 3, 4}, ""},
        {"search again", -1, "line", "NONE", {0, 2}, "line"},
        {"chip tap with text: field emptied, chip's result, no highlight", 3, {}, "NONE", {1}, ""},
        {"same chip again, field empty: highlighted", 3, {}, "Art", {1}, ""},
        {"typing while a category is chosen ignores it", -1, "map", "NONE", {4}, "map"},
    };
    for (const Step& s : steps) {
        if (s.chip >= 0)
            search.selectCategory(s.chip, chips, cat);
        else
            search.onSearchTextChanged(s.text, cat);
        EXPECT_EQ(search.selectedCategory(), s.selectedAfter) << s.what;
        EXPECT_EQ(search.filtered(), s.filteredAfter) << s.what;
        EXPECT_EQ(search.searchText(), s.searchAfter) << s.what;
    }
}

TEST(TemplateSearch, EmptyTextRightAfterAChipLeavesTheChipResult) {
    TemplateSearch search;
    const auto cat = catalogue();
    search.catalogueLoaded(5);
    search.selectCategory(4, chips, cat);  // Writing
    search.onSearchTextChanged("", cat);   // an empty change while a chip is chosen
    EXPECT_EQ(search.selectedCategory(), "NONE");
    EXPECT_EQ(search.filtered(), (std::vector<int>{2}));
}

TEST(TemplateSearch, FavoritesAreTakenWhenTheChipIsTapped) {
    TemplateSearch search;
    auto cat = catalogue();
    cat[4].favorited = false;
    search.catalogueLoaded(5);
    search.selectCategory(1, chips, cat);
    EXPECT_TRUE(search.filtered().empty());  // "No templates."
    cat[2].favorited = true;                 // marked afterwards: not shown until tapped again
    EXPECT_TRUE(search.filtered().empty());
    search.selectCategory(1, chips, cat);
    EXPECT_EQ(search.filtered(), (std::vector<int>{2}));
}

TEST(TemplateSearch, AllIsReportedAndCatalogueChipsNamedLikeTheFixedOnesBehaveAsThem) {
    TemplateSearch search;
    const auto cat = catalogue();
    const QStringList withAll = {"All", "Favorite", "All"};
    EXPECT_TRUE(search.selectCategory(2, withAll, cat));
    EXPECT_EQ(search.filtered().size(), 5u);
    EXPECT_FALSE(search.selectCategory(1, withAll, cat));
    EXPECT_FALSE(search.selectCategory(7, withAll, cat));  // out of range: nothing changes
    EXPECT_EQ(search.selectedCategory(), "Favorite");
}

TEST(TemplateSearch, EntryTextsFromJson) {
    QJsonObject entry{{"name", 42}, {"categories", QJsonArray{"Math", true, QJsonObject{}}}};
    TemplateFacts f = templateFacts(entry, true);
    EXPECT_EQ(f.name, "42");
    EXPECT_EQ(f.categories, (QStringList{"Math", "true", ""}));
    EXPECT_TRUE(f.favorited);
    f = templateFacts(QJsonObject{{"categories", "Math"}}, false);
    EXPECT_EQ(f.name, "");  // no name: empty
    EXPECT_TRUE(f.categories.isEmpty());  // not an array: no categories
    EXPECT_EQ(jsonText(QJsonValue(2.5)), "2.5");
    EXPECT_EQ(jsonText(QJsonValue(false)), "false");
}

}  // namespace
