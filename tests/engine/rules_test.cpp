#include "rules.h"
#include "testdata.h"

#include <gtest/gtest.h>

using namespace pallimor;

// What a run does with a regular file of this name while only the categories listed in `held`
// are switched to stay: "alone", "held" or the folder it moves to.
static std::string outcome(const std::string &name, const std::string &held) {
    for (auto &[category, on] : FileCategory)
        on = (" " + held + " ").find(" " + category + " ") != std::string::npos;
    const Placement placement = placementOf(name);
    return placement.kind == Placement::LeftAlone ? "alone"
           : placement.kind == Placement::Held    ? "held"
                                                  : placement.categoryPath;
}

TEST(Rules, StartUpHoldsNoCategoryAndNoMoveHasBegun) {
    EXPECT_EQ(CATEGORIES.size(), 368u);
    EXPECT_EQ(FileCategory.size(), 9u);
    for (const auto &[category, held] : FileCategory)
        EXPECT_FALSE(held) << category;
    EXPECT_FALSE(hasSortProcessStarted);
}

TEST(Rules, EachNameOfTheTableGetsItsOutcome) {
    for (const auto &row : model::readTable("rules.txt"))
        EXPECT_EQ(outcome(row[0], row[1]), row[2]) << row[0] << " with " << row[1] << " held";
}
