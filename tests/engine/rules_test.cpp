#include "catalogue.h"
#include "rules.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <cctype>

using namespace pallimor;

namespace {

std::string outcome(const Placement &placement) {
    if (placement.kind == Placement::LeftAlone)
        return "alone";
    return placement.kind == Placement::Held ? "held" : placement.categoryPath;
}

void holdOnly(const std::string &categories) {
    for (auto &[category, held] : FileCategory)
        held = (" " + categories + " ").find(" " + category + " ") != std::string::npos;
}

} // namespace

TEST(Rules, StartUpHoldsNoCategoryAndNoMoveHasBegun) {
    EXPECT_EQ(FileCategory.size(), 9u);
    for (const auto &[category, held] : FileCategory)
        EXPECT_FALSE(held) << category;
    EXPECT_FALSE(hasSortProcessStarted);
}

TEST(Rules, EachNameOfTheTableGetsItsOutcome) {
    const auto rows = readTable("rules.txt", '|');
    ASSERT_GT(rows.size(), 30u);
    for (const auto &row : rows) {
        holdOnly(row[1]);
        EXPECT_EQ(outcome(placementOf(row[0])), row[2]) << row[0] << " with " << row[1] << " held";
    }
}

TEST(Rules, EveryPromisedExtensionGoesToItsFolderUnlessItsCategoryIsHeld) {
    const auto catalogue = promisedCatalogue();
    EXPECT_EQ(catalogue.size(), 368u);
    EXPECT_EQ(CATEGORIES.size(), 368u);
    for (const auto &[extension, category] : catalogue) {
        std::string folder = extension.substr(1);
        for (char &c : folder)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        folder.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(folder[0])));
        holdOnly("Plain-Files");
        EXPECT_EQ(outcome(placementOf("file" + extension)), category + "/" + folder);
        holdOnly(category);
        EXPECT_EQ(outcome(placementOf("file" + extension)), "held") << extension;
    }
}
